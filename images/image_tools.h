// The image menu and the two image commands: inspecting an image file and creating a
// new, empty one. Virtual PC reads and writes the files; the program never does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/controls.h"
#include "automation/automation.h"
#include "base/result.h"
#include "support/support.h"

namespace ombrevale {

// mnuMain's element whose submenu is the image menu, and the popup flags: left-aligned,
// items answer the right mouse button too (TPM_LEFTALIGN | TPM_RIGHTBUTTON).
inline constexpr std::int16_t kImageMenuElement = 100;
inline constexpr std::int32_t kImageMenuFlags = 2;

// mnuImage indices.
inline constexpr std::int16_t kMenuCheck = 1;
inline constexpr std::int16_t kMenuSeparator = 10;
inline constexpr std::int16_t kMenuCreateHighDensity = 11;
inline constexpr std::int16_t kMenuCreateLowDensity = 12;

enum class ImageCommand { None, Check, CreateHighDensity, CreateLowDensity };

// Asks the user for an image file: the path, empty text on cancel, or a failure.
using AskImagePath = std::function<Result<std::wstring>()>;

// Pops the image menu up at the top-right corner of cmdImageMenu. Unguarded.
Status ShowImageMenu(FormView& view);

// What a chosen mnuImage index asks for; the separator and unknown indices ask nothing.
ImageCommand ImageMenuCommand(std::int16_t index);

// The words for a format code that GetFloppyImageType answered.
std::wstring FormatDescription(std::int32_t code);

// Asks for an image file and tells its format. A failure of the dialog passes up; from
// the moment a path is held every failure is dealt with here.
Status CheckImageFile(VirtualPCHost& host, SupportLibrary& support, const AskImagePath& getOpenFileName);

// Asks for a new file's path and has the host create an empty image of `density` there.
Status CreateImageFile(VirtualPCHost& host, SupportLibrary& support, const AskImagePath& getSaveFileName,
                       std::int32_t density);

// Shows, through the error reporter, a failure of the image menu itself or of the file
// dialog behind one of its items; the reporter's own failure is not fatal either.
void ReportImageMenuFailure(SupportLibrary& support, const Failure& failure);
void ReportFileDialogFailure(SupportLibrary& support, const Failure& failure);

}  // namespace ombrevale

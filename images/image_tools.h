// The image menu and the two image commands: inspecting an image file and creating a
// new, empty one. Virtual PC reads and writes the files; the program never does.
#pragma once

#include <cstdint>
#include <string>

#include "automation/automation.h"
#include "base/result.h"
#include "support/image_dialogs.h"
#include "support/support.h"
#include "views/image_menu_view.h"

namespace ombrevale {

enum class ImageCommand { None, Check, CreateHighDensity, CreateLowDensity };

// Pops the image menu up at the top-right corner of cmdImageMenu. Unguarded.
Status ShowImageMenu(ImageMenuView& view);

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

// The two image file dialogs: pick an existing floppy image, or name a new one. Both
// open in the directory remembered from the last confirmed choice of either dialog.
#pragma once

#include <functional>
#include <string>

#include "base/result.h"
#include "support/support.h"

namespace ombrevale {

// Asks the user for an image file: the path, empty text on cancel, or a failure. The
// drive and image handlers take one of the two dialogs below in this form.
using AskImagePath = std::function<Result<std::wstring>()>;

// The full path of the file picked, empty text when the user cancelled, or the failure
// of the dialog itself.
Result<std::wstring> AskOpenImagePath(SupportLibrary& support);
// As above for a new file; the dialog adds the extension "VFD" when none is typed.
Result<std::wstring> AskSaveImagePath(SupportLibrary& support);

// Remembers the folder of an image file chosen another way (dropped on the window) as a
// confirmed choice in either dialog does: the next dialog opens there. A failure costs
// only the remembered folder.
void RememberImageFolder(SupportLibrary& support, const std::wstring& path);

}  // namespace ombrevale

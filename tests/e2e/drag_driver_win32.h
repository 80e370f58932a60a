// Drags files onto a window of the program as Explorer does: OLE drag and drop from this
// process, with the files as CF_HDROP, released over the middle of a window.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

namespace ombrevale::e2e {

struct DragOutcome {
    HRESULT result = E_FAIL;          // what DoDragDrop answered
    DWORD shown = DROPEFFECT_NONE;    // the effect the target showed just before the drop
    DWORD dropped = DROPEFFECT_NONE;  // the effect the drop ended with
};

// Drags `paths` onto the middle of `window` and lets go there. This thread must be in a
// single-threaded apartment with OLE started (OleInitialize).
DragOutcome DragFiles(HWND window, const std::vector<std::wstring>& paths);

}  // namespace ombrevale::e2e

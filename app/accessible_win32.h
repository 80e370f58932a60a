// Names that screen readers read for the controls that have no caption of their own. The
// control answers WM_GETOBJECT for its client object itself, with the standard object of
// its kind under a name of ours: the accessibility annotation service is no way here,
// since Wine does not keep what it is told.
#pragma once

#include <windows.h>

namespace ombrevale {

enum class AccessibleValue {
    Standard,  // as the control's standard object says
    Text,      // the control's text, read-only (a status line)
};

// Subclasses `control` until it is destroyed. `name` must outlive the control.
void GiveAccessibleName(HWND control, const wchar_t* name, AccessibleValue value = AccessibleValue::Standard);

}  // namespace ombrevale

// The values that identify this application, kept in one place: the about box, the
// settings store and the message boxes all take them from here.
#pragma once

#include "resources/resource.h"
#include "support/support.h"

namespace ombrevale {

inline constexpr wchar_t kApplicationTitle[] = L"Quorvex - Ombrevale";
inline constexpr wchar_t kCompanyName[] = L"Quorvex";
inline constexpr wchar_t kProductName[] = L"Ombrevale";
// The version as the about box shows it: the project's version, in the form that the version
// record holds too (resources/version.h, generated).
inline constexpr wchar_t kVersionText[] = L"" OMB_VERSION_TEXT;
// The read-me file that ships beside the program.
inline constexpr wchar_t kReadMeFileName[] = L"ReadMe.txt";
// The icon group in the program's resources, which the windows and the about box show.
inline constexpr wchar_t kIconResourceName[] = L"" OMB_ICON_GROUP_NAME;
// The typeface of the program's windows and boxes, and its size in points.
inline constexpr wchar_t kFontFace[] = L"Tahoma";
inline constexpr int kFontPoints = 9;

inline Application OmbrevaleApplication() { return Application{kApplicationTitle, kCompanyName, kProductName}; }

}  // namespace ombrevale

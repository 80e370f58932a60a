// The values that identify this application, kept in one place: the about box, the
// settings store and the message boxes all take them from here.
#pragma once

#include "support/support.h"

namespace ombrevale {

inline constexpr wchar_t kApplicationTitle[] = L"Quorvex - Ombrevale";
inline constexpr wchar_t kCompanyName[] = L"Quorvex";
inline constexpr wchar_t kProductName[] = L"Ombrevale";
// The version as the about box shows it; the version record in the resources holds the same.
inline constexpr wchar_t kVersionText[] = L"1.00.0003";
// The read-me file that ships beside the program.
inline constexpr wchar_t kReadMeFileName[] = L"ReadMe.txt";

inline Application OmbrevaleApplication() {
    return Application{kApplicationTitle, kCompanyName, kProductName};
}

}  // namespace ombrevale

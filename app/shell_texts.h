// Texts of the window shell itself.
#pragma once

namespace ombrevale {

// Shown with the failure's details when a failure reaches the top of an event that has no
// handling of its own; the program then ends.
inline constexpr const wchar_t* kUnhandledFailureText = L"Непредвиденная ошибка. Программа будет закрыта.";

}  // namespace ombrevale

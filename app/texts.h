// Texts and fixed values of start-up and of the main window as a whole.
#pragma once

#include <cstdint>

namespace ombrevale::app_texts {

inline constexpr wchar_t kIconResource[] = L"A_MAIN";

inline constexpr wchar_t kCreateVirtualPCFailed[] =
    L"Не удалось создать объект VirtualPC. "
    L"Возможно, VirtualPC не установлена в системе.";

inline constexpr wchar_t kDedication[] = L"Посвящается всем, кто до сих пор хранит свои дискеты.";

}  // namespace ombrevale::app_texts

namespace ombrevale {

// Virtual-key codes and shift-state bits that the key handler knows.
inline constexpr std::int16_t kKeyEscape = 27;
inline constexpr std::int16_t kKeyF1 = 112;
inline constexpr std::int16_t kShiftNone = 0;
inline constexpr std::int16_t kShiftShift = 1;

}  // namespace ombrevale

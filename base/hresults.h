// The failure numbers that portable code gives, named once. They are HRESULTs, as COM
// hands them to the program; the Win32 code checks that they agree with the system's.
#pragma once

#include <cstdint>

namespace ombrevale {

constexpr std::int32_t HResult(std::uint32_t value) { return static_cast<std::int32_t>(value); }

// E_POINTER: an object that a step needed was not there.
inline constexpr std::int32_t kNoObject = HResult(0x80004003u);

// A keyed collection's failures, in the form COM gives them for Basic's collections
// (FACILITY_CONTROL), so that the error reporter shows the familiar codes.
inline constexpr std::int32_t kKeyAlreadyUsed = HResult(0x800A01C9u);  // 457
inline constexpr std::int32_t kNoItemWithKey = HResult(0x800A0005u);   // 5, invalid argument

}  // namespace ombrevale

// Failure numbers of the QEMU bridge's own conditions (FACILITY_ITF, from 0x0240 so that
// they stay apart from the demo server's). Conditions that the two servers share (a missing
// file, a drive that is not empty) use the numbers in hostcore/errors.h.
#pragma once

#include <cstdint>

#include "hostcore/errors.h"

namespace ombrevale::qemuhost {

inline constexpr std::int32_t kMachineUnreachable = HResult(0x80040240);   // no connection
inline constexpr std::int32_t kMachineNotAnswering = HResult(0x80040241);  // a deadline passed
inline constexpr std::int32_t kConnectionLost = HResult(0x80040242);
inline constexpr std::int32_t kNotQmp = HResult(0x80040243);          // not QMP, or garbled
inline constexpr std::int32_t kQemuRefused = HResult(0x80040244);     // an error reply
inline constexpr std::int32_t kMediumNotTaken = HResult(0x80040245);  // read-back disagrees
inline constexpr std::int32_t kNotFloppySize = HResult(0x80040246);
inline constexpr std::int32_t kNoPathMapping = HResult(0x80040247);
inline constexpr std::int32_t kMalformedMachinesFile = HResult(0x80040248);
inline constexpr std::int32_t kNoSuchPosition = HResult(0x80040249);  // machine or drive gone
inline constexpr std::int32_t kCannotCheckMachine = HResult(0x8004024A);

}  // namespace ombrevale::qemuhost

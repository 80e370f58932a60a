// Failure numbers of the QEMU bridge's own conditions (FACILITY_ITF, from 0x0240 so that
// they stay apart from the demo host's). Conditions that the two servers share (a missing
// file, a drive that is not empty) use the demo host's numbers from demohost/errors.h.
#pragma once

#include <cstdint>

#include "demohost/errors.h"

namespace ombrevale::qemuhost {

using demohost::Hresult;

inline constexpr std::int32_t kMachineUnreachable = Hresult(0x80040240);  // no connection
inline constexpr std::int32_t kMachineNotAnswering = Hresult(0x80040241); // a deadline passed
inline constexpr std::int32_t kConnectionLost = Hresult(0x80040242);
inline constexpr std::int32_t kNotQmp = Hresult(0x80040243);              // not QMP, or garbled
inline constexpr std::int32_t kQemuRefused = Hresult(0x80040244);         // an error reply
inline constexpr std::int32_t kMediumNotTaken = Hresult(0x80040245);      // read-back disagrees
inline constexpr std::int32_t kNotFloppySize = Hresult(0x80040246);
inline constexpr std::int32_t kNoPathMapping = Hresult(0x80040247);
inline constexpr std::int32_t kMalformedMachinesFile = Hresult(0x80040248);
inline constexpr std::int32_t kNoSuchPosition = Hresult(0x80040249);      // machine or drive gone
inline constexpr std::int32_t kCannotCheckMachine = Hresult(0x8004024A);

}  // namespace ombrevale::qemuhost

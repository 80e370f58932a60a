// Failure numbers of the Hyper-V bridge's own conditions (FACILITY_ITF, from 0x0260 so that
// they stay apart from the other servers'), and the numbers that WMI and RPC give for the
// conditions the bridge words. Conditions that all servers share use hostcore/errors.h.
#pragma once

#include <cstdint>

#include "hostcore/errors.h"

namespace ombrevale::hypervhost {

inline constexpr std::int32_t kHostNotAnswering = HResult(0x80040260);  // a deadline passed
inline constexpr std::int32_t kMachineGone = HResult(0x80040261);
inline constexpr std::int32_t kNoSuchDrive = HResult(0x80040262);
inline constexpr std::int32_t kHyperVRefused = HResult(0x80040263);  // a method's return code
inline constexpr std::int32_t kJobFailed = HResult(0x80040264);
inline constexpr std::int32_t kJobTooLong = HResult(0x80040265);
inline constexpr std::int32_t kChangeNotSeen = HResult(0x80040266);  // read-back disagrees
inline constexpr std::int32_t kNoHostDrives = HResult(0x80040267);
inline constexpr std::int32_t kMalformedHostsFile = HResult(0x80040268);
inline constexpr std::int32_t kNoHyperVHere = HResult(0x80040269);  // Windows before 8
inline constexpr std::int32_t kCannotCheckHost = HResult(0x8004026A);
inline constexpr std::int32_t kNotFullPath = HResult(0x8004026B);

// What WMI and RPC answer (wbemcli.h, winerror.h).
inline constexpr std::int32_t kWbemInvalidNamespace = HResult(0x8004100E);  // WBEM_E_INVALID_NAMESPACE
inline constexpr std::int32_t kWbemAccessDenied = HResult(0x80041003);      // WBEM_E_ACCESS_DENIED
inline constexpr std::int32_t kWbemNotFound = HResult(0x80041002);          // WBEM_E_NOT_FOUND
inline constexpr std::int32_t kRpcServerUnavailable = HResult(0x800706BA);  // RPC_S_SERVER_UNAVAILABLE
inline constexpr std::int32_t kRpcCallFailed = HResult(0x800706BE);         // RPC_S_CALL_FAILED

}  // namespace ombrevale::hypervhost

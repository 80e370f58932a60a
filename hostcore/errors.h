// Failure numbers of the automation servers. They are HRESULTs, since they leave a server
// through COM; the portable code spells them out because it includes no Windows header.
#pragma once

#include <cstdint>

#include "base/hresults.h"

namespace ombrevale::hostcore {

// System conditions, as HRESULT_FROM_WIN32 of the Win32 error or a standard HRESULT.
inline constexpr std::int32_t kFail = HResult(0x80004005);              // E_FAIL
inline constexpr std::int32_t kOutOfMemory = HResult(0x8007000E);       // E_OUTOFMEMORY
inline constexpr std::int32_t kInvalidArgument = HResult(0x80070057);   // E_INVALIDARG
inline constexpr std::int32_t kFileNotFound = HResult(0x80070002);      // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t kPathNotFound = HResult(0x80070003);      // ERROR_PATH_NOT_FOUND
inline constexpr std::int32_t kAccessDenied = HResult(0x80070005);      // ERROR_ACCESS_DENIED
inline constexpr std::int32_t kWriteProtected = HResult(0x80070013);    // ERROR_WRITE_PROTECT
inline constexpr std::int32_t kSharingViolation = HResult(0x80070020);  // ERROR_SHARING_VIOLATION
inline constexpr std::int32_t kDiskFull = HResult(0x80070070);          // ERROR_DISK_FULL
inline constexpr std::int32_t kFileExists = HResult(0x80070050);        // ERROR_FILE_EXISTS

// What the file layer reports so that the host can say it in words. They leave the host as
// the number Windows itself would give: kAccessDenied and kFileNotFound.
inline constexpr std::int32_t kReadOnlyFile = HResult(0x80071779);  // ERROR_FILE_READ_ONLY
inline constexpr std::int32_t kBrokenLink = HResult(0x80070781);    // ERROR_CANT_RESOLVE_FILENAME

// The servers' own conditions (FACILITY_ITF, codes from 0x0200 as COM advises); the QEMU
// bridge adds its own from 0x0240.
inline constexpr std::int32_t kMalformedInventory = HResult(0x80040201);
inline constexpr std::int32_t kDriveNotEmpty = HResult(0x80040202);
inline constexpr std::int32_t kImageInUse = HResult(0x80040203);
inline constexpr std::int32_t kNoImageAttached = HResult(0x80040204);
inline constexpr std::int32_t kNoHostDriveAttached = HResult(0x80040205);
inline constexpr std::int32_t kNotRegularFile = HResult(0x80040206);
inline constexpr std::int32_t kUnknownDensity = HResult(0x80040207);
inline constexpr std::int32_t kBadHostDriveLetter = HResult(0x80040208);
inline constexpr std::int32_t kFileTooLarge = HResult(0x80040209);
inline constexpr std::int32_t kInventoryChanged = HResult(0x8004020A);

}  // namespace ombrevale::hostcore

// What the program calls in Virtual PC's automation server. The Win32 client answers
// these over IDispatch; tests answer them with fakes that can fail on any call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"

namespace ombrevale {

// Attachment codes of a floppy drive.
inline constexpr std::int32_t kAttachedNothing = 0;
inline constexpr std::int32_t kAttachedImage = 1;
inline constexpr std::int32_t kAttachedHostDrive = 2;

// Density codes of CreateFloppyImage (the same numbers as format codes 1 and 2).
inline constexpr std::int32_t kLowDensity = 1;
inline constexpr std::int32_t kHighDensity = 2;

// A collection walked first to last; Next gives nullptr after the last item.
template <class T>
class Enumerator {
public:
    virtual ~Enumerator() = default;
    virtual Result<std::shared_ptr<T>> Next() = 0;
};

class FloppyDrive {
public:
    virtual ~FloppyDrive() = default;
    virtual Status AttachImage(const std::wstring& path) = 0;
    virtual Status ReleaseImage() = 0;
    virtual Result<std::wstring> ImagePath() = 0;
    virtual Status ReleaseHostDrive() = 0;
    virtual Result<std::wstring> HostDriveLetter() = 0;
    virtual Result<std::int32_t> DriveNumber() = 0;
    virtual Result<std::int32_t> Attachment() = 0;
};

class VirtualMachine {
public:
    virtual ~VirtualMachine() = default;
    virtual Result<std::wstring> Name() = 0;
    virtual Result<std::unique_ptr<Enumerator<FloppyDrive>>> FloppyDrives() = 0;
};

class VirtualPCHost {
public:
    virtual ~VirtualPCHost() = default;
    virtual Result<std::unique_ptr<Enumerator<VirtualMachine>>> Machines() = 0;
    virtual Status CreateFloppyImage(const std::wstring& path, std::int32_t density) = 0;
    virtual Result<std::int32_t> GetFloppyImageType(const std::wstring& path) = 0;
};

}  // namespace ombrevale

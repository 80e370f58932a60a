// Paths as the bridge hands them to QEMU. What the files are (their identity, whether
// they are read-only) the bridge asks hostcore's file layer, as the demo server does.
#pragma once

#include <optional>
#include <string>

#include "base/result.h"

namespace ombrevale::qemuhost {

// Paths as the bridge's clients write them (Windows) and as QEMU opens them. Under Wine
// QEMU is a Unix program; on Windows both are the same.
class PathMapper {
public:
    virtual ~PathMapper() = default;
    // The path QEMU opens (UTF-8) for a full Windows path; fails with kNoPathMapping.
    virtual Result<std::string> ToQemu(const std::wstring& windowsPath) = 0;
    // The Windows path of a file that QEMU holds; nothing when it has no Windows name.
    virtual std::optional<std::wstring> ToWindows(const std::string& qemuPath) = 0;
    // The device that QEMU opens for the host's floppy drive 'A' or 'B'.
    virtual std::string HostFloppyDevice(wchar_t letter) = 0;
};

}  // namespace ombrevale::qemuhost

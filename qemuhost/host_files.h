// What the bridge needs to know about the files and paths it hands to QEMU, beyond the
// file layer that it shares with the demo server (hostcore/files.h).
#pragma once

#include <cstdint>
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

// One file, whatever path names it: two paths with equal identities are the same file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class FileFacts {
public:
    virtual ~FileFacts() = default;
    // Whether the file is marked read-only; a guest must then not be given it writable.
    virtual Result<bool> IsReadOnly(const std::wstring& path) = 0;
    // Nothing when the file does not exist or cannot be opened to ask.
    virtual std::optional<FileIdentity> Identity(const std::wstring& path) = 0;
};

}  // namespace ombrevale::qemuhost

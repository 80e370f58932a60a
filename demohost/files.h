// The file system as the demo host needs it. Failures carry an HRESULT-style number (see
// errors.h) and no description: the host words the message, naming the file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"

namespace ombrevale::demohost {

enum class PathKind { Missing, File, Other };

class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to `count` bytes from the start of the file.
    virtual Result<std::vector<std::uint8_t>> ReadHead(std::size_t count) = 0;
};

class Files {
public:
    virtual ~Files() = default;

    // The full, normalised form of a path, so that two spellings of one file compare equal.
    virtual Result<std::wstring> FullPath(const std::wstring& path) = 0;
    // Whether two full paths name the same file; on Windows case does not matter.
    virtual bool SamePath(const std::wstring& a, const std::wstring& b) const = 0;
    virtual std::wstring Join(const std::wstring& folder, const std::wstring& name) const = 0;
    virtual std::wstring Parent(const std::wstring& path) const = 0;

    virtual Result<PathKind> Examine(const std::wstring& path) = 0;
    // Opens a regular file for reading; anything else fails with kNotRegularFile.
    virtual Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) = 0;
    // The file appears whole or not at all: a temporary file in the same folder, then a
    // rename that replaces the old one. On failure no temporary file stays and the old
    // file is untouched.
    virtual Status WriteAtomically(const std::wstring& path, std::span<const std::uint8_t> bytes) = 0;
    // Creates the folder and any missing parents; an existing folder is fine.
    virtual Status CreateFolders(const std::wstring& path) = 0;
};

// The file system of the platform this was built for.
std::shared_ptr<Files> SystemFiles();

}  // namespace ombrevale::demohost

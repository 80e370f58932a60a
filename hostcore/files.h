// The file system as the automation servers need it. Failures carry an HRESULT-style
// number (see errors.h) and no description: the server words the message, naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace ombrevale::hostcore {

// What a name leads to. A link is followed; one that leads nowhere is a BrokenLink where
// the platform shows it (Windows and POSIX do; Wine shows such a name as Missing, and
// only the writes below notice it).
enum class PathKind { Missing, File, Folder, Device, BrokenLink };

struct PathFacts {
    PathKind kind = PathKind::Missing;
    bool readOnly = false;  // of the file the name leads to
};

// A file as it is, whatever name reaches it: drive letters, \\?\ and \\.\ forms, Wine's
// Z: names, short 8.3 names, case, links of every kind. An existing file is its volume
// and file index; a file that does not exist yet is its folder and its name as the
// platform compares names; a path whose folder cannot be found either is the path itself.
struct FileId {
    enum class Kind : std::uint8_t { File, NameInFolder, PathOnly };
    Kind kind = Kind::PathOnly;
    std::uint64_t volume = 0;  // File and NameInFolder: the volume
    std::uint64_t index = 0;   // File: the file's index; NameInFolder: the folder's
    std::wstring name;         // NameInFolder: the folded name; PathOnly: the folded full path

    friend bool operator==(const FileId&, const FileId&) = default;
};

struct FileIdHash {
    std::size_t operator()(const FileId& id) const;
};

// When a file last changed, and its size: a file whose stamp is unchanged has not been
// written since.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the platform's own units

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to `count` bytes from the start of the file.
    virtual Result<std::vector<std::uint8_t>> ReadHead(std::size_t count) = 0;
};

enum class WriteMode {
    // Replaces the file the name leads to (through a link: the file it points to, and the
    // link stays); a missing name is created. Never replaces a read-only file (kReadOnlyFile),
    // a folder or a device (kNotRegularFile), nor a link to nothing (kBrokenLink).
    Replace,
    // Only where nothing has the name, not even a link to nothing (else kFileExists).
    CreateOnly,
};

class Files {
public:
    virtual ~Files() = default;

    // The full, normalised form of a path, as the platform resolves it (relative paths
    // against the current folder).
    virtual Result<std::wstring> FullPath(const std::wstring& path) = 0;
    // `path` as seen from `folder`: a relative path is taken from there.
    virtual Result<std::wstring> FullPathFrom(const std::wstring& folder, const std::wstring& path) = 0;
    // A path folded the way the platform compares names (on Windows case does not count).
    virtual std::wstring Folded(const std::wstring& path) const = 0;
    virtual std::wstring Join(const std::wstring& folder, const std::wstring& name) const = 0;
    virtual std::wstring Parent(const std::wstring& path) const = 0;

    virtual Result<PathFacts> Examine(const std::wstring& path) = 0;
    // The stamp of the file the name leads to; cheap enough to ask before every call.
    virtual Result<FileStamp> Stamp(const std::wstring& path) = 0;
    // Never fails: what cannot be opened is known by its folder and name, or its path.
    virtual FileId Identify(const std::wstring& fullPath) = 0;
    // The same for many paths at once, in time proportional to their number.
    virtual std::vector<FileId> IdentifyAll(const std::vector<std::wstring>& fullPaths);

    // Opens a regular file for reading; anything else fails with kNotRegularFile.
    virtual Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) = 0;
    // The file appears whole or not at all: a temporary file beside the target, then a
    // rename. On failure, or if the process dies meanwhile, no temporary file stays for
    // long and the old file is untouched.
    virtual Status WriteAtomically(const std::wstring& path, std::span<const std::uint8_t> bytes, WriteMode mode) = 0;
    // Removes the temporary files that earlier writes of this file left beside it (the
    // servers' own naming pattern only, and only those that no one has open). Answers how
    // many it removed.
    virtual std::size_t RemoveLeftovers(const std::wstring& path) = 0;
    // Creates the folder and any missing parents; an existing folder is fine.
    virtual Status CreateFolders(const std::wstring& path) = 0;
};

// The file system of the platform this was built for.
std::shared_ptr<Files> SystemFiles();

// The temporary file names of the writes above: "~<name>.<8 hex digits>.omb.tmp" beside
// the file named <name> (long names shortened, so the temporary name stays legal).
std::wstring TemporaryName(std::wstring_view name, std::uint32_t token);
// The name whose temporary file `candidate` is, if it is one: of this pattern, or of the
// "~<name>.<process>.<count>.tmp" pattern of earlier versions.
std::optional<std::wstring> TemporaryOwner(std::wstring_view candidate);
// What TemporaryName keeps of a name, so that owners compare.
std::wstring TemporaryStem(std::wstring_view name);

}  // namespace ombrevale::hostcore

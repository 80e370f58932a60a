// The Windows file system for the automation servers. Files are known by volume serial number and
// file index, whatever name reaches them; names are compared as Windows compares them.
// Everything here runs on Windows XP: newer functions are looked up at run time, and the
// few native calls that kernel32 does not wrap on XP come from ntdll by name.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "base/owners_win32.h"
#include "hostcore/errors.h"
#include "hostcore/files.h"

namespace ombrevale::hostcore {
namespace {

Failure Win32Failure(DWORD error) {
    return Failure{static_cast<std::int32_t>(HRESULT_FROM_WIN32(error != 0 ? error : ERROR_GEN_FAILURE)), {}};
}

Failure LastError() { return Win32Failure(GetLastError()); }

// Files from CreateFileW: the shared owner, with INVALID_HANDLE_VALUE as none.
using Handle = UniqueFile;

// --- Native calls, looked up once ---------------------------------------------------------

struct IoStatus {
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};

// FILE_ID_BOTH_DIR_INFORMATION, as NtQueryDirectoryFile fills it.
struct DirectoryEntry {
    ULONG next;
    ULONG fileIndex;
    LARGE_INTEGER creation, access, write, change, endOfFile, allocation;
    ULONG attributes;
    ULONG nameBytes;
    ULONG extendedAttributesSize;
    CCHAR shortNameBytes;
    WCHAR shortName[12];
    LARGE_INTEGER fileId;
    WCHAR name[1];
};
static_assert(offsetof(DirectoryEntry, fileId) == 96 && offsetof(DirectoryEntry, name) == 104,
              "FILE_ID_BOTH_DIR_INFORMATION has this layout in 32-bit and 64-bit Windows");

constexpr int kFileIdBothDirectoryInformation = 37;
constexpr int kFileRenameInformation = 10;
constexpr int kFileDispositionInformation = 13;
constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006);

struct Native {
    using SetInformationFile = LONG(NTAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
    using QueryDirectoryFile = LONG(NTAPI*)(HANDLE, HANDLE, void*, void*, IoStatus*, void*, ULONG, int, BOOLEAN, void*,
                                            BOOLEAN);
    using StatusToError = ULONG(NTAPI*)(LONG);
    using FinalPathName = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

    SetInformationFile setInformationFile = nullptr;
    QueryDirectoryFile queryDirectoryFile = nullptr;
    StatusToError statusToError = nullptr;
    FinalPathName finalPathName = nullptr;  // Vista and later

    Native() {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        if (ntdll) {
            setInformationFile = reinterpret_cast<SetInformationFile>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
            queryDirectoryFile = reinterpret_cast<QueryDirectoryFile>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryDirectoryFile")));
            statusToError = reinterpret_cast<StatusToError>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
        }
        if (kernel32) {
            finalPathName = reinterpret_cast<FinalPathName>(
                reinterpret_cast<void*>(GetProcAddress(kernel32, "GetFinalPathNameByHandleW")));
        }
        if (!statusToError) setInformationFile = nullptr;
    }

    Failure StatusFailure(LONG status) const { return Win32Failure(statusToError(status)); }
};

const Native& Nt() {
    static const Native native;
    return native;
}

// Marks an open file to go when its last handle closes, or takes the mark back. A file so
// marked does not outlive the process that writes it, however that process ends.
Status SetDeleteOnClose(HANDLE file, bool remove) {
    if (!Nt().setInformationFile) return Failure{kFail, {}};
    IoStatus io{};
    BOOLEAN flag = remove ? TRUE : FALSE;
    const LONG status = Nt().setInformationFile(file, &io, &flag, sizeof flag, kFileDispositionInformation);
    if (status < 0) return Nt().StatusFailure(status);
    return Ok();
}

// --- Paths ----------------------------------------------------------------------------

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool StartsWith(const std::wstring& text, std::wstring_view start) {
    return text.size() >= start.size() && std::wstring_view(text).substr(0, start.size()) == start;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The form of a full path that file functions take at any length and without rewriting it.
std::wstring Extended(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\")) return path;
    if (StartsWith(path, L"\\\\.\\")) return L"\\\\?\\" + path.substr(4);
    if (StartsWith(path, L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    return path;
}

bool SameAscii(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 0x20);
        if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 0x20);
        if (x != y) return false;
    }
    return true;
}

// CON, NUL, COM1, C:\x\con.vfd and the like come out of GetFullPathNameW as \\.\CON; a
// volume (\\.\C:), a pipe or a mailslot is no file either.
bool IsDevicePath(const std::wstring& full) {
    if (!StartsWith(full, L"\\\\.\\") && !StartsWith(full, L"\\\\?\\")) return false;
    const std::wstring_view rest = std::wstring_view(full).substr(4);
    const auto slash = rest.find(L'\\');
    if (slash == std::wstring_view::npos) return true;
    const std::wstring_view first = rest.substr(0, slash);
    return SameAscii(first, L"pipe") || SameAscii(first, L"mailslot") || SameAscii(first, L"GLOBALROOT");
}

std::wstring Leaf(const std::wstring& path) {
    const auto at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? path : path.substr(at + 1);
}

Handle OpenExisting(const std::wstring& path, DWORD access) {
    // Backup semantics let a folder open too; attribute access meets no sharing rule.
    return Handle(CreateFileW(Extended(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The path of the file a handle has open, links resolved, where Windows can tell (Vista and
// later; XP has no links to files).
std::wstring FinalPath(HANDLE file, const std::wstring& fallback) {
    if (!Nt().finalPathName) return fallback;
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = Nt().finalPathName(file, path.data(), static_cast<DWORD>(path.size()), 0);
        if (length == 0) return fallback;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
    return fallback;
}

// True when something has the name although it leads to no file: a link to nothing. Windows
// shows such a link's own attributes; Wine shows nothing, but will not create the name anew.
bool NameTaken(const std::wstring& path) {
    const std::wstring extended = Extended(path);
    if (GetFileAttributesW(extended.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Handle probe(CreateFileW(extended.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (probe) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

std::uint32_t NextToken() {
    static std::atomic<std::uint32_t> counter{0};
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    std::uint64_t x = static_cast<std::uint64_t>(now.QuadPart) ^
                      (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
                      (static_cast<std::uint64_t>(++counter) * 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(x ^ (x >> 31));
}

class Win32ReadableFile final : public ReadableFile {
public:
    Win32ReadableFile(HANDLE h, std::uint64_t size) : file_(h), size_(size) {}
    std::uint64_t Size() const override { return size_; }

    Result<std::vector<std::uint8_t>> ReadHead(std::size_t count) override {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(count, size_)));
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN)) return LastError();
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            DWORD read = 0;
            if (!ReadFile(file_.get(), bytes.data() + done, chunk, &read, nullptr)) return LastError();
            if (read == 0) break;
            done += read;
        }
        bytes.resize(done);
        return bytes;
    }

private:
    Handle file_;
    std::uint64_t size_;
};

class Win32Files final : public Files {
public:
    Result<std::wstring> FullPath(const std::wstring& path) override {
        if (path.empty()) return Failure{kInvalidArgument, {}};
        std::wstring full(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
            if (length == 0) return LastError();
            if (length < full.size()) {
                full.resize(length);
                return full;
            }
            full.resize(length);
        }
    }

    Result<std::wstring> FullPathFrom(const std::wstring& folder, const std::wstring& path) override {
        // Only a plainly relative path ("disk.vfd", "sub\disk.vfd", "..\disk.vfd") is taken
        // from the folder; "\disk.vfd" and "A:disk.vfd" keep their Windows meaning.
        const bool relative = !path.empty() && !IsSeparator(path[0]) && !(path.size() >= 2 && path[1] == L':');
        return FullPath(relative ? Join(folder, path) : path);
    }

    std::wstring Folded(const std::wstring& path) const override {
        if (path.empty()) return path;
        std::wstring folded(path.size(), L'\0');
        const int length = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()),
                                        folded.data(), static_cast<int>(folded.size()));
        if (length <= 0) return path;
        folded.resize(static_cast<std::size_t>(length));
        return folded;
    }

    std::wstring Join(const std::wstring& folder, const std::wstring& name) const override {
        if (!folder.empty() && IsSeparator(folder.back())) return folder + name;
        return folder + L"\\" + name;
    }

    std::wstring Parent(const std::wstring& path) const override {
        const auto at = path.find_last_of(L"\\/");
        if (at == std::wstring::npos) return L".";
        std::wstring parent = path.substr(0, at);
        if (!parent.empty() && parent.back() == L':') parent += L'\\';  // the root of a drive
        return parent;
    }

    Result<PathFacts> Examine(const std::wstring& path) override {
        if (IsDevicePath(path)) return PathFacts{PathKind::Device};
        DWORD attributes = GetFileAttributesW(Extended(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return PathFacts{PathKind::Missing};
            return Win32Failure(error);
        }
        // Windows answers for a link itself: what it leads to decides.
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            Handle file = OpenExisting(path, FILE_READ_ATTRIBUTES);
            BY_HANDLE_FILE_INFORMATION info{};
            if (!file) {
                const DWORD error = GetLastError();
                if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                    return PathFacts{PathKind::BrokenLink};
                return Win32Failure(error);
            }
            if (GetFileType(file.get()) != FILE_TYPE_DISK) return PathFacts{PathKind::Device};
            if (!GetFileInformationByHandle(file.get(), &info)) return LastError();
            attributes = info.dwFileAttributes;
        }
        if (attributes & FILE_ATTRIBUTE_DEVICE) return PathFacts{PathKind::Device};
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathFacts{PathKind::Folder};
        return PathFacts{PathKind::File, (attributes & FILE_ATTRIBUTE_READONLY) != 0};
    }

    Result<FileStamp> Stamp(const std::wstring& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(Extended(path).c_str(), GetFileExInfoStandard, &data)) return LastError();
        FileStamp stamp;
        stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        stamp.modified =
            static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                      data.ftLastWriteTime.dwLowDateTime);
        return stamp;
    }

    FileId Identify(const std::wstring& fullPath) override {
        if (!IsDevicePath(fullPath)) {
            Handle file = OpenExisting(fullPath, FILE_READ_ATTRIBUTES);
            BY_HANDLE_FILE_INFORMATION info{};
            if (file) {
                if (GetFileType(file.get()) == FILE_TYPE_DISK && GetFileInformationByHandle(file.get(), &info)) {
                    const std::uint64_t index =
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
                    // A file system without file numbers answers 0 for all: the path must do.
                    if (index != 0) return FileId{FileId::Kind::File, info.dwVolumeSerialNumber, index, {}};
                }
            } else if (GetLastError() == ERROR_FILE_NOT_FOUND) {
                Handle folder = OpenExisting(Parent(fullPath), FILE_READ_ATTRIBUTES);
                if (folder && GetFileInformationByHandle(folder.get(), &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    const std::uint64_t index =
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
                    if (index != 0)
                        return FileId{FileId::Kind::NameInFolder, info.dwVolumeSerialNumber, index,
                                      Folded(Leaf(fullPath))};
                }
            }
        }
        return FileId{FileId::Kind::PathOnly, 0, 0, Folded(fullPath)};
    }

    // Many images in one folder are known from one listing of it: opening each file costs
    // Wine about a millisecond. Entries that are links, and names the listing lacks, are
    // looked at one by one.
    std::vector<FileId> IdentifyAll(const std::vector<std::wstring>& fullPaths) override {
        constexpr std::size_t kWorthListing = 8;
        std::vector<FileId> ids(fullPaths.size());
        std::vector<bool> known(fullPaths.size(), false);
        std::unordered_map<std::wstring, std::vector<std::size_t>> byFolder;
        for (std::size_t i = 0; i < fullPaths.size(); ++i) {
            if (!IsDevicePath(fullPaths[i])) byFolder[Folded(Parent(fullPaths[i]))].push_back(i);
        }
        for (const auto& [folded, members] : byFolder) {
            if (members.size() < kWorthListing) continue;
            DWORD error = 0;
            const auto listing = List(Parent(fullPaths[members.front()]), error);
            for (const std::size_t i : members) {
                if (!listing) {
                    // No such folder: none of its files can be there, nor be reached another way.
                    if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) break;
                    ids[i] = FileId{FileId::Kind::PathOnly, 0, 0, Folded(fullPaths[i])};
                    known[i] = true;
                    continue;
                }
                const std::wstring leaf = Folded(Leaf(fullPaths[i]));
                const auto entry = listing->entries.find(leaf);
                if (entry == listing->entries.end()) {
                    // Not there (Wine lists no link that leads nowhere either): known by folder and name.
                    ids[i] = FileId{FileId::Kind::NameInFolder, listing->volume, listing->index, leaf};
                } else if (entry->second.id == 0 || (entry->second.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    continue;
                } else {
                    ids[i] = FileId{FileId::Kind::File, listing->volume, entry->second.id, {}};
                }
                known[i] = true;
            }
        }
        for (std::size_t i = 0; i < fullPaths.size(); ++i) {
            if (!known[i]) ids[i] = Identify(fullPaths[i]);
        }
        return ids;
    }

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) override {
        if (IsDevicePath(path)) return Failure{kNotRegularFile, {}};
        const std::wstring extended = Extended(path);
        const DWORD attributes = GetFileAttributesW(extended.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
            return Failure{kNotRegularFile, {}};
        Handle file(CreateFileW(extended.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return LastError();
        // Only files on a disk are images, not pipes or consoles.
        if (GetFileType(file.get()) != FILE_TYPE_DISK) return Failure{kNotRegularFile, {}};
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.get(), &size)) return LastError();
        return std::unique_ptr<ReadableFile>(
            new Win32ReadableFile(file.release(), static_cast<std::uint64_t>(size.QuadPart)));
    }

    Status WriteAtomically(const std::wstring& path, std::span<const std::uint8_t> bytes, WriteMode mode) override {
        if (IsDevicePath(path)) return Failure{kNotRegularFile, {}};
        std::wstring target = path;
        bool exists = false;
        {
            Handle old = OpenExisting(path, FILE_READ_ATTRIBUTES);
            BY_HANDLE_FILE_INFORMATION info{};
            if (old) {
                if (GetFileType(old.get()) != FILE_TYPE_DISK) return Failure{kNotRegularFile, {}};
                if (!GetFileInformationByHandle(old.get(), &info)) return LastError();
                if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
                    return Failure{kNotRegularFile, {}};
                if (mode == WriteMode::CreateOnly) return Failure{kFileExists, {}};
                // Windows would refuse to replace it; Wine would not. Neither may.
                if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return Failure{kReadOnlyFile, {}};
                exists = true;
                // Through a link, the file it points to is replaced and the link stays.
                target = FinalPath(old.get(), path);
            } else {
                const DWORD error = GetLastError();
                if (error != ERROR_FILE_NOT_FOUND) return Win32Failure(error);
                if (NameTaken(path)) return Failure{mode == WriteMode::CreateOnly ? kFileExists : kBrokenLink, {}};
            }
        }
        const std::wstring folder = Parent(target), name = Leaf(target);
        RemoveLeftoversIn(folder, name);

        // A taken name, a leftover in use or anyone's file, is passed over for another.
        std::wstring temporary;
        Handle file;
        for (int attempt = 0; attempt < 100; ++attempt) {
            temporary = Join(folder, TemporaryName(name, NextToken()));
            file.reset(CreateFileW(Extended(temporary).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file) break;
            const DWORD error = GetLastError();
            // A file that another writer has marked for removal refuses access until it goes.
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
                !(error == ERROR_ACCESS_DENIED && attempt < 3))
                return Win32Failure(error);
        }
        if (!file) return Failure{kFileExists, {}};
        const bool marked = SetDeleteOnClose(file.get(), true).ok();
        Status finished = WriteAll(file.get(), bytes);
        if (finished && !FlushFileBuffers(file.get())) finished = LastError();
        if (finished && exists) {
            const DWORD now = GetFileAttributesW(Extended(target).c_str());
            if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_READONLY))
                finished = Failure{kReadOnlyFile, {}};
        }
        if (finished && marked) finished = SetDeleteOnClose(file.get(), false);
        if (finished) finished = Rename(file, temporary, target, exists);
        if (!finished && !(file && SetDeleteOnClose(file.get(), true).ok())) {
            file.close();
            DeleteFileW(Extended(temporary).c_str());
        }
        return finished;
    }

    std::size_t RemoveLeftovers(const std::wstring& path) override {
        std::wstring target = path;
        if (Handle file = OpenExisting(path, FILE_READ_ATTRIBUTES); file) target = FinalPath(file.get(), path);
        return RemoveLeftoversIn(Parent(target), Leaf(target));
    }

    Status CreateFolders(const std::wstring& path) override {
        const int error = SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
        if (error == ERROR_SUCCESS) return Ok();
        const DWORD attributes = GetFileAttributesW(Extended(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Ok();
        return Win32Failure(static_cast<DWORD>(error));
    }

private:
    struct Listing {
        struct Entry {
            std::uint64_t id = 0;
            DWORD attributes = 0;
        };
        std::uint64_t volume = 0;
        std::uint64_t index = 0;                          // the folder's own
        std::unordered_map<std::wstring, Entry> entries;  // by folded long and short name
    };

    // The folder's entries with their file numbers; nothing, and why, if it cannot be listed.
    std::optional<Listing> List(const std::wstring& folder, DWORD& error) {
        error = ERROR_NOT_SUPPORTED;
        if (!Nt().queryDirectoryFile) return std::nullopt;
        Handle directory = OpenExisting(folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
        if (!directory) {
            error = GetLastError();
            return std::nullopt;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(directory.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::nullopt;
        Listing listing;
        listing.volume = info.dwVolumeSerialNumber;
        listing.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        if (listing.index == 0) return std::nullopt;
        std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));  // entries are 8-byte aligned
        for (BOOLEAN restart = TRUE;; restart = FALSE) {
            IoStatus io{};
            const LONG status = Nt().queryDirectoryFile(directory.get(), nullptr, nullptr, nullptr, &io, buffer.data(),
                                                        static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)),
                                                        kFileIdBothDirectoryInformation, FALSE, nullptr, restart);
            if (status == kNoMoreFiles) break;
            if (status < 0 || io.information == 0) return std::nullopt;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
            for (std::size_t at = 0;;) {
                const auto* entry = reinterpret_cast<const DirectoryEntry*>(bytes + at);
                const Listing::Entry facts{static_cast<std::uint64_t>(entry->fileId.QuadPart), entry->attributes};
                listing.entries[Folded(std::wstring(entry->name, entry->nameBytes / sizeof(WCHAR)))] = facts;
                if (entry->shortNameBytes > 0)
                    listing.entries[Folded(std::wstring(entry->shortName, entry->shortNameBytes / sizeof(WCHAR)))] =
                        facts;
                if (entry->next == 0) break;
                at += entry->next;
            }
        }
        return listing;
    }

    static Status WriteAll(HANDLE file, std::span<const std::uint8_t> bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return LastError();
            done += written;
        }
        return Ok();
    }

    // Renames the written file through its own handle, so that exactly it takes the name,
    // replacing an old file only when asked to.
    Status Rename(Handle& file, const std::wstring& temporary, const std::wstring& target, bool replace) {
        const std::wstring extended = Extended(target);
        if (Nt().setInformationFile && StartsWith(extended, L"\\\\?\\")) {
            // FILE_RENAME_INFORMATION with the native form of the name (\??\C:\...).
            const std::wstring native = L"\\??\\" + extended.substr(4);
            struct Header {
                BOOLEAN replaceIfExists;
                HANDLE rootDirectory;
                ULONG nameBytes;
                WCHAR name[1];
            };
            const std::size_t nameAt = offsetof(Header, name);
            std::vector<std::uint8_t> information(sizeof(Header) + (native.size() + 1) * sizeof(WCHAR), 0);
            auto* header = reinterpret_cast<Header*>(information.data());
            header->replaceIfExists = replace ? TRUE : FALSE;
            header->rootDirectory = nullptr;
            header->nameBytes = static_cast<ULONG>(native.size() * sizeof(WCHAR));
            std::copy(native.begin(), native.end(), reinterpret_cast<WCHAR*>(information.data() + nameAt));
            IoStatus io{};
            const LONG status = Nt().setInformationFile(file.get(), &io, information.data(),
                                                        static_cast<ULONG>(information.size()), kFileRenameInformation);
            if (status >= 0) return Ok();
            const Failure failure = Nt().StatusFailure(status);
            if (failure.number == static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)))
                return Failure{kFileExists, {}};
            return failure;
        }
        if (!file.close()) return LastError();
        if (!MoveFileExW(Extended(temporary).c_str(), extended.c_str(),
                         (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            return error == ERROR_ALREADY_EXISTS ? Failure{kFileExists, {}} : Win32Failure(error);
        }
        return Ok();
    }

    // Only the host's own temporary files of this one name, and only those no one has open:
    // a writer holds its file without sharing, so opening for sole use fails while it writes.
    std::size_t RemoveLeftoversIn(const std::wstring& folder, const std::wstring& name) {
        const std::wstring stem = Folded(TemporaryStem(name)), whole = Folded(name);
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(Extended(Join(folder, L"~*.tmp")).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return 0;
        std::size_t removed = 0;
        do {
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
            const auto owner = TemporaryOwner(found.cFileName);
            if (!owner || (Folded(*owner) != stem && Folded(*owner) != whole)) continue;
            const std::wstring leftover = Join(folder, found.cFileName);
            Handle file(CreateFileW(Extended(leftover).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) continue;
            // Wine follows links even here and shows no mark on them: a name whose file
            // lives elsewhere is a link, and its file is not ours to remove.
            const std::wstring final = FinalPath(file.get(), leftover);
            if (Folded(Leaf(final)) != Folded(found.cFileName) || !(Identify(Parent(final)) == Identify(folder)))
                continue;
            if (SetDeleteOnClose(file.get(), true).ok()) {
                if (file.close()) ++removed;
            } else {
                file.close();
                if (DeleteFileW(Extended(leftover).c_str())) ++removed;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return removed;
    }
};

}  // namespace

std::shared_ptr<Files> SystemFiles() { return std::make_shared<Win32Files>(); }

}  // namespace ombrevale::hostcore

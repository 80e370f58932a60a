// Scratch folders and plain file access for the demo host's tests, on either platform.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "hostcore/files.h"
#include "hostcore/utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace ombrevale::demohost::testing {

using hostcore::Utf8ToWide;
using hostcore::WideToUtf8;

inline std::filesystem::path ToPath(const std::wstring& path) {
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    return std::filesystem::path(WideToUtf8(path));
#endif
}

inline std::wstring FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return *Utf8ToWide(path.string());
#endif
}

#ifdef _WIN32
// The Unix name of a file under Wine; empty elsewhere.
inline std::string UnixName(const std::wstring& path) {
    using UnixFileName = char*(__cdecl*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) return {};
    std::string result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}
#endif

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("omb-demohost-" + std::to_string(stamp) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
        if (!RemovedByTheSystem()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::wstring Folder() const { return FromPath(path_); }
    std::wstring File(const std::wstring& name) const { return FromPath(path_ / ToPath(name)); }
    const std::filesystem::path& path() const { return path_; }

    // Names in the folder, to see that no temporary file was left behind.
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(FromPath(entry.path().filename()));
        return names;
    }

private:
    // Under Wine a link that leads nowhere is invisible, and remove_all waits for the folder
    // to empty forever: the system's own rm takes the folder there.
    bool RemovedByTheSystem() const;

    std::filesystem::path path_;
};

inline bool TempFolder::RemovedByTheSystem() const {
#ifdef _WIN32
    const std::string unixName = UnixName(Folder());
    if (unixName.empty()) return false;
    std::wstring command = L"Z:\\bin\\rm -rf \"" + *Utf8ToWide(unixName) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    for (int i = 0; i < 100 && ::GetFileAttributesW(Folder().c_str()) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(50);
    return true;
#else
    return false;
#endif
}

inline std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(ToPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::wstring& path) { return std::filesystem::exists(ToPath(path)); }

inline void SetReadOnly(const std::wstring& path, bool readOnly) {
    using std::filesystem::perms;
    std::filesystem::permissions(ToPath(path), perms::owner_write | perms::group_write | perms::others_write,
                                 readOnly ? std::filesystem::perm_options::remove : std::filesystem::perm_options::add);
}

inline bool IsReadOnly(const std::wstring& path) {
    using std::filesystem::perms;
    const perms p = std::filesystem::status(ToPath(path)).permissions();
    return (p & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none;
}

// A symbolic link at `link` to `target` (which must exist); false where links cannot be made.
inline bool MakeSymlink(const std::wstring& target, const std::wstring& link) {
#ifdef _WIN32
    // Wine's CreateSymbolicLinkW claims success and makes nothing: there the system's own ln
    // makes the link, as a user would.
    const std::string unixTarget = UnixName(target), unixLink = UnixName(link);
    if (!unixTarget.empty() && !unixLink.empty()) {
        std::wstring command =
            L"Z:\\bin\\ln -s \"" + *Utf8ToWide(unixTarget) + L"\" \"" + *Utf8ToWide(unixLink) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process))
            return false;
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        for (int i = 0; i < 100 && ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(50);
        return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    using CreateLink = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    const auto create = reinterpret_cast<CreateLink>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
    return create && create(link.c_str(), target.c_str(), 0x2 /* allow unprivileged create */);
#else
    std::error_code error;
    std::filesystem::create_symlink(ToPath(target), ToPath(link), error);
    return !error;
#endif
}

// Holds a file open as a writer does, so that it counts as in use.
class HeldOpen {
public:
    explicit HeldOpen(const std::wstring& path) {
#ifdef _WIN32
        handle_ = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        fd_ = ::open(WideToUtf8(path).c_str(), O_WRONLY | O_CREAT, 0666);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
#endif
    }
    ~HeldOpen() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
#else
        if (fd_ >= 0) ::close(fd_);
#endif
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
};

// The system's file layer, every call handed on: tests derive from it to fake or fail the
// calls they are about.
class ForwardedFiles : public hostcore::Files {
public:
    using PathFacts = hostcore::PathFacts;
    using FileId = hostcore::FileId;

    Result<std::wstring> FullPath(const std::wstring& p) override { return real_->FullPath(p); }
    Result<std::wstring> FullPathFrom(const std::wstring& f, const std::wstring& p) override {
        return real_->FullPathFrom(f, p);
    }
    std::wstring Folded(const std::wstring& p) const override { return real_->Folded(p); }
    std::wstring Join(const std::wstring& f, const std::wstring& n) const override { return real_->Join(f, n); }
    std::wstring Parent(const std::wstring& p) const override { return real_->Parent(p); }
    Result<PathFacts> Examine(const std::wstring& p) override { return real_->Examine(p); }
    Result<hostcore::FileStamp> Stamp(const std::wstring& p) override { return real_->Stamp(p); }
    FileId Identify(const std::wstring& p) override { return real_->Identify(p); }
    std::vector<FileId> IdentifyAll(const std::vector<std::wstring>& p) override { return real_->IdentifyAll(p); }
    Result<std::unique_ptr<hostcore::ReadableFile>> OpenForReading(const std::wstring& p) override {
        return real_->OpenForReading(p);
    }
    Status WriteAtomically(const std::wstring& p, std::span<const std::uint8_t> bytes,
                           hostcore::WriteMode mode) override {
        return real_->WriteAtomically(p, bytes, mode);
    }
    std::size_t RemoveLeftovers(const std::wstring& p) override { return real_->RemoveLeftovers(p); }
    Status CreateFolders(const std::wstring& p) override { return real_->CreateFolders(p); }

private:
    std::shared_ptr<hostcore::Files> real_ = hostcore::SystemFiles();
};

}  // namespace ombrevale::demohost::testing

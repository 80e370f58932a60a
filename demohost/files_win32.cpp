// The Windows file system for the demo host: full paths from GetFullPathNameW, compared
// without regard to case as Windows itself compares file names.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>

#include "demohost/errors.h"
#include "demohost/files.h"

namespace ombrevale::demohost {
namespace {

Failure LastError() {
    const DWORD error = GetLastError();
    return Failure{static_cast<std::int32_t>(HRESULT_FROM_WIN32(error != 0 ? error : ERROR_GEN_FAILURE)), {}};
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }
    HANDLE Release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
    bool Close() { return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != FALSE; }

private:
    HANDLE h_;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

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

    bool SamePath(const std::wstring& a, const std::wstring& b) const override {
        if (a.size() != b.size()) return false;
        // File names compare as the file system does: letter by letter, upper-cased, with
        // no regard to the user's language.
        std::wstring upperA = a, upperB = b;
        CharUpperBuffW(upperA.data(), static_cast<DWORD>(upperA.size()));
        CharUpperBuffW(upperB.data(), static_cast<DWORD>(upperB.size()));
        return upperA == upperB;
    }

    std::wstring Join(const std::wstring& folder, const std::wstring& name) const override {
        if (!folder.empty() && IsSeparator(folder.back())) return folder + name;
        return folder + L"\\" + name;
    }

    std::wstring Parent(const std::wstring& path) const override {
        const auto at = path.find_last_of(L"\\/");
        if (at == std::wstring::npos) return L".";
        std::wstring parent = path.substr(0, at);
        if (parent.size() == 2 && parent[1] == L':') parent += L'\\';  // the root of a drive
        return parent;
    }

    Result<PathKind> Examine(const std::wstring& path) override {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return PathKind::Missing;
            SetLastError(error);
            return LastError();
        }
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return PathKind::Other;
        return PathKind::File;
    }

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) override {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
            return Failure{kNotRegularFile, {}};
        Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return LastError();
        // Names such as CON or a pipe open as well; only files on a disk are images.
        if (GetFileType(file.get()) != FILE_TYPE_DISK) return Failure{kNotRegularFile, {}};
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.get(), &size)) return LastError();
        return std::unique_ptr<ReadableFile>(
            new Win32ReadableFile(file.Release(), static_cast<std::uint64_t>(size.QuadPart)));
    }

    Status WriteAtomically(const std::wstring& path, std::span<const std::uint8_t> bytes) override {
        static std::atomic<unsigned> counter{0};
        const auto at = path.find_last_of(L"\\/");
        const std::wstring folder = at == std::wstring::npos ? std::wstring() : path.substr(0, at + 1);
        const std::wstring name = at == std::wstring::npos ? path : path.substr(at + 1);
        const std::wstring temporary = folder + L"~" + name + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                                       std::to_wstring(++counter) + L".tmp";
        Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        if (!file.valid()) return LastError();
        Status finished = WriteAll(file.get(), bytes);
        if (finished && !FlushFileBuffers(file.get())) finished = LastError();
        if (!file.Close() && finished) finished = LastError();
        if (finished && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            finished = LastError();
        if (!finished) DeleteFileW(temporary.c_str());
        return finished;
    }

    Status CreateFolders(const std::wstring& path) override {
        const int error = SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
        if (error == ERROR_SUCCESS) return Ok();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Ok();
        return Failure{static_cast<std::int32_t>(HRESULT_FROM_WIN32(static_cast<DWORD>(error))), {}};
    }

private:
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
};

}  // namespace

std::shared_ptr<Files> SystemFiles() { return std::make_shared<Win32Files>(); }

}  // namespace ombrevale::demohost

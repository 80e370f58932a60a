// The file system of the native build, where the portable logic is tested. Paths are
// compared the way Windows compares them (ignoring case), so the tests see the rules of
// the real host.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "demohost/errors.h"
#include "demohost/files.h"
#include "demohost/utf8.h"

namespace ombrevale::demohost {
namespace {

std::int32_t FromErrno(int error) {
    switch (error) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR: return kPathNotFound;
        case EACCES:
        case EPERM: return kAccessDenied;
        case EROFS: return kWriteProtected;
        case ENOSPC: return kDiskFull;
        case EBUSY:
        case ETXTBSY: return kSharingViolation;
        case EISDIR: return kNotRegularFile;
        case ENOMEM: return kOutOfMemory;
        default: return kFail;
    }
}

Failure LastError() { return Failure{FromErrno(errno), {}}; }

// Simple case folding of the scripts people name their files in here; enough to mirror
// the Windows comparison in tests.
wchar_t Fold(wchar_t c) {
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
    return c;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    // Closing can report a failed write-back; the caller must hear of it.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

class PosixReadableFile final : public ReadableFile {
public:
    PosixReadableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }

    Result<std::vector<std::uint8_t>> ReadHead(std::size_t count) override {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(count, size_)));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(fd_.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastError();
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
        return bytes;
    }

private:
    Fd fd_;
    std::uint64_t size_;
};

class PosixFiles final : public Files {
public:
    Result<std::wstring> FullPath(const std::wstring& path) override {
        if (path.empty()) return Failure{kInvalidArgument, {}};
        std::error_code error;
        const auto absolute = std::filesystem::absolute(WideToUtf8(path), error);
        if (error) return Failure{FromErrno(error.value()), {}};
        std::string normal = absolute.lexically_normal().string();
        while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
        auto wide = Utf8ToWide(normal);
        if (!wide) return Failure{kInvalidArgument, {}};
        return *wide;
    }

    bool SamePath(const std::wstring& a, const std::wstring& b) const override {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (Fold(a[i]) != Fold(b[i])) return false;
        }
        return true;
    }

    std::wstring Join(const std::wstring& folder, const std::wstring& name) const override {
        if (!folder.empty() && folder.back() == L'/') return folder + name;
        return folder + L"/" + name;
    }

    std::wstring Parent(const std::wstring& path) const override {
        const auto slash = path.find_last_of(L'/');
        if (slash == std::wstring::npos) return L".";
        return slash == 0 ? L"/" : path.substr(0, slash);
    }

    Result<PathKind> Examine(const std::wstring& path) override {
        struct stat facts {};
        if (::stat(WideToUtf8(path).c_str(), &facts) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return PathKind::Missing;
            return LastError();
        }
        return S_ISREG(facts.st_mode) ? PathKind::File : PathKind::Other;
    }

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) override {
        // Non-blocking, so that a named pipe is refused rather than waited on.
        const int fd = ::open(WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return LastError();
        Fd owner(fd);
        struct stat facts {};
        if (::fstat(fd, &facts) != 0) return LastError();
        if (!S_ISREG(facts.st_mode)) return Failure{kNotRegularFile, {}};
        const std::uint64_t size = static_cast<std::uint64_t>(facts.st_size);
        return std::unique_ptr<ReadableFile>(new PosixReadableFile(owner.Release(), size));
    }

    Status WriteAtomically(const std::wstring& path, std::span<const std::uint8_t> bytes) override {
        static std::atomic<unsigned> counter{0};
        const std::string target = WideToUtf8(path);
        const auto slash = target.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        const std::string temporary = folder + "." + name + "." + std::to_string(::getpid()) + "." +
                                      std::to_string(++counter) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return LastError();
        Fd file(fd);
        const Status written = WriteAll(fd, bytes);
        Status finished = written;
        if (written && ::fsync(fd) != 0) finished = LastError();
        if (!file.Close() && finished) finished = LastError();
        if (finished && ::rename(temporary.c_str(), target.c_str()) != 0) finished = LastError();
        if (!finished) ::unlink(temporary.c_str());
        return finished;
    }

    Status CreateFolders(const std::wstring& path) override {
        std::error_code error;
        std::filesystem::create_directories(WideToUtf8(path), error);
        if (error) return Failure{FromErrno(error.value()), {}};
        return Ok();
    }

private:
    static Status WriteAll(int fd, std::span<const std::uint8_t> bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastError();
            done += static_cast<std::size_t>(n);
        }
        return Ok();
    }
};

}  // namespace

std::shared_ptr<Files> SystemFiles() { return std::make_shared<PosixFiles>(); }

}  // namespace ombrevale::demohost

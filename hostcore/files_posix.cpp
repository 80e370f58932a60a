// The file system of the native build, where the portable logic is tested. Names are
// compared the way Windows compares them (ignoring case), so the tests see the rules of
// the real host; files are known by device and inode.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "hostcore/errors.h"
#include "hostcore/files.h"
#include "hostcore/utf8.h"

namespace ombrevale::hostcore {
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
    case EEXIST: return kFileExists;
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

std::string Narrow(const std::wstring& path) { return WideToUtf8(path); }

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
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

std::uint32_t NextToken() {
    static std::atomic<std::uint32_t> counter{0};
    std::uint64_t x = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (static_cast<std::uint64_t>(::getpid()) << 32) ^ (++counter * 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(x ^ (x >> 31));
}

bool ReadOnly(const struct stat& facts) { return (facts.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

class PosixFiles final : public Files {
public:
    Result<std::wstring> FullPath(const std::wstring& path) override {
        if (path.empty()) return Failure{kInvalidArgument, {}};
        std::error_code error;
        const auto absolute = std::filesystem::absolute(Narrow(path), error);
        if (error) return Failure{FromErrno(error.value()), {}};
        std::string normal = absolute.lexically_normal().string();
        while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
        auto wide = Utf8ToWide(normal);
        if (!wide) return Failure{kInvalidArgument, {}};
        return *wide;
    }

    Result<std::wstring> FullPathFrom(const std::wstring& folder, const std::wstring& path) override {
        if (!path.empty() && path.front() != L'/') return FullPath(Join(folder, path));
        return FullPath(path);
    }

    std::wstring Folded(const std::wstring& path) const override {
        std::wstring folded = path;
        for (wchar_t& c : folded) c = Fold(c);
        return folded;
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

    Result<PathFacts> Examine(const std::wstring& path) override {
        const std::string name = Narrow(path);
        struct stat facts {};
        if (::stat(name.c_str(), &facts) != 0) {
            if (errno != ENOENT && errno != ENOTDIR) return LastError();
            struct stat link {};
            if (::lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) return PathFacts{PathKind::BrokenLink};
            return PathFacts{PathKind::Missing};
        }
        if (S_ISDIR(facts.st_mode)) return PathFacts{PathKind::Folder};
        if (!S_ISREG(facts.st_mode)) return PathFacts{PathKind::Device};
        return PathFacts{PathKind::File, ReadOnly(facts)};
    }

    Result<FileStamp> Stamp(const std::wstring& path) override {
        struct stat facts {};
        if (::stat(Narrow(path).c_str(), &facts) != 0) return LastError();
        return FileStamp{static_cast<std::uint64_t>(facts.st_size),
                         static_cast<std::int64_t>(facts.st_mtim.tv_sec) * 1'000'000'000 + facts.st_mtim.tv_nsec};
    }

    FileId Identify(const std::wstring& fullPath) override {
        struct stat facts {};
        if (::stat(Narrow(fullPath).c_str(), &facts) == 0)
            return FileId{FileId::Kind::File,
                          static_cast<std::uint64_t>(facts.st_dev),
                          static_cast<std::uint64_t>(facts.st_ino),
                          {}};
        const std::wstring folder = Parent(fullPath);
        if (errno == ENOENT && ::stat(Narrow(folder).c_str(), &facts) == 0 && S_ISDIR(facts.st_mode)) {
            const std::wstring name = fullPath.substr(fullPath.find_last_of(L'/') + 1);
            return FileId{FileId::Kind::NameInFolder, static_cast<std::uint64_t>(facts.st_dev),
                          static_cast<std::uint64_t>(facts.st_ino), Folded(name)};
        }
        return FileId{FileId::Kind::PathOnly, 0, 0, Folded(fullPath)};
    }

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& path) override {
        // Non-blocking, so that a named pipe is refused rather than waited on.
        const int fd = ::open(Narrow(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return LastError();
        Fd owner(fd);
        struct stat facts {};
        if (::fstat(fd, &facts) != 0) return LastError();
        if (!S_ISREG(facts.st_mode)) return Failure{kNotRegularFile, {}};
        const std::uint64_t size = static_cast<std::uint64_t>(facts.st_size);
        return std::unique_ptr<ReadableFile>(new PosixReadableFile(owner.Release(), size));
    }

    Status WriteAtomically(const std::wstring& path, std::span<const std::uint8_t> bytes, WriteMode mode) override {
        std::string target = Narrow(path);
        struct stat facts {};
        const bool exists = ::stat(target.c_str(), &facts) == 0;
        if (exists) {
            if (!S_ISREG(facts.st_mode)) return Failure{kNotRegularFile, {}};
            if (mode == WriteMode::CreateOnly) return Failure{kFileExists, {}};
            if (ReadOnly(facts)) return Failure{kReadOnlyFile, {}};
            // Through a link, the file it points to is replaced; the link stays.
            char* real = ::realpath(target.c_str(), nullptr);
            if (!real) return LastError();
            target = real;
            std::free(real);
        } else {
            if (errno != ENOENT) return LastError();
            struct stat link {};
            if (::lstat(target.c_str(), &link) == 0)
                return Failure{mode == WriteMode::CreateOnly ? kFileExists : kBrokenLink, {}};
        }
        const auto slash = target.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        RemoveLeftoversIn(folder, name);

        const auto wideName = Utf8ToWide(name);
        if (!wideName) return Failure{kInvalidArgument, {}};
        // A name that is taken, by a leftover in use or by anyone's file, is passed over.
        std::string temporary;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = folder + "/" + WideToUtf8(TemporaryName(*wideName, NextToken()));
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) return LastError();
        }
        if (fd < 0) return Failure{kFileExists, {}};
        Fd file(fd);
        // Held while the file is written, so that no cleaner takes it for a leftover.
        ::flock(file.get(), LOCK_EX);
        Status finished = WriteAll(file.get(), bytes);
        if (finished && exists && ::fchmod(file.get(), facts.st_mode & 07777) != 0) finished = LastError();
        if (finished && ::fsync(file.get()) != 0) finished = LastError();
        if (finished && exists) {
            struct stat now {};
            if (::stat(target.c_str(), &now) == 0 && ReadOnly(now)) finished = Failure{kReadOnlyFile, {}};
        }
        if (finished) {
            if (exists) {
                if (::rename(temporary.c_str(), target.c_str()) != 0) finished = LastError();
            } else if (::link(temporary.c_str(), target.c_str()) != 0) {
                // Never over something that took the name meanwhile.
                finished = LastError();
            } else {
                ::unlink(temporary.c_str());
                temporary.clear();
            }
        }
        if (!file.Close() && finished) finished = LastError();
        if (!finished && !temporary.empty()) ::unlink(temporary.c_str());
        return finished;
    }

    std::size_t RemoveLeftovers(const std::wstring& path) override {
        std::string target = Narrow(path);
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
        const auto slash = target.find_last_of('/');
        if (slash == std::string::npos) return 0;
        return RemoveLeftoversIn(target.substr(0, slash), target.substr(slash + 1));
    }

    Status CreateFolders(const std::wstring& path) override {
        std::error_code error;
        std::filesystem::create_directories(Narrow(path), error);
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

    std::size_t RemoveLeftoversIn(const std::string& folder, const std::string& name) {
        const auto wideName = Utf8ToWide(name);
        if (!wideName) return 0;
        const std::wstring stem = Folded(TemporaryStem(*wideName)), whole = Folded(*wideName);
        DIR* listing = ::opendir(folder.c_str());
        if (!listing) return 0;
        std::size_t removed = 0;
        while (const dirent* entry = ::readdir(listing)) {
            const auto candidate = Utf8ToWide(entry->d_name);
            if (!candidate) continue;
            const auto owner = TemporaryOwner(*candidate);
            if (!owner || (Folded(*owner) != stem && Folded(*owner) != whole)) continue;
            const std::string leftover = folder + "/" + entry->d_name;
            Fd file(::open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            struct stat opened {
            }, named{};
            // A writer holds its temporary file locked: only a file no one holds goes.
            if (!file.valid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) continue;
            if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) continue;
            if (::lstat(leftover.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
                named.st_dev != opened.st_dev)
                continue;
            if (::unlink(leftover.c_str()) == 0) ++removed;
        }
        ::closedir(listing);
        return removed;
    }
};

}  // namespace

std::shared_ptr<Files> SystemFiles() { return std::make_shared<PosixFiles>(); }

}  // namespace ombrevale::hostcore

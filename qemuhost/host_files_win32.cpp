// Paths and file facts on Windows. Under Wine, kernel32 exports Wine's own mapping between
// Windows and Unix paths; it is looked up at run time, and its absence means Windows.
#include <windows.h>

#include <string>

#include "hostcore/utf8.h"
#include "qemuhost/errors.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {
namespace {

// Wine declares both CDECL; the strings they answer come from the process heap.
using ToUnixName = char*(__cdecl*)(const WCHAR*);
using ToDosName = WCHAR*(__cdecl*)(const char*);

class WinePaths final : public PathMapper {
public:
    WinePaths(ToUnixName toUnix, ToDosName toDos) : toUnix_(toUnix), toDos_(toDos) {}

    Result<std::string> ToQemu(const std::wstring& windowsPath) override {
        char* unix = toUnix_(windowsPath.c_str());
        if (!unix) return Failure{kNoPathMapping, {}};
        std::string path(unix);
        HeapFree(GetProcessHeap(), 0, unix);
        // QMP carries UTF-8; a name in another encoding could not reach QEMU intact.
        if (path.empty() || path[0] != '/' || !hostcore::Utf8ToWide(path)) return Failure{kNoPathMapping, {}};
        return path;
    }

    std::optional<std::wstring> ToWindows(const std::string& qemuPath) override {
        if (qemuPath.empty() || qemuPath[0] != '/') return std::nullopt;
        WCHAR* dos = toDos_(qemuPath.c_str());
        if (!dos) return std::nullopt;
        std::wstring path(dos);
        HeapFree(GetProcessHeap(), 0, dos);
        return path;
    }

    std::string HostFloppyDevice(wchar_t letter) override { return letter == L'B' ? "/dev/fd1" : "/dev/fd0"; }

private:
    ToUnixName toUnix_;
    ToDosName toDos_;
};

// QEMU for Windows opens the same paths as its callers, in UTF-8.
class WindowsPaths final : public PathMapper {
public:
    Result<std::string> ToQemu(const std::wstring& windowsPath) override {
        std::string path = hostcore::WideToUtf8(windowsPath);
        // An unpaired surrogate would come back as U+FFFD: another file's name.
        if (hostcore::Utf8ToWide(path) != windowsPath) return Failure{kNoPathMapping, {}};
        return path;
    }

    std::optional<std::wstring> ToWindows(const std::string& qemuPath) override {
        return hostcore::Utf8ToWide(qemuPath);
    }

    std::string HostFloppyDevice(wchar_t letter) override { return letter == L'B' ? "\\\\.\\B:" : "\\\\.\\A:"; }
};

class Win32FileFacts final : public FileFacts {
public:
    Result<bool> IsReadOnly(const std::wstring& path) override {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            return Failure{static_cast<std::int32_t>(HRESULT_FROM_WIN32(error ? error : ERROR_GEN_FAILURE)), {}};
        }
        return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }

    std::optional<FileIdentity> Identity(const std::wstring& path) override {
        // No access asked: only the file's facts are wanted, whoever holds it open.
        HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info{};
        const BOOL known = GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        if (!known) return std::nullopt;
        return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    }
};

}  // namespace

std::shared_ptr<PathMapper> SystemPathMapper() {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto toUnix =
        reinterpret_cast<ToUnixName>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    const auto toDos =
        reinterpret_cast<ToDosName>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "wine_get_dos_file_name")));
    if (toUnix && toDos) return std::make_shared<WinePaths>(toUnix, toDos);
    return std::make_shared<WindowsPaths>();
}

std::shared_ptr<FileFacts> SystemFileFacts() { return std::make_shared<Win32FileFacts>(); }

}  // namespace ombrevale::qemuhost

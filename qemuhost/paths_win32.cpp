// Paths on Windows. Under Wine, kernel32 exports Wine's own mapping between Windows and
// Unix paths; it is looked up at run time, and its absence means Windows.
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

}  // namespace ombrevale::qemuhost

// Where the bridge's hosts file lives, and the bridge put together from the system's parts.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "hostcore/text_template.h"
#include "hostcore/texts.h"
#include "hypervhost/hosts_file.h"
#include "hypervhost/system.h"

namespace ombrevale::hypervhost {
namespace {

constexpr wchar_t kDataFolderName[] = L"Ombrevale Hyper-V Bridge";
constexpr wchar_t kHostsFileName[] = L"hosts.txt";

// The Windows this computer runs, from ntdll: GetVersionExW answers a program without a
// manifest with at most Windows 8, which is enough here but not exact.
void WindowsVersion(unsigned& major, unsigned& minor) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!(rtlGetVersion && rtlGetVersion(&version) == 0) && !GetVersionExW(&version)) return;
    major = version.dwMajorVersion;
    minor = version.dwMinorVersion;
}

}  // namespace

Result<std::wstring> HostsFileLocation(hostcore::Files& files) {
    const DWORD needed = GetEnvironmentVariableW(kHostsFileVariable, nullptr, 0);
    if (needed > 1) {
        std::wstring named(needed, L'\0');
        named.resize(GetEnvironmentVariableW(kHostsFileVariable, named.data(), needed));
        auto full = files.FullPath(named);
        return full ? *full : named;
    }
    // SHGetFolderPathW rather than SHGetKnownFolderPath: the server starts on Windows XP.
    wchar_t appData[MAX_PATH] = {};
    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    if (FAILED(hr)) return Failure{hr, hostcore::ServerText::NoDataFolder(hr)};
    return files.Join(files.Join(appData, kDataFolderName), kHostsFileName);
}

void OfferHostsFileTemplate() {
    if (GetEnvironmentVariableW(kHostsFileVariable, nullptr, 0) > 1) return;
    auto files = hostcore::SystemFiles();
    if (auto path = HostsFileLocation(*files)) (void)hostcore::WriteTextTemplate(*files, *path, HostsFileTemplate());
}

Result<std::unique_ptr<HyperVBackend>> OpenHyperVBridge(BridgeTimeouts timeouts) {
    auto files = hostcore::SystemFiles();
    BridgeParts parts;
    OMB_ASSIGN_OR_RETURN(parts.hostsFile, HostsFileLocation(*files));
    parts.files = files;
    parts.network = SystemHyperVNetwork();
    WindowsVersion(parts.windowsMajor, parts.windowsMinor);
    parts.timeouts = timeouts;
    parts.sleep = [](Milliseconds span) { Sleep(static_cast<DWORD>(span.count())); };
    return std::make_unique<HyperVBackend>(std::move(parts));
}

}  // namespace ombrevale::hypervhost

// The bridge put together from the system's parts.
#include <windows.h>

#include <string>

#include "hostcore/user_file.h"
#include "hypervhost/system.h"

namespace ombrevale::hypervhost {
namespace {

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

Result<std::unique_ptr<HyperVBackend>> OpenHyperVBridge(BridgeTimeouts timeouts) {
    auto files = hostcore::SystemFiles();
    BridgeParts parts;
    OMB_ASSIGN_OR_RETURN(parts.hostsFile, hostcore::UserFileLocation(*files, kHostsFile));
    parts.files = files;
    parts.network = SystemHyperVNetwork();
    WindowsVersion(parts.windowsMajor, parts.windowsMinor);
    parts.timeouts = timeouts;
    parts.sleep = [](Milliseconds span) { Sleep(static_cast<DWORD>(span.count())); };
    return std::make_unique<HyperVBackend>(std::move(parts));
}

}  // namespace ombrevale::hypervhost

// Where the bridge's machines file lives, and the bridge put together from the system's
// parts.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "demohost/messages.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {
namespace {

constexpr wchar_t kDataFolderName[] = L"Ombrevale QEMU Bridge";
constexpr wchar_t kMachinesFileName[] = L"machines.txt";

}  // namespace

Result<std::wstring> MachinesFileLocation(demohost::Files& files) {
    const DWORD needed = GetEnvironmentVariableW(kMachinesFileVariable, nullptr, 0);
    if (needed > 1) {
        std::wstring named(needed, L'\0');
        named.resize(GetEnvironmentVariableW(kMachinesFileVariable, named.data(), needed));
        auto full = files.FullPath(named);
        return full ? *full : named;
    }
    // SHGetFolderPathW rather than SHGetKnownFolderPath: the server starts on Windows XP.
    wchar_t appData[MAX_PATH] = {};
    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    if (FAILED(hr)) return Failure{hr, demohost::HostText::NoDataFolder(hr)};
    return files.Join(files.Join(appData, kDataFolderName), kMachinesFileName);
}

Result<std::unique_ptr<QemuBackend>> OpenQemuBridge(BridgeTimeouts timeouts) {
    auto files = demohost::SystemFiles();
    ASSIGN_OR_RETURN(std::wstring machinesFile, MachinesFileLocation(*files));
    BridgeParts parts;
    parts.files = files;
    parts.facts = SystemFileFacts();
    parts.paths = SystemPathMapper();
    parts.connector = SystemConnector();
    parts.machinesFile = std::move(machinesFile);
    parts.timeouts = timeouts;
    return std::make_unique<QemuBackend>(std::move(parts));
}

}  // namespace ombrevale::qemuhost

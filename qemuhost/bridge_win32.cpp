// Where the bridge's machines file lives, and the bridge put together from the system's
// parts.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "hostcore/text_template.h"
#include "hostcore/texts.h"
#include "qemuhost/machines_file.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {
namespace {

constexpr wchar_t kDataFolderName[] = L"Ombrevale QEMU Bridge";
constexpr wchar_t kMachinesFileName[] = L"machines.txt";

}  // namespace

Result<std::wstring> MachinesFileLocation(hostcore::Files& files) {
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
    if (FAILED(hr)) return Failure{hr, hostcore::ServerText::NoDataFolder(hr)};
    return files.Join(files.Join(appData, kDataFolderName), kMachinesFileName);
}

Status WriteMachinesFileTemplate(hostcore::Files& files, const std::wstring& path) {
    return hostcore::WriteTextTemplate(files, path, MachinesFileTemplate());
}

void OfferMachinesFileTemplate() {
    if (GetEnvironmentVariableW(kMachinesFileVariable, nullptr, 0) > 1) return;
    auto files = hostcore::SystemFiles();
    auto path = MachinesFileLocation(*files);
    if (path) (void)WriteMachinesFileTemplate(*files, *path);
}

Result<std::unique_ptr<QemuBackend>> OpenQemuBridge(BridgeTimeouts timeouts) {
    auto files = hostcore::SystemFiles();
    std::wstring machinesFile;
    OMB_ASSIGN_OR_RETURN(machinesFile, MachinesFileLocation(*files));
    BridgeParts parts;
    parts.files = files;
    parts.paths = SystemPathMapper();
    parts.connector = SystemConnector();
    parts.machinesFile = std::move(machinesFile);
    parts.timeouts = timeouts;
    return std::make_unique<QemuBackend>(std::move(parts));
}

}  // namespace ombrevale::qemuhost

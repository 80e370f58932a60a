// Where the bridge's machines file lives, and the bridge put together from the system's
// parts.
#include <windows.h>
#include <shlobj.h>

#include <string>

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
    OMB_RETURN_IF_FAILED(files.CreateFolders(files.Parent(path)));
    // Notepad before Windows 10 shows UTF-8 only with its mark, and lines only with CR LF.
    std::string text = "\xEF\xBB\xBF";
    for (char c : MachinesFileTemplate()) {
        if (c == '\n') text += '\r';
        text += c;
    }
    // CREATE_NEW: a file that appeared meanwhile is the user's, never replaced.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS) return Ok();
        return Failure{static_cast<std::int32_t>(HRESULT_FROM_WIN32(error)), {}};
    }
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const DWORD error = wrote ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (!wrote || written != text.size()) {
        // Half a template would only puzzle its reader.
        DeleteFileW(path.c_str());
        return Failure{static_cast<std::int32_t>(HRESULT_FROM_WIN32(error ? error : ERROR_WRITE_FAULT)), {}};
    }
    return Ok();
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

#include "demohost/server_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <utility>

#include "demohost/demo_backend.h"
#include "hostcore/texts.h"

namespace ombrevale::demohost {
namespace {

constexpr wchar_t kInventoryVariable[] = L"OMBREVALE_DEMO_INVENTORY";
constexpr wchar_t kDataFolderName[] = L"Ombrevale Demo Host";
constexpr wchar_t kInventoryName[] = L"inventory.txt";

// The inventory named by the environment, else the one in the user's roaming application
// data; a default inventory and its sample images go beside it.
Result<HostLocation> InventoryLocation(hostcore::Files& files) {
    const DWORD needed = GetEnvironmentVariableW(kInventoryVariable, nullptr, 0);
    if (needed > 1) {
        std::wstring named(needed, L'\0');
        named.resize(GetEnvironmentVariableW(kInventoryVariable, named.data(), needed));
        auto full = files.FullPath(named);
        const std::wstring path = full ? *full : named;
        return HostLocation{path, files.Parent(path)};
    }
    wchar_t roaming[MAX_PATH] = L"";
    const HRESULT hr =
        SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, roaming);
    if (hr != S_OK) {
        const HRESULT number = FAILED(hr) ? hr : E_FAIL;
        return Failure{number, hostcore::ServerText::NoDataFolder(number)};
    }
    const std::wstring folder = files.Join(roaming, kDataFolderName);
    return HostLocation{files.Join(folder, kInventoryName), folder};
}

Result<std::shared_ptr<hostcore::Backend>> OpenBackend() {
    const auto files = hostcore::SystemFiles();
    HostLocation location;
    OMB_ASSIGN_OR_RETURN(location, InventoryLocation(*files));
    return std::shared_ptr<hostcore::Backend>(std::make_shared<DemoBackend>(files, std::move(location)));
}

}  // namespace

hostcore::ServerDescription DemoServer() {
    hostcore::ServerDescription server;
    server.name = L"Ombrevale Demo Host";
    server.usage =
        L"Демонстрационный сервер автоматизации Ombrevale: он отвечает программе вместо Virtual PC, "
        L"показывая машины из файла инвентаря.\r\n\r\n"
        L"Регистрация для текущего пользователя: OmbrevaleDemoHost.exe /RegServer\r\n"
        L"Отмена регистрации: OmbrevaleDemoHost.exe /UnregServer\r\n"
        L"Для всех пользователей компьютера (нужны права администратора) добавьте /AllUsers.\r\n\r\n"
        L"Не регистрируйте его там, где установлена Virtual PC.";
    server.openBackend = OpenBackend;
    return server;
}

}  // namespace ombrevale::demohost

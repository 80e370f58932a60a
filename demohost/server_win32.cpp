#include "demohost/server_win32.h"

#include <memory>
#include <string>
#include <utility>

#include "demohost/demo_backend.h"
#include "hostcore/user_file.h"

namespace ombrevale::demohost {
namespace {

// The inventory named by the environment, else the one in the user's roaming application
// data; a default inventory and its sample images go beside it.
Result<HostLocation> InventoryLocation(hostcore::Files& files) {
    std::wstring path;
    OMB_ASSIGN_OR_RETURN(path, hostcore::UserFileLocation(files, kInventoryFile));
    return HostLocation{path, files.Parent(path)};
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

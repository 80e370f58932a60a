// OmbrevaleQemuHost.exe: the QEMU bridge as an automation server process, built as the demo
// server is. Registered, it answers Virtual PC's host class in the demo server's place, for
// the floppy drives of the running QEMU machines that its machines file lists.
#include <windows.h>

#include <memory>
#include <string>

#include "hostcore/local_server_win32.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {
namespace {

Result<std::shared_ptr<hostcore::Backend>> OpenBackend() {
    OfferMachinesFileTemplate();
    std::unique_ptr<QemuBackend> bridge;
    OMB_ASSIGN_OR_RETURN(bridge, OpenQemuBridge());
    return std::shared_ptr<hostcore::Backend>(std::move(bridge));
}

std::wstring Usage() {
    std::wstring where = L"%APPDATA%\\Ombrevale QEMU Bridge\\machines.txt";
    if (auto path = MachinesFileLocation(*hostcore::SystemFiles())) where = *path;
    const std::wstring machines =
        L"Машины перечислены в файле «" + where + L"», по строке на машину: «<имя> = <адрес QMP>».\r\n\r\n";
    return L"Мост QEMU для Ombrevale: сервер автоматизации, через который программа работает с дисководами "
           L"запущенных машин QEMU (по их мониторам QMP).\r\n\r\n" +
           machines +
           L"Регистрация для текущего пользователя (мост заменит сервер, который был зарегистрирован до него): "
           L"OmbrevaleQemuHost.exe /RegServer\r\n"
           L"Отмена регистрации (вернётся прежний сервер): OmbrevaleQemuHost.exe /UnregServer\r\n"
           L"Для всех пользователей компьютера (нужны права администратора) добавьте /AllUsers.";
}

}  // namespace
}  // namespace ombrevale::qemuhost

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    using namespace ombrevale;
    try {
        hostcore::ServerDescription server;
        server.name = L"Ombrevale QEMU Bridge";
        server.usage = qemuhost::Usage();
        server.openBackend = qemuhost::OpenBackend;
        server.registeredForThisUser = qemuhost::OfferMachinesFileTemplate;
        return hostcore::RunLocalServer(server, commandLine);
    } catch (...) {
        return 1;
    }
}

// OmbrevaleQemuHost.exe: the QEMU bridge as an automation server process, built as the demo
// server is. Registered, it answers Virtual PC's host class in the demo server's place, for
// the floppy drives of the running QEMU machines that its machines file lists.
#include <windows.h>
#include <shellapi.h>

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

// Whether the command line asks to register for the current user: the moment when the user
// is about to look for the machines file.
bool RegistersForThisUser(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine && *commandLine ? commandLine : L"x", &count);
    if (!arguments) return false;
    bool registers = false, allUsers = false;
    for (int i = 0; i < count; ++i) {
        const wchar_t* argument = arguments[i];
        if (argument[0] != L'/' && argument[0] != L'-') continue;
        registers = registers || lstrcmpiW(argument + 1, L"RegServer") == 0;
        allUsers = allUsers || lstrcmpiW(argument + 1, L"AllUsers") == 0;
    }
    LocalFree(arguments);
    return registers && !allUsers;
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
        const int code = hostcore::RunLocalServer(server, commandLine);
        if (code == 0 && qemuhost::RegistersForThisUser(commandLine)) qemuhost::OfferMachinesFileTemplate();
        return code;
    } catch (...) {
        return 1;
    }
}

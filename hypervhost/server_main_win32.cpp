// OmbrevaleHyperVHost.exe: the Hyper-V bridge as an automation server process, built as the
// other servers are. Registered, it answers Virtual PC's host class in their place, for the
// diskette drives of the Hyper-V machines of this computer and of the hosts its hosts file
// lists.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "hostcore/local_server_win32.h"
#include "hypervhost/system.h"

namespace ombrevale::hypervhost {
namespace {

Result<std::shared_ptr<hostcore::Backend>> OpenBackend() {
    OfferHostsFileTemplate();
    std::unique_ptr<HyperVBackend> bridge;
    OMB_ASSIGN_OR_RETURN(bridge, OpenHyperVBridge());
    return std::shared_ptr<hostcore::Backend>(std::move(bridge));
}

// Whether the command line asks to register for the current user: the moment when the user
// is about to look for the hosts file.
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
    std::wstring where = L"%APPDATA%\\Ombrevale Hyper-V Bridge\\hosts.txt";
    if (auto path = HostsFileLocation(*hostcore::SystemFiles())) where = *path;
    return L"Мост Hyper-V для Ombrevale: сервер автоматизации, через который программа работает с дисководами машин "
           L"Hyper-V поколения 1 на этом компьютере и на других хостах Hyper-V (Windows 8, Windows Server 2012 и "
           L"новее; нужна группа «Администраторы Hyper-V»).\r\n\r\n"
           L"Другие хосты перечислены в файле «" +
           where +
           L"», по имени хоста в строке.\r\n\r\n"
           L"Регистрация для текущего пользователя (мост заменит сервер, который был зарегистрирован до него): "
           L"OmbrevaleHyperVHost.exe /RegServer\r\n"
           L"Отмена регистрации (вернётся прежний сервер): OmbrevaleHyperVHost.exe /UnregServer\r\n"
           L"Для всех пользователей компьютера (нужны права администратора) добавьте /AllUsers.";
}

}  // namespace
}  // namespace ombrevale::hypervhost

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    using namespace ombrevale;
    try {
        hostcore::ServerDescription server;
        server.name = L"Ombrevale Hyper-V Bridge";
        server.usage = hypervhost::Usage();
        server.openBackend = hypervhost::OpenBackend;
        const int code = hostcore::RunLocalServer(server, commandLine);
        if (code == 0 && hypervhost::RegistersForThisUser(commandLine)) hypervhost::OfferHostsFileTemplate();
        return code;
    } catch (...) {
        return 1;
    }
}

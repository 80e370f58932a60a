// OmbrevaleHyperVHost.exe: the Hyper-V bridge as an automation server process, built as the
// other servers are. Registered, it answers Virtual PC's host class in their place, for the
// diskette drives of the Hyper-V machines of this computer and of the hosts its hosts file
// lists.
#include <windows.h>

#include <string>

#include "hostcore/local_server_win32.h"
#include "hostcore/texts.h"
#include "hypervhost/hosts_file.h"
#include "hypervhost/system.h"

namespace ombrevale::hypervhost {
namespace {

std::wstring Usage() {
    return L"Мост Hyper-V для Ombrevale: сервер автоматизации, через который программа работает с дисководами машин "
           L"Hyper-V поколения 1 на этом компьютере и на других хостах Hyper-V (Windows 8, Windows Server 2012 и "
           L"новее; нужна группа «Администраторы Hyper-V»).\r\n\r\n"
           L"Другие хосты перечислены в файле «" +
           hostcore::UserFileShown(kHostsFile) + L"», по имени хоста в строке.\r\n\r\n" +
           hostcore::ServerText::BridgeSwitches(L"OmbrevaleHyperVHost.exe");
}

hostcore::ServerDescription Server() {
    hostcore::ServerDescription server;
    server.name = L"Ombrevale Hyper-V Bridge";
    server.usage = Usage();
    server.openBackend = [] { return hostcore::SharedBackend(OpenHyperVBridge()); };
    server.userFile = &kHostsFile;
    server.userFileTemplate = HostsFileTemplate();
    return server;
}

}  // namespace
}  // namespace ombrevale::hypervhost

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    return ombrevale::hostcore::RunLocalServer(ombrevale::hypervhost::Server, commandLine);
}

// OmbrevaleQemuHost.exe: the QEMU bridge as an automation server process, built as the demo
// server is. Registered, it answers Virtual PC's host class in the demo server's place, for
// the floppy drives of the running QEMU machines that its machines file lists.
#include <windows.h>

#include <string>

#include "hostcore/local_server_win32.h"
#include "hostcore/texts.h"
#include "qemuhost/machines_file.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {
namespace {

std::wstring Usage() {
    return L"Мост QEMU для Ombrevale: сервер автоматизации, через который программа работает с дисководами "
           L"запущенных машин QEMU (по их мониторам QMP).\r\n\r\n"
           L"Машины перечислены в файле «" +
           hostcore::UserFileShown(kMachinesFile) + L"», по строке на машину: «<имя> = <адрес QMP>».\r\n\r\n" +
           hostcore::ServerText::BridgeSwitches(L"OmbrevaleQemuHost.exe");
}

hostcore::ServerDescription Server() {
    hostcore::ServerDescription server;
    server.name = L"Ombrevale QEMU Bridge";
    server.usage = Usage();
    server.openBackend = [] { return hostcore::SharedBackend(OpenQemuBridge()); };
    server.userFile = &kMachinesFile;
    server.userFileTemplate = MachinesFileTemplate();
    return server;
}

}  // namespace
}  // namespace ombrevale::qemuhost

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    return ombrevale::hostcore::RunLocalServer(ombrevale::qemuhost::Server, commandLine);
}

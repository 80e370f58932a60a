// OmbrevaleDemoHost.exe: the demo automation server, a process of its own as Virtual PC's
// server is, serving the machines of its inventory file to every client at once.
#include <windows.h>

#include "demohost/server_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    return ombrevale::hostcore::RunLocalServer(ombrevale::demohost::DemoServer, commandLine);
}

// Times the program from its start to a window that shows the first drive's state, through
// the server process: the figure that the start-up benchmark (scripts/bench-startup.sh)
// compares for a small and a large inventory.
//
// usage: startup_bench <inventory> <runs>      prints one time in milliseconds per run
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/e2e/program_driver_win32.h"

using namespace ombrevale::e2e;

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::wstring inventory = argv[1];
    const int runs = std::wcstol(argv[2], nullptr, 10);
    for (int run = 0; run < runs; ++run) {
        // Each run starts its own server, as the program's start does for a user.
        if (!EndProcessesOf(kServerProgram, 10s)) return 3;
        const auto start = Clock::now();
        auto program = Program::Start(inventory, ProgramFolder());
        if (!program || !program->WaitForMainWindow(120s)) return 4;
        if (WaitForStatus(*program, L"Отключено", 120s) != L"Отключено") return 5;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        std::printf("%lld\n", static_cast<long long>(elapsed.count()));
        std::fflush(stdout);
        ::PostMessageW(program->MainWindow(), WM_CLOSE, 0, 0);
        if (!program->WaitForExit(60s)) return 6;
    }
    return 0;
}

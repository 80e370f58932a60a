// Times the next-disk key: from F3 on the program's window to a status line that names
// the next disk, through the server process. The benchmark (scripts/bench-next-disk.sh)
// runs it on a set in a folder of 10,000 files and on the same set alone.
//
// usage: next_disk_bench <inventory> <presses>    prints one time in milliseconds per press
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/e2e/program_driver_win32.h"

using namespace ombrevale::e2e;

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const int presses = std::wcstol(argv[2], nullptr, 10);
    if (!EndProcessesOf(kServerProgram, 10s)) return 3;
    auto program = Program::Start(argv[1], ProgramFolder());
    if (!program || !program->WaitForMainWindow(120s)) return 4;
    const HWND status = program->Control(kTxtStatus);
    const std::wstring attached = L"Подключен образ: ";
    auto holdsImage = [&](const std::wstring& text) { return text.compare(0, attached.size(), attached) == 0; };
    if (!WaitFor([&] { return holdsImage(TextOf(status)); }, 120s) || !program->WaitUntilIdle()) return 5;

    for (int press = 0; press < presses; ++press) {
        const std::wstring before = TextOf(status);
        const auto start = Clock::now();
        PostKey(program->MainWindow(), VK_F3);
        // The refresh empties the line before it writes the new disk.
        std::wstring now;
        while ((now = TextOf(status)).empty() || now == before) {
            if (Clock::now() - start > 60s) return 6;
            ::Sleep(1);
        }
        const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start);
        if (!holdsImage(now)) return 7;
        std::printf("%.1f\n", elapsed.count());
        std::fflush(stdout);
        // A box would mean the swap failed.
        if (!program->WaitUntilIdle(100ms)) return 8;
    }
    ::PostMessageW(program->MainWindow(), WM_CLOSE, 0, 0);
    return program->WaitForExit(60s) ? 0 : 9;
}

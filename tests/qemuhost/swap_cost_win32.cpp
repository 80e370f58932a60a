// What swapping a floppy costs through the QEMU bridge, end to end: each step as the COM
// server would run it for a client, over a fresh QMP connection, with its read-back.
// Run by scripts/qemu-swap-cost.sh against a real QEMU: the first machine of the machines
// file, its first drive empty. Prints figures; it checks nothing about speed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "demohost/utf8.h"
#include "qemuhost/system.h"

using namespace ombrevale;
using namespace ombrevale::qemuhost;
using Stopwatch = std::chrono::steady_clock;

namespace {

struct Figures {
    const char* name;
    std::vector<double> ms;

    void Print() {
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double m : ms) sum += m;
        std::printf("%-34s median %6.2f ms   mean %6.2f ms   max %6.2f ms\n", name, ms[ms.size() / 2],
                    sum / static_cast<double>(ms.size()), ms.back());
    }
};

template <class Call>
bool Time(Figures& figures, Call call) {
    const auto start = Stopwatch::now();
    const bool ok = call();
    figures.ms.push_back(std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count());
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qemuhost_swap_cost IMAGE_A IMAGE_B [SWAPS]\n");
        return 2;
    }
    const std::wstring images[2] = {argv[1], argv[2]};
    const int swaps = argc > 3 ? std::max(1, _wtoi(argv[3])) : 50;
    auto bridge = OpenQemuBridge();
    if (!bridge) {
        std::fprintf(stderr, "%s\n", demohost::WideToUtf8(bridge.failure().description).c_str());
        return 1;
    }
    Figures attach{"attach image (with read-back)", {}};
    Figures state{"read the drive's state", {}};
    Figures eject{"release image (with read-back)", {}};
    Figures swap{"swap: release + attach + state", {}};
    for (int i = 0; i < swaps; ++i) {
        const std::wstring& image = images[i % 2];
        Status failed;
        const auto start = Stopwatch::now();
        const bool ok = (i == 0 || Time(eject, [&] { return (failed = (*bridge)->ReleaseImage(0, 0)).ok(); })) &&
                        Time(attach, [&] { return (failed = (*bridge)->AttachImage(0, 0, image)).ok(); }) &&
                        Time(state, [&] { return (*bridge)->Drive(0, 0)->imagePath == image; });
        if (!ok) {
            std::fprintf(stderr, "swap %d failed: %s\n", i,
                         failed ? "the drive does not show the image"
                                : demohost::WideToUtf8(failed.failure().description).c_str());
            return 1;
        }
        if (i > 0) swap.ms.push_back(std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count());
    }
    (void)(*bridge)->ReleaseImage(0, 0);
    std::printf("%d swaps through the QEMU bridge (a QMP connection per call):\n", swaps);
    for (Figures* f : {&attach, &state, &eject, &swap}) f->Print();
    return 0;
}

// Times how long the bridge takes to read a machines file, for scripts/bench-text-files.sh.
// Usage: qemuhost_machines_bench <machines file> [repeats]. Prints the machine count and the
// best time (runs that take over a second are not repeated).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "hostcore/utf8.h"
#include "qemuhost/machines_file.h"

using namespace ombrevale;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <machines file> [repeats]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof()) return 2;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 1;
    double best = -1;
    std::size_t machines = 0;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        auto parsed = qemuhost::ParseMachinesFile(text, L"machines.txt");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!parsed) {
            std::printf("failed: %s\n", hostcore::WideToUtf8(parsed.failure().description).c_str());
            return 1;
        }
        machines = parsed->size();
        if (best < 0 || took.count() < best) best = took.count();
        if (took.count() > 1.0) break;  // slow enough to be measured once
    }
    std::printf("%zu machines: %.3f s\n", machines, best);
    return 0;
}

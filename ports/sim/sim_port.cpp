// A simulated parallel port: exports Out32 as the real port library does, never
// touches hardware, and tells what the data lines did. With the environment
// variable PLOTTERTEST_PORT_LOG naming a file, every write is appended to it as
// "address value nanoseconds" (monotonic clock), one line per write.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#define PORT_EXPORT extern "C" __declspec(dllexport)
#define PORT_CALL __stdcall
#else
#define PORT_EXPORT extern "C" __attribute__((visibility("default")))
#define PORT_CALL
#endif

namespace {

struct SimulatedPort {
    long long writes = 0;
    unsigned level = 0;                // the data register as last written, D0..D7
    long long risingEdges[8] = {};     // per data line
    std::FILE* log = nullptr;
    bool logFailed = false;

    ~SimulatedPort() {
        if (log != nullptr) std::fclose(log);
        std::fprintf(stderr, "Simulierter Parallelport: %lld Schreibzugriffe.\n", writes);
        if (writes == 0) return;
        std::fprintf(stderr, "  Leitung  Pin  steigende Flanken  zuletzt\n");
        for (int line = 0; line < 8; ++line)
            std::fprintf(stderr, "  D%d       %-3d  %17lld  %d\n", line, line + 2, risingEdges[line],
                         (level >> line) & 1u);
    }
};

SimulatedPort port;

long long MonotonicNanoseconds() {
    // The same clock as the program's pause on Linux (CLOCK_MONOTONIC); the
    // performance counter on Windows.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Log(short address, short value) {
    if (port.log == nullptr && !port.logFailed) {
        const char* path = std::getenv("PLOTTERTEST_PORT_LOG");
        if (path == nullptr || *path == '\0') {
            port.logFailed = true;  // no log wanted
            return;
        }
        port.log = std::fopen(path, "a");
        if (port.log == nullptr) {
            port.logFailed = true;
            std::fprintf(stderr, "Simulierter Parallelport: Protokoll %s kann nicht geschrieben werden.\n", path);
            return;
        }
    }
    if (port.log != nullptr) std::fprintf(port.log, "%d %d %lld\n", address, value, MonotonicNanoseconds());
}

}  // namespace

PORT_EXPORT void PORT_CALL Out32(short address, short value) {
    if (port.writes == 0)
        std::fprintf(stderr,
                     "Simulierter Parallelport an Adresse %d (0x%X): es wird keine Hardware angesteuert.\n",
                     address, static_cast<unsigned>(static_cast<unsigned short>(address)));
    ++port.writes;
    const unsigned next = static_cast<unsigned>(value) & 0xFFu;
    for (int line = 0; line < 8; ++line)
        if ((next >> line & 1u) && !(port.level >> line & 1u)) ++port.risingEdges[line];
    port.level = next;
    Log(address, value);
}

// A port library for the tests, exporting what current builds of the real one
// do: Out32, and IsInpOutDriverOpen, which says whether the library's kernel
// driver is open. It answers 0 when PLOTTERTEST_DRIVER_OPEN is 0, else 1.
// Out32 appends "address value nanoseconds policy" to the file that
// PLOTTERTEST_PORT_LOG names: the policy is the scheduling policy the write
// ran under (SCHED_FIFO is 1), -1 on Windows. On Linux, with
// PLOTTERTEST_RUNAWAY_WRITE=N the N-th write runs away: it spins 150 ms of
// CPU time before it returns, past RLIMIT_RTTIME's soft limit under rtkit
// (half its RTTimeUSecMax of 200 ms) and short of the hard one.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port_library.h"
#if !defined(_WIN32)
#include <sched.h>
#include <time.h>
#endif

PORT_EXPORT int PORT_CALL IsInpOutDriverOpen() {
    const char* open = std::getenv("PLOTTERTEST_DRIVER_OPEN");
    return open != nullptr && std::strcmp(open, "0") == 0 ? 0 : 1;
}

#if !defined(_WIN32)
namespace {
long long Writes = 0;

void RunAwayAtItsWrite() {
    const char* at = std::getenv("PLOTTERTEST_RUNAWAY_WRITE");
    if (at == nullptr || std::strtoll(at, nullptr, 10) != ++Writes) return;
    const auto cpuMs = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
    };
    for (const double start = cpuMs(); cpuMs() - start < 150;) {
    }
}
}  // namespace
#endif

PORT_EXPORT void PORT_CALL Out32(short address, short value) {
#if !defined(_WIN32)
    RunAwayAtItsWrite();
#endif
    const long long ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
#if defined(_WIN32)
    const int policy = -1;
#else
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
#endif
    const char* path = std::getenv("PLOTTERTEST_PORT_LOG");
    if (path == nullptr) return;
    if (std::FILE* log = std::fopen(path, "a")) {
        std::fprintf(log, "%d %d %lld %d\n", address, value, ns, policy);
        std::fclose(log);
    }
}

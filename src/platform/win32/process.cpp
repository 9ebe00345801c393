// The clock, the drive's priority, and what a program without a console has of
// start-up, arguments and lines.

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace host {

double ClockMilliseconds() {
    // The performance counter is monotonic; at 10 MHz its count stays exact in a
    // double for 28 years of uptime.
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

namespace {
DWORD ClassBefore = 0;  // 0: unchanged
}  // namespace

void win32::RaisePriority() {
    // HIGH_PRIORITY_CLASS keeps the pause's last stretch on time beside a busy
    // desktop; never REALTIME_PRIORITY_CLASS, which would starve the system's
    // own input handling while the pause spins.
    const DWORD before = GetPriorityClass(GetCurrentProcess());
    if (before != 0 && before != HIGH_PRIORITY_CLASS && SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS))
        ClassBefore = before;
}

void win32::RestorePriority() {
    if (ClassBefore != 0) SetPriorityClass(GetCurrentProcess(), ClassBefore);
    ClassBefore = 0;
}

void StartUp() {}

// A GUI program: no arguments are read, and there is no console to write to.
std::vector<std::string> ProgramArguments(int, char**) { return {}; }

void ConsoleLine(Channel, const std::string&) {}

}  // namespace host

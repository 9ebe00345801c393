// The drive's start and end on Linux: the terminal's keys, the progress line,
// SIGTSTP and the scheduling priority; and the events and clock of its pauses.

#include <sys/resource.h>

#include <cerrno>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host {

namespace {

// The nice value the drive asks for. Measured with build/bench/step_timing
// beside two spinning processes at nice 0 on the 2-core build machine: at nice
// 0 (as an unprivileged user) the median pause was 15.022 ms, p99 19.0 ms, and
// 73 of 400 steps came over 1 ms late; at -10 (as root) the median was
// 15.000 ms and p99 15.01 to 15.05 ms, with at most two steps late. No
// real-time class: a spinning SCHED_FIFO thread is throttled by the kernel for
// 50 ms in every second.
constexpr int kDriveNice = -10;

int NiceBefore = 0;
bool NiceChanged = false;

// As far toward kDriveNice as this process may go: root or CAP_SYS_NICE go all
// the way; others within RLIMIT_NICE (which pam_limits can grant), else not at all.
void RaisePriority() {
    errno = 0;
    NiceBefore = getpriority(PRIO_PROCESS, 0);
    if (errno != 0 || NiceBefore <= kDriveNice) return;
    int target = kDriveNice;
    if (setpriority(PRIO_PROCESS, 0, target) != 0) {
        // RLIMIT_NICE's ceiling c allows nice values down to 20 - c.
        rlimit limit{};
        if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
        target = 20 - static_cast<int>(limit.rlim_cur);
        if (target >= NiceBefore || setpriority(PRIO_PROCESS, 0, target) != 0) return;
    }
    NiceChanged = true;
}

void RestorePriority() {
    // Raising the nice value again needs no right.
    if (NiceChanged) setpriority(PRIO_PROCESS, 0, NiceBefore);
    NiceChanged = false;
}

}  // namespace

double posix::MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

void BeginDrive(long long) {
    // Before the first port write: the port library is not loaded yet when it
    // learns whether the program shows progress.
    posix::DriveKeys = posix::KeyMode(0, false);
    posix::PrepareProgressLine(posix::DriveKeys);
    posix::CatchSuspendSignal(true);
    RaisePriority();
}

void EndDrive() {
    RestorePriority();
    posix::CatchSuspendSignal(false);
    posix::DriveKeys = false;
    posix::RestoreTerminal();
}

double ClockMilliseconds() { return posix::MonotonicMs(); }

int ProcessPendingEvents() {
    if (posix::DriveKeys) posix::ReadDriveKeys();
    return posix::StopSignal;
}

}  // namespace host

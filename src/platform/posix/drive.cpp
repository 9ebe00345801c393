// The drive's start and end on Linux: the terminal's keys, the progress line,
// SIGTSTP, the scheduling priority and the timer slack, each put back as it
// was; and the events, waits and clock of its pauses.

#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host {

namespace {

// The nice value the drive asks for. With build/bench/step_timing beside two
// CPU hogs, nice -10 took the steps over 1 ms late from 73 of 400 to at most
// 2 (the README's timing section has the runs). No real-time class: a
// spinning SCHED_FIFO thread is throttled by the kernel for 50 ms a second.
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

// The timer slack during the drive, in nanoseconds: the kernel may otherwise
// wake a sleeping thread up to 50 us late to batch its timers. Any user may
// set it for the own thread.
constexpr unsigned long kDriveTimerSlackNs = 1;
long SlackBefore = -1;  // -1: unchanged

// How long before the pause's end the wait gives way to spinning, in ms: how
// late a wake typically comes (a moving average, each wake counted at most
// kWakeLateCapMs late, so that one that found the core taken does not widen
// the spin for those after it), plus kWakeMarginMs, within
// kMinSpinMs..kMaxSpinMs. Idle, wakes come 0.15-0.25 ms late; with
// build/bench/step_timing beside two CPU hogs as nobody this gave 2-7 pauses
// over 16 ms a run, against 10-24 with a fixed 0.5 ms and 100 with the spin
// alone. The spin must end within the drive's scheduler slice, or the next
// tick hands the core to a hog.
constexpr double kMinSpinMs = 0.3;
constexpr double kMaxSpinMs = 1.0;
constexpr double kWakeMarginMs = 0.2;
constexpr double kWakeLateCapMs = 1.0;
constexpr double kWakeLateWeight = 1.0 / 16;  // of the newest wake in the average
double WakeLateMs = 0.2;

double SpinMs() { return std::clamp(WakeLateMs + kWakeMarginMs, kMinSpinMs, kMaxSpinMs); }

// The scheduler slice the drive asks for, in ns (Linux 6.12 and later; older
// kernels ignore it; any user may ask). Shorter than a CPU hog's 1.4 ms, a
// thread that wakes takes the core from the hog at once: beside two hogs, as
// nobody, 1-7 of 400 wakes came over 1 ms late instead of 36-71. Still longer
// than the spin after the wake, or the spin loses the core (0.1 ms let 40 of
// 400 spins wait 4 ms).
constexpr std::uint64_t kDriveSliceNs = 400'000;

// sched_attr of sched_getattr(2) and sched_setattr(2), which glibc does not wrap.
struct SchedulingAttributes {
    std::uint32_t size, policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime, deadline, period;
};
SchedulingAttributes SchedulingBefore{};
bool SliceChanged = false;

bool SetScheduling(SchedulingAttributes attributes) {
    attributes.size = sizeof attributes;
    return syscall(SYS_sched_setattr, 0, &attributes, 0) == 0;
}

// SCHED_OTHER at the nice value the drive runs with, and the short slice.
bool SetDriveSlice() {
    SchedulingAttributes attributes{};
    attributes.policy = SCHED_OTHER;
    errno = 0;
    attributes.nice = getpriority(PRIO_PROCESS, 0);
    attributes.runtime = kDriveSliceNs;
    return errno == 0 && SetScheduling(attributes);
}

// Started in a real-time class (chrt -f, chrt -r), the program already has
// more than the drive would ask for; switching to SCHED_OTHER would take it away.
bool InRealTimeClass() {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
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
    if (!InRealTimeClass()) {
        // Read before the nice value changes, so that EndDrive puts back
        // exactly what was there: policy, nice value and slice.
        const bool saved = syscall(SYS_sched_getattr, 0, &SchedulingBefore, sizeof SchedulingBefore, 0) == 0;
        RaisePriority();
        SliceChanged = saved && SetDriveSlice();
    }
    const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (slack > 0 && prctl(PR_SET_TIMERSLACK, kDriveTimerSlackNs, 0, 0, 0) == 0) SlackBefore = slack;
}

void EndDrive() {
    if (SlackBefore > 0) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(SlackBefore), 0, 0, 0);
    SlackBefore = -1;
    if (SliceChanged) SetScheduling(SchedulingBefore);
    SliceChanged = false;
    RestorePriority();
    posix::CatchSuspendSignal(false);
    posix::DriveKeys = false;
    posix::RestoreTerminal();
}

double ClockMilliseconds() { return posix::MonotonicMs(); }

bool WaitForEvents(double deadlineMs) {
    const double wakeMs = deadlineMs - SpinMs();
    const double now = posix::MonotonicMs();
    if (now >= wakeMs) return false;
    // The stop signals stay blocked from the look at StopSignal until ppoll
    // unblocks them atomically: one that comes in between is delivered inside
    // ppoll and ends the wait at once, instead of after the pause.
    const sigset_t stops = posix::StopSignalSet();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &stops, &before);
    if (posix::StopSignal == 0) {
        const double waitMs = wakeMs - now;
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(waitMs / 1000.0);
        timeout.tv_nsec = static_cast<long>((waitMs - static_cast<double>(timeout.tv_sec) * 1000.0) * 1e6);
        // ppoll, also without a terminal to watch, rather than clock_nanosleep:
        // only ppoll can take the signal mask with it into the wait.
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ppoll(posix::DriveKeys ? &input : nullptr, posix::DriveKeys ? 1 : 0, &timeout, &before);
        if (ready > 0) {
            posix::KeysArrived();
        } else if (ready == 0) {
            const double lateMs = std::clamp(posix::MonotonicMs() - wakeMs, 0.0, kWakeLateCapMs);
            WakeLateMs += (lateMs - WakeLateMs) * kWakeLateWeight;
        }
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return true;
}

int ProcessPendingEvents() {
    if (posix::DriveKeys) posix::ReadDriveKeys();
    return posix::StopSignal;
}

}  // namespace host

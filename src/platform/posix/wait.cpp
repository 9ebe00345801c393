// The pause's waits on Linux: ppoll, woken early by a key at the terminal or a
// stop signal, and the timer slack of the drive.

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host {

namespace {
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

}  // namespace

void posix::OpenWaitTimer() {
    const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (slack > 0 && prctl(PR_SET_TIMERSLACK, kDriveTimerSlackNs, 0, 0, 0) == 0) SlackBefore = slack;
}

void posix::CloseWaitTimer() {
    if (SlackBefore > 0) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(SlackBefore), 0, 0, 0);
    SlackBefore = -1;
}

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

// The clock and the drive's scheduling on Linux: SCHED_RR where the program
// may set it itself, else a lower nice value and a short scheduler slice,
// else SCHED_RR from rtkit, the desktop's broker for it; each put back as it was.

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host {

namespace {

// kDriveNice: with build/bench/step_timing beside two CPU hogs, nice -10 took
// the steps over 1 ms late from 73 of 400 to at most 2 (doc/timing.md has
// the runs).

// The scheduler slice the drive asks for, in ns (Linux 6.12 and later; older
// kernels ignore it; any user may ask). Shorter than a CPU hog's 1.4 ms, a
// thread that wakes takes the core from the hog at once: beside two hogs, as
// nobody, 1-7 of 400 wakes came over 1 ms late instead of 36-71. Still longer
// than the spin after the wake, or the spin loses the core (0.1 ms let 40 of
// 400 spins wait 4 ms).
constexpr std::uint64_t kDriveSliceNs = 400'000;

// kDriveRealTimePriority, the SCHED_RR priority the drive takes itself or asks
// of rtkit (at most its MaxRealtimePriority, 20 by default): as nobody beside two CPU hogs, SCHED_RR
// 10 from rtkit brought the pauses over 16 ms from 28-81 of 399 to 0-2; as
// root, SCHED_RR 10 instead of nice -10 from 1-6 to 0-1. Modest, so that the
// kernel's own real-time threads (priority 50 and up) still come first.
constexpr auto kRealTimePriority = static_cast<std::uint32_t>(kDriveRealTimePriority);

// The real-time CPU time without blocking that the drive allows itself, in us
// (RLIMIT_RTTIME's soft limit, at which the kernel sends SIGXCPU and so ends a
// spin that runs away): rtkit's default RTTimeUSecMax. The drive blocks in
// every pause, after at most a few ms.
constexpr rlim_t kRealTimeCpuUs = 200'000;

// How long rtkit may take to answer, in us: the drive waits for it before its
// first write, and a desktop's rtkit answers in milliseconds.
constexpr std::uint64_t kRtkitTimeoutUs = 1'000'000;

// sched_attr of sched_getattr(2) and sched_setattr(2), which glibc does not wrap.
struct SchedulingAttributes {
    std::uint32_t size, policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime, deadline, period;
};
constexpr std::uint64_t kResetOnFork = 0x01;  // SCHED_FLAG_RESET_ON_FORK

bool Saved = false;             // SchedulingBefore holds what BeginDrive found
SchedulingAttributes SchedulingBefore{};
bool SchedulingChanged = false;  // the slice, or a real-time class
int NiceBefore = 0;
bool NiceChanged = false;
bool RealTimeTimeChanged = false;  // RLIMIT_RTTIME, lowered for a real-time class
rlimit RealTimeTimeBefore{};

bool ReadScheduling(SchedulingAttributes& attributes) {
    return syscall(SYS_sched_getattr, 0, &attributes, sizeof attributes, 0) == 0;
}

bool SetScheduling(SchedulingAttributes attributes) {
    attributes.size = sizeof attributes;
    if (syscall(SYS_sched_setattr, 0, &attributes, 0) == 0) return true;
    // Only a privileged process may clear SCHED_RESET_ON_FORK once it is set;
    // keeping it costs nothing, as the program starts no other program.
    if (errno != EPERM || (sched_getscheduler(0) & SCHED_RESET_ON_FORK) == 0 || (attributes.flags & kResetOnFork) != 0)
        return false;
    attributes.flags |= kResetOnFork;
    return syscall(SYS_sched_setattr, 0, &attributes, 0) == 0;
}

// Lowers RLIMIT_RTTIME's soft limit to at most `softUs` and its hard one to
// at most `hardUs`, keeping what was there before the first change.
void LowerRealTimeTime(rlim_t softUs, rlim_t hardUs = RLIM_INFINITY) {
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return;
    if (!RealTimeTimeChanged) RealTimeTimeBefore = limit;
    limit.rlim_max = std::min(limit.rlim_max, hardUs);
    limit.rlim_cur = std::min({limit.rlim_cur, softUs, limit.rlim_max});
    if (setrlimit(RLIMIT_RTTIME, &limit) == 0) RealTimeTimeChanged = true;
}

// RLIMIT_RTTIME as it was. Without CAP_SYS_RESOURCE a lowered hard limit
// stays: then at least the soft one as it was, as far as it goes.
void RestoreRealTimeTime() {
    if (RealTimeTimeChanged && setrlimit(RLIMIT_RTTIME, &RealTimeTimeBefore) != 0) {
        rlimit now{};
        getrlimit(RLIMIT_RTTIME, &now);
        now.rlim_cur = std::min(RealTimeTimeBefore.rlim_cur, now.rlim_max);
        setrlimit(RLIMIT_RTTIME, &now);
    }
    RealTimeTimeChanged = false;
}

// SCHED_RR where this process may set it itself: as root, with CAP_SYS_NICE,
// or within RLIMIT_RTPRIO. The soft RLIMIT_RTTIME comes first, so that no
// moment runs unguarded; only the soft one, which the process may always
// raise again, so that it is put back exactly for every user.
bool TakeRealTime() {
    LowerRealTimeTime(kRealTimeCpuUs);
    SchedulingAttributes attributes{};
    attributes.policy = SCHED_RR;
    attributes.flags = kResetOnFork;
    attributes.priority = kRealTimePriority;
    if (SetScheduling(attributes)) return true;
    // RLIMIT_RTPRIO may allow a real-time class below the drive's priority.
    rlimit allowed{};
    if (errno == EPERM && getrlimit(RLIMIT_RTPRIO, &allowed) == 0 && allowed.rlim_cur >= 1 &&
        allowed.rlim_cur < kRealTimePriority) {
        attributes.priority = static_cast<std::uint32_t>(allowed.rlim_cur);
        if (SetScheduling(attributes)) return true;
    }
    RestoreRealTimeTime();
    return false;
}

// Started in a real-time class (chrt -f, chrt -r), the program already has
// more than the drive would ask for; switching to SCHED_OTHER would take it away.
bool InRealTimeClass() {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

// As far toward kDriveNice as this process may go: root or CAP_SYS_NICE go all
// the way; others within RLIMIT_NICE (which pam_limits can grant), else not at all.
// False when it could not be lowered at all.
bool LowerNice() {
    errno = 0;
    NiceBefore = getpriority(PRIO_PROCESS, 0);
    if (errno != 0 || NiceBefore <= kDriveNice) return true;
    int target = kDriveNice;
    if (setpriority(PRIO_PROCESS, 0, target) != 0) {
        // RLIMIT_NICE's ceiling c allows nice values down to 20 - c.
        rlimit limit{};
        if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
        target = 20 - static_cast<int>(limit.rlim_cur);
        if (target >= NiceBefore || setpriority(PRIO_PROCESS, 0, target) != 0) return false;
    }
    NiceChanged = true;
    return true;
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

// Back to the scheduling read before the drive. Since Linux 6.12 sched_getattr
// reports the base slice of a thread that never asked for one, and writing that
// value back would make it the thread's own: a runtime of 0 restores the base
// slice, and only a slice that differs from it was the thread's own.
void RestoreScheduling() {
    SchedulingAttributes back = SchedulingBefore;
    back.runtime = 0;
    if (!SetScheduling(back) || SchedulingBefore.runtime == 0) return;
    SchedulingAttributes now{};
    if (ReadScheduling(now) && now.runtime != SchedulingBefore.runtime) SetScheduling(SchedulingBefore);
}

std::string BusError(int result, const sd_bus_error& error) {
    if (sd_bus_error_is_set(&error) && error.message != nullptr) return error.message;
    return std::strerror(-result);
}

// Asks rtkit on the system bus for SCHED_RR for this thread. Returns "" when
// granted, else why not, in a few words.
std::string AskRtkit() {
    constexpr const char* kService = "org.freedesktop.RealtimeKit1";
    constexpr const char* kObject = "/org/freedesktop/RealtimeKit1";
    sd_bus* bus = nullptr;
    int result = sd_bus_open_system(&bus);
    if (result < 0) return std::string("kein Systembus (") + std::strerror(-result) + ")";
    sd_bus_set_method_call_timeout(bus, kRtkitTimeoutUs);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::int64_t realTimeMaxUs = 0;
    std::int32_t maxPriority = 0;
    std::string refused;
    result = sd_bus_get_property_trivial(bus, kService, kObject, kService, "RTTimeUSecMax", &error, 'x',
                                         &realTimeMaxUs);
    if (result >= 0)
        result = sd_bus_get_property_trivial(bus, kService, kObject, kService, "MaxRealtimePriority", &error, 'i',
                                             &maxPriority);
    if (result < 0) {
        refused = "rtkit antwortet nicht (" + BusError(result, error) + ")";
    } else if (maxPriority < 1 || realTimeMaxUs < 1) {
        refused = "rtkit vergibt keine Echtzeit";
    } else {
        // rtkit serves only a process that a runaway real-time thread cannot
        // hang: its CPU time without blocking is limited, by the hard limit,
        // which rtkit reads. The kernel sends SIGKILL at the hard limit, which
        // it tests first, and SIGXCPU at the soft one: half of it, so that a
        // runaway gets SIGXCPU, which stops the drive with every line off,
        // long before SIGKILL, which would leave its last pattern on. The
        // drive blocks in every pause, far below either.
        const auto hardUs = static_cast<rlim_t>(realTimeMaxUs);
        LowerRealTimeTime(std::min(kRealTimeCpuUs, hardUs / 2), hardUs);
        const auto priority = std::min<std::uint32_t>(kRealTimePriority, static_cast<std::uint32_t>(maxPriority));
        result = sd_bus_call_method(bus, kService, kObject, kService, "MakeThreadRealtimeWithPID", &error, nullptr,
                                    "ttu", static_cast<std::uint64_t>(getpid()),
                                    static_cast<std::uint64_t>(syscall(SYS_gettid)), priority);
        if (result < 0) refused = BusError(result, error);
    }
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return refused;
}

}  // namespace

std::string posix::RealTimeRefused;

double posix::MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

double ClockMilliseconds() { return posix::MonotonicMs(); }

void posix::RaisePriority() {
    RealTimeRefused.clear();
    if (InRealTimeClass()) return;
    // Read before anything changes, so that RestorePriority puts back exactly
    // what was there: policy, nice value and slice.
    Saved = ReadScheduling(SchedulingBefore);
    if (Saved && TakeRealTime()) {
        SchedulingChanged = true;
        return;
    }
    if (!LowerNice()) {
        // An ordinary user at a desktop: the nice value cannot be lowered, but
        // rtkit hands out SCHED_RR. Refused, the drive runs as before.
        RealTimeRefused = Saved ? AskRtkit() : "Planungsdaten nicht lesbar";
        SchedulingChanged = RealTimeRefused.empty();
        if (SchedulingChanged) return;
    }
    SchedulingChanged = Saved && SetDriveSlice();
}

void posix::RestorePriority() {
    if (SchedulingChanged) RestoreScheduling();
    SchedulingChanged = false;
    // Raising the nice value again needs no right.
    if (NiceChanged) setpriority(PRIO_PROCESS, 0, NiceBefore);
    NiceChanged = false;
    RestoreRealTimeTime();
}

}  // namespace host

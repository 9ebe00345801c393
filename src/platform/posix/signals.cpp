// Signals: every one whose default would end or suspend the program with a
// line on, and what the program makes of it instead. The handlers only record
// a stop; the boxes and the drive act on it at their next safe point.

#include <csignal>
#include <cstdint>
#include <iterator>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host::posix {

volatile std::sig_atomic_t StopSignal = 0;

namespace {

enum class Meaning : std::uint8_t {
    Stop,               // from the start: a stop, the status 128 + the signal
    Ignored,            // from the start: nothing; what it would report fails on its own
    StopDuringDrive,    // during the drive a stop, else as the program found it
    IgnoredDuringDrive  // during the drive nothing, else as the program found it
};

// The one list. Faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS,
// SIGTRAP) keep their default: after one, no step can be trusted. SIGKILL and
// SIGSTOP cannot be caught; the real-time signals SIGRTMIN to SIGRTMAX are
// stops as well (StopsByNumber).
const struct {
    int signal;
    Meaning meaning;
} kSignals[] = {
    {SIGINT, Meaning::Stop},    // Ctrl+C at a box, or sent
    {SIGTERM, Meaning::Stop},   // kill, systemd, a shutdown
    {SIGHUP, Meaning::Stop},    // the terminal window closed, the ssh link gone
    {SIGQUIT, Meaning::Stop},   // Ctrl+\ at a box; its default would also dump core
    // RLIMIT_RTTIME's soft limit, which the drive lowers against a runaway
    // real-time spin, or RLIMIT_CPU; the hard limit's SIGKILL stays the backstop.
    {SIGXCPU, Meaning::Stop},
    {SIGALRM, Meaning::Stop},    // the program sets no timer: someone sent it
    {SIGVTALRM, Meaning::Stop},
    {SIGPROF, Meaning::Stop},
    {SIGUSR1, Meaning::Stop},
    {SIGUSR2, Meaning::Stop},
    {SIGPWR, Meaning::Stop},     // a power failure, from a UPS daemon
    {SIGIO, Meaning::Stop},      // also SIGPOLL; the program asks for none
    {SIGSTKFLT, Meaning::Stop},
    // Output that cannot be written (a closed pipe, a file at RLIMIT_FSIZE):
    // the write fails, and the drive goes on to switch off as it would.
    {SIGPIPE, Meaning::Ignored},
    {SIGXFSZ, Meaning::Ignored},
    {SIGTSTP, Meaning::StopDuringDrive},  // Ctrl+Z, or sent: suspended, the drive would hold its pattern
    // A read of the keys or a progress line from the background (stty tostop):
    // the read or write fails instead of suspending the drive.
    {SIGTTIN, Meaning::IgnoredDuringDrive},
    {SIGTTOU, Meaning::IgnoredDuringDrive},
};

extern "C" void OnStopSignal(int signal) { RecordStopSignal(signal); }

void Set(int signal, void (*handler)(int), struct sigaction* before = nullptr) {
    struct sigaction action{};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a box's blocking wait returns with EINTR.
    sigaction(signal, &action, before);
}

// Each signal the program stops on: the list's and the real-time ones.
template <typename Each>
void StopsByNumber(bool duringDrive, Each each) {
    for (const auto& entry : kSignals)
        if (entry.meaning == Meaning::Stop || (duringDrive && entry.meaning == Meaning::StopDuringDrive))
            each(entry.signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) each(signal);
}

// What the program found for the drive's signals, however it was started (a
// shell may start it with SIGTSTP ignored), to be put back after the drive.
struct sigaction Found[sizeof kSignals / sizeof kSignals[0]];

}  // namespace

void RecordStopSignal(int signal) {
    // A second signal must not replace the first: the status names what stopped the drive.
    if (StopSignal == 0) StopSignal = signal;
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    StopsByNumber(true, [&](int signal) { sigaddset(&set, signal); });
    return set;
}

void CatchDriveSignals(bool catchIt) {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        const Meaning meaning = kSignals[i].meaning;
        if (meaning != Meaning::StopDuringDrive && meaning != Meaning::IgnoredDuringDrive) continue;
        if (catchIt)
            Set(kSignals[i].signal, meaning == Meaning::StopDuringDrive ? OnStopSignal : SIG_IGN, &Found[i]);
        else
            sigaction(kSignals[i].signal, &Found[i], nullptr);
    }
}

}  // namespace host::posix

namespace host {

void StartUp() {
    posix::StopsByNumber(false, [](int signal) { posix::Set(signal, posix::OnStopSignal); });
    for (const auto& entry : posix::kSignals)
        if (entry.meaning == posix::Meaning::Ignored) posix::Set(entry.signal, SIG_IGN);
}

}  // namespace host

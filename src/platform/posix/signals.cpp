// Stop signals: recorded by the handlers, acted on by the boxes and the drive.

#include <csignal>
#include <initializer_list>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host::posix {

volatile std::sig_atomic_t StopSignal = 0;

namespace {
extern "C" void OnStopSignal(int signal) { RecordStopSignal(signal); }

void Handle(int signal, struct sigaction* before = nullptr) {
    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a box's blocking wait returns with EINTR.
    sigaction(signal, &action, before);
}

}  // namespace

void RecordStopSignal(int signal) {
    // A second signal must not replace the first: the status names what stopped the drive.
    if (StopSignal == 0) StopSignal = signal;
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP}) sigaddset(&set, signal);
    return set;
}

void CatchSuspendSignal(bool catchIt) {
    // What the program found, however it was started (a shell may start it with SIGTSTP ignored).
    static struct sigaction tstpBefore {}, ttouBefore {};
    if (catchIt) {
        Handle(SIGTSTP, &tstpBefore);
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGTTOU, &ignore, &ttouBefore);
    } else {
        sigaction(SIGTSTP, &tstpBefore, nullptr);
        sigaction(SIGTTOU, &ttouBefore, nullptr);
    }
}

}  // namespace host::posix

namespace host {

void StartUp() {
    // SIGQUIT too: its default would leave the last pattern on.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) posix::Handle(signal);
}

}  // namespace host

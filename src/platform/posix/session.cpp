// The drive's session on Linux: what the drive takes of the system from
// BeginDrive, in the order of this list, and what EndDrive gives back, in the
// reverse order. EndDrive gives back exactly what BeginDrive took, so however
// the drive ends (done, stopped, failed, or failed halfway through its start),
// the system is left as it was found. The port is not in the list: the ppdev
// library claims it at its first call and releases it when the process ends,
// and the drive itself switches every line off before EndDrive.

#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host {

namespace {

enum Held : std::uint8_t {
    kKeys,             // the terminal in key mode without signals, read and emptied during the drive
    kProgressLine,     // whether the drive shows a progress line, decided before the port library loads
    kDriveSignals,     // SIGTSTP a stop, SIGTTIN and SIGTTOU ignored
    kScheduling,       // the real-time class, or nice value and slice; RLIMIT_RTTIME
    kTimerSlack,       // 1 ns, so that a wait ends when asked
    kHeldCount
};

int Taken = 0;  // the first so many of the list are held

void Take(int held) {
    switch (held) {
    case kKeys: posix::DriveKeys = posix::KeyMode(0, false); break;
    case kProgressLine: posix::PrepareProgressLine(posix::DriveKeys); break;
    case kDriveSignals: posix::CatchDriveSignals(true); break;
    case kScheduling: posix::RaisePriority(); break;
    case kTimerSlack: posix::OpenWaitTimer(); break;
    default: break;
    }
}

void GiveBack(int held) {
    switch (held) {
    case kKeys:
        posix::DriveKeys = false;
        posix::RestoreTerminal();
        break;
    case kProgressLine: break;  // the line itself gives way to the next console line
    case kDriveSignals: posix::CatchDriveSignals(false); break;
    case kScheduling: posix::RestorePriority(); break;
    case kTimerSlack: posix::CloseWaitTimer(); break;
    default: break;
    }
}

}  // namespace

void BeginDrive(long long) {
    for (; Taken < kHeldCount; ++Taken) Take(Taken);
}

void EndDrive() {
    while (Taken > 0) GiveBack(--Taken);
}

}  // namespace host

// What a drive takes of Linux, in the order BeginDrive takes it
// (platform/session.cpp). The port is not in the list: the ppdev library
// claims it at its first call and releases it when the process ends.

#include <cstdint>

#include "platform/posix/posix.h"
#include "platform/session.h"

namespace host {

namespace {

enum Held : std::uint8_t {
    kKeys,             // the terminal in key mode without signals, read and emptied during the drive
    kProgressLine,     // whether the drive shows a progress line, decided before the port library loads
    kDriveSignals,     // SIGTSTP a stop, SIGTTIN and SIGTTOU ignored
    kScheduling,       // the real-time class, or nice value and slice; RLIMIT_RTTIME
    kTimerSlack,       // 1 ns, so that a wait ends when asked
    kCount
};

}  // namespace

const int kHeldCount = kCount;

void Take(int held, long long /*totalSteps*/) {
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

}  // namespace host

// The drive's session on Windows: what the drive takes of the system from
// BeginDrive, in the order of this list, and what EndDrive gives back, in the
// reverse order. EndDrive gives back exactly what BeginDrive took, so however
// the drive ends (done, stopped, failed, or failed halfway through its start),
// the system is left as it was found; the drive itself switches every line off
// before EndDrive.

#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace host {

namespace {

enum Held : std::uint8_t {
    kWindowPhase,  // "Testfahrt läuft": the progress, „Anhalten“, the stop keys, the end of the session
    kPriority,     // HIGH_PRIORITY_CLASS
    kWaitTimer,    // the pause's timer, with the timer period at 1 ms where it has no high resolution
    kPort,         // the port's mutex, taken at the first write (port.cpp); nothing before that
    kHeldCount
};

int Taken = 0;  // the first so many of the list are held

void Take(int held, long long totalSteps) {
    switch (held) {
    case kWindowPhase: win32::EnterDrivePhase(totalSteps); break;
    case kPriority: win32::RaisePriority(); break;
    case kWaitTimer: win32::OpenWaitTimer(); break;
    default: break;  // kPort: with the first write
    }
}

void GiveBack(int held) {
    switch (held) {
    case kWindowPhase: win32::LeaveDrivePhase(); break;
    case kPriority: win32::RestorePriority(); break;
    case kWaitTimer: win32::CloseWaitTimer(); break;
    case kPort: win32::ReleasePort(); break;
    default: break;
    }
}

}  // namespace

void BeginDrive(long long totalSteps) {
    for (; Taken < kHeldCount; ++Taken) Take(Taken, totalSteps);
}

void EndDrive() {
    while (Taken > 0) GiveBack(--Taken);
}

}  // namespace host

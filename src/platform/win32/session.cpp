// What a drive takes of Windows, in the order BeginDrive takes it
// (platform/session.cpp).

#include <cstdint>

#include "platform/session.h"
#include "platform/win32/win32.h"

namespace host {

namespace {

enum Held : std::uint8_t {
    kWindowPhase,  // "Testfahrt läuft": the progress, „Anhalten“, the stop keys, the end of the session
    kPriority,     // HIGH_PRIORITY_CLASS
    kWaitTimer,    // the pause's timer, with the timer period at 1 ms where it has no high resolution
    kPort,         // the port's mutex, taken at the first write (port.cpp); nothing before that
    kCount
};

}  // namespace

const int kHeldCount = kCount;

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

}  // namespace host

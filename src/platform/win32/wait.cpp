// The pause's waits on Windows: a high-resolution waitable timer, woken early
// by any message for the program, so that a key or a click in the drive
// window is answered at once.

#include <cmath>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32.h"  // windows.h, which timeapi.h needs first

#include <timeapi.h>

namespace host {

namespace {

// Windows 10 1803 and later; older headers do not name it.
constexpr DWORD kHighResolutionTimer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr DWORD kTimerAllAccess = 0x1F0003;         // TIMER_ALL_ACCESS

// How long before the pause's end the wait gives way to spinning, in ms.
// Chosen with bench/wine_step_timing.sh under wine64: 2 ms kept the median
// and p99 of spinning alone (15.03 and 15.1 ms) at 11-12% of a core instead
// of 66-75%; doc/timing.md has the runs.
constexpr double kSpinMs = 2.0;

HANDLE WaitTimer = nullptr;
bool PeriodRaised = false;  // timeBeginPeriod(1) stands for a timer without high resolution

using SetProcessInformationFunction = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
using CreateWaitableTimerExFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);

// Windows 11 lets a process whose window is covered have coarse timers unless
// it opts out; Windows 7 and Wine lack the call, which is looked up therefore.
void KeepTimerResolution(bool keep) {
    const auto set = win32::SystemFunction<SetProcessInformationFunction>(L"kernel32.dll", "SetProcessInformation");
    if (set == nullptr) return;
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = keep ? PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION : 0;  // 0: as the system decides
    state.StateMask = 0;
    set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

}  // namespace

void win32::OpenWaitTimer() {
    // CreateWaitableTimerExW: Vista and later; the high resolution: Windows 10 1803 and later.
    if (const auto create = win32::SystemFunction<CreateWaitableTimerExFunction>(L"kernel32.dll", "CreateWaitableTimerExW")) {
        WaitTimer = create(nullptr, nullptr, kHighResolutionTimer, kTimerAllAccess);
        if (WaitTimer != nullptr) {
            KeepTimerResolution(true);
            return;
        }
    }
    OpenPlainWaitTimer();
}

void win32::OpenPlainWaitTimer() {
    // A plain timer ticks every 15.6 ms unless the period is raised for the drive.
    WaitTimer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    PeriodRaised = WaitTimer != nullptr && timeBeginPeriod(1) == TIMERR_NOERROR;
    KeepTimerResolution(true);
}

void win32::CloseWaitTimer() {
    KeepTimerResolution(false);
    if (PeriodRaised) timeEndPeriod(1);
    PeriodRaised = false;
    if (WaitTimer != nullptr) CloseHandle(WaitTimer);
    WaitTimer = nullptr;
}

bool WaitForEvents(double deadlineMs) {
    const double waitMs = deadlineMs - kSpinMs - ClockMilliseconds();
    // Without a timer the pause spins as it always could.
    if (waitMs <= 0 || WaitTimer == nullptr) return false;
    LARGE_INTEGER due;
    due.QuadPart = -std::llround(waitMs * 10'000);  // relative, in units of 100 ns
    if (!SetWaitableTimer(WaitTimer, &due, 0, nullptr, nullptr, FALSE)) return false;
    // MWMO_INPUTAVAILABLE: a message that came before the wait, and was only
    // looked at, still ends it.
    MsgWaitForMultipleObjectsEx(1, &WaitTimer, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return true;
}

}  // namespace host

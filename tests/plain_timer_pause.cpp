// The pause on the path of Windows without a high-resolution timer (XP to
// Windows 10 1709): a plain waitable timer, with the system's timer period
// raised to 1 ms. 399 pauses of StepPauseMs, as many as a drive of 100 steps a
// side has, each measured on the host's clock from the call to its return.
// Fails on any pause under StepPauseMs, or a median more than 0.05 ms from it.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "drive/drive.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

int main() {
    host::win32::OpenPlainWaitTimer();
    std::vector<double> pauses;
    for (int pause = 0; pause < 399; ++pause) {
        const double start = host::ClockMilliseconds();
        Pause(StepPauseMs);
        pauses.push_back(host::ClockMilliseconds() - start);
    }
    host::win32::CloseWaitTimer();

    std::sort(pauses.begin(), pauses.end());
    const double median = pauses[pauses.size() / 2];
    const auto over = std::count_if(pauses.begin(), pauses.end(), [](double ms) { return ms > StepPauseMs + 1; });
    std::printf("Pause mit einfachem Zeitgeber (399 gemessen): min %.3f ms, Median %.3f ms, p99 %.3f ms, "
                "max %.3f ms, über %d ms: %ld\n",
                pauses.front(), median, pauses[pauses.size() * 99 / 100], pauses.back(), StepPauseMs + 1,
                static_cast<long>(over));
    const bool ok = pauses.front() >= StepPauseMs && std::fabs(median - StepPauseMs) <= 0.05;
    if (!ok) std::printf("FEHLER: eine Pause unter %d ms, oder der Median weiter als 0,05 ms davon\n", StepPauseMs);
    return ok ? 0 : 1;
}

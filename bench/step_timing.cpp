// Step timing, measured: runs the built program on the simulated port with 100
// steps a side, confirms, and reads the port's write log (monotonic
// nanoseconds, taken inside Out32). The pause before a pulse is measured from
// the last write of the previous pulse to the first write of this one, so it
// holds the 15 ms pause plus the time of one event pass and one clock reading.
//
// Fails (exit status 1) on a pause under 15 ms, or a median more than 1% above
// it: a shared machine may stretch single pauses, never shorten them.

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

double CpuSeconds(const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; }

double Quantile(const std::vector<double>& sorted, double q) {
    const auto index = static_cast<std::size_t>(std::llround(q * double(sorted.size() - 1)));
    return sorted[std::min(sorted.size() - 1, index)];
}

}  // namespace

int main() {
    constexpr int kSteps = 100;
    constexpr double kPauseMs = 15.0;
    ScratchDirectory dir;
    std::filesystem::copy_file(PLOTTERTEST_PROGRAM, dir / "plottertest");
    std::filesystem::copy_file(PLOTTERTEST_SIM_PORT, dir / "libinpout32.so");
    std::vector<std::string> lines = SampleLines();
    lines[23] = std::to_string(kSteps);
    WriteLines(dir / "Pinbelegung.txt", lines);

    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const std::string command = "cd '" + dir.path() + "' && echo | PLOTTERTEST_PORT_LOG=log PLOTTERTEST_PORT_VCD=trace.vcd " +
                                "./plottertest > /dev/null 2>&1";
    const int raw = std::system(command.c_str());
    getrusage(RUSAGE_CHILDREN, &after);
    if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) {
        std::fprintf(stderr, "step_timing: the program failed (%d)\n", raw);
        return 2;
    }

    const std::vector<PortWrite> writes = ReadPortLog(dir / "log");
    const std::size_t expectedWrites = 8 * kSteps + 1;
    if (writes.size() != expectedWrites) {
        std::fprintf(stderr, "step_timing: %zu writes, expected %zu\n", writes.size(), expectedWrites);
        return 2;
    }
    std::vector<double> pauses;  // ms before pulses 2 .. 400
    for (std::size_t i = 2; i + 1 < writes.size(); i += 2) pauses.push_back(double(writes[i].ns - writes[i - 1].ns) / 1e6);
    std::sort(pauses.begin(), pauses.end());
    const double median = Quantile(pauses, 0.5);
    const double driveMs = double(writes.back().ns - writes.front().ns) / 1e6;
    const double idealMs = double(pauses.size()) * kPauseMs;
    const double user = CpuSeconds(after.ru_utime) - CpuSeconds(before.ru_utime);
    const double system = CpuSeconds(after.ru_stime) - CpuSeconds(before.ru_stime);

    std::printf("Schrittzeit bei %d Schritten je Seite (%zu Pausen gemessen):\n", kSteps, pauses.size());
    std::printf("  Pause vor dem Schritt: min %.3f ms, Median %.3f ms, p99 %.3f ms, max %.3f ms\n", pauses.front(),
                median, Quantile(pauses, 0.99), pauses.back());
    std::printf("  Fahrt: %.1f ms gemessen, %.1f ms ideal (%zu x 15 ms), %+.3f %%\n", driveMs, idealMs, pauses.size(),
                100.0 * (driveMs - idealMs) / idealMs);
    std::printf("  CPU-Zeit: %.2f s (Benutzer %.2f s, System %.2f s)\n", user + system, user, system);

    bool ok = true;
    if (pauses.front() < kPauseMs) {
        std::printf("FEHLER: eine Pause unter 15 ms (%.3f ms)\n", pauses.front());
        ok = false;
    }
    if (median > kPauseMs * 1.01) {
        std::printf("FEHLER: Median mehr als 1 %% über 15 ms (%.3f ms)\n", median);
        ok = false;
    }
    return ok ? 0 : 1;
}

// Step timing, measured: runs the built program on the simulated port with 100
// steps a side, once with its input from a pipe and once on a pseudo-terminal
// (where it reads keys and shows its progress line), confirms, and reads the port's write log (monotonic
// nanoseconds, taken inside Out32). The pause before a pulse is measured from
// the last write of the previous pulse to the first write of this one, so it
// holds the progress shown after that pulse, the 15 ms pause, and the time of
// one event pass and one clock reading.
//
// A third run drives beside two spinning processes (nice 0, one per core of the
// build machine), with the priority the program takes for its drive; run as
// root, a fourth does the same as the user nobody with RLIMIT_NICE 0, so that
// no priority can be raised, as for most users (SCHED_RR only where rtkit
// grants it), and a fifth starts the program under chrt -r 10. They show what
// a busy machine does to the steps and are not checked.
//
// Each run's CPU time is the program's (user and system, from getrusage of the
// waited-for child), and its share is of the drive's wall time, from the first
// write to the last.
//
// Fails (exit status 1) on a pause under 15 ms in the idle runs, a step pulse
// whose low phase lasted under kLowPhaseMs, a median more than 1% above 15 ms,
// or a drive that kept over half a core busy: a shared
// machine may stretch single pauses, never shorten them, and the pause waits
// for most of its 15 ms.

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "launch.h"
#include "test_files.h"

namespace {

double CpuSeconds(const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; }

double Quantile(const std::vector<double>& sorted, double q) {
    const auto index = static_cast<std::size_t>(std::llround(q * double(sorted.size() - 1)));
    return sorted[std::min(sorted.size() - 1, index)];
}

// Processes that keep a core busy each until they are killed.
std::vector<pid_t> StartHogs(int count) {
    std::vector<pid_t> hogs;
    for (int i = 0; i < count; ++i) {
        const pid_t hog = fork();
        if (hog == 0)
            for (volatile unsigned long spin = 0;; ++spin) {
            }
        hogs.push_back(hog);
    }
    return hogs;
}

void StopHogs(const std::vector<pid_t>& hogs) {
    for (const pid_t hog : hogs) {
        kill(hog, SIGKILL);
        waitpid(hog, nullptr, 0);
    }
}

constexpr int kSteps = 100;

struct PauseFigures {
    std::vector<double> sorted;  // ms before pulses 2 .. 400
    double median;
    double driveMs;  // first write to last
    long shortLows;  // step pulses whose low phase, or the last pattern, lasted under kLowPhaseMs
};

// Prints the pauses of a write log under a heading; the caller adds its own lines.
PauseFigures PrintPauses(const std::vector<PortWrite>& writes, const std::string& where) {
    PauseFigures figures{PausesBeforePulsesMs(writes), 0, double(writes.back().ns - writes.front().ns) / 1e6, 0};
    std::vector<double>& pauses = figures.sorted;
    std::sort(pauses.begin(), pauses.end());
    figures.median = Quantile(pauses, 0.5);
    // The pauses, and kLowPhaseMs in each of the 400 pulses and before the final 0.
    const std::size_t lowPhases = pauses.size() + 2;
    const double idealMs = double(pauses.size()) * StepPauseMs + double(lowPhases) * kLowPhaseMs;
    std::printf("Schrittzeit bei %d Schritten je Seite, %s (%zu Pausen gemessen):\n", kSteps, where.c_str(),
                pauses.size());
    const auto over = std::count_if(pauses.begin(), pauses.end(), [](double ms) { return ms > StepPauseMs + 1; });
    std::printf("  Pause vor dem Schritt: min %.3f ms, Median %.3f ms, p99 %.3f ms, max %.3f ms, über %d ms: %ld\n",
                pauses.front(), figures.median, Quantile(pauses, 0.99), pauses.back(), int(StepPauseMs) + 1,
                static_cast<long>(over));
    std::vector<double> lows;  // ms from each pulse's first write to its pattern, and from the last pattern to 0
    for (std::size_t write = 1; write < writes.size(); write += 2)
        lows.push_back(double(writes[write].ns - writes[write - 1].ns) / 1e6);
    std::sort(lows.begin(), lows.end());
    figures.shortLows = static_cast<long>(std::count_if(lows.begin(), lows.end(), [](double ms) { return ms < kLowPhaseMs; }));
    std::printf("  Schrittleitung low: min %.3f ms, Median %.3f ms, max %.3f ms, unter %.1f ms: %ld\n", lows.front(),
                Quantile(lows, 0.5), lows.back(), kLowPhaseMs, figures.shortLows);
    std::printf("  Fahrt: %.1f ms gemessen, %.1f ms ideal (%zu x %d ms + %zu x %.1f ms), %+.3f %%\n", figures.driveMs,
                idealMs, pauses.size(), int(StepPauseMs), lowPhases, kLowPhaseMs,
                100.0 * (figures.driveMs - idealMs) / idealMs);
    return figures;
}

std::vector<PortWrite> DriveLog(const std::string& path) {
    std::vector<PortWrite> writes = ReadPortLog(path);
    const std::size_t expectedWrites = 8 * kSteps + 1;
    if (writes.size() != expectedWrites) {
        std::fprintf(stderr, "step_timing: %zu writes in %s, expected %zu\n", writes.size(), path.c_str(),
                     expectedWrites);
        std::exit(2);
    }
    return writes;
}

// Runs one drive, prints its timing; false when a pause broke the limits, exits on a failed run.
bool Measure(bool onTerminal, int hogCount = 0, const std::string& user = "", bool underChrt = false) {
    ScratchDirectory dir;
    std::filesystem::copy_file(PLOTTERTEST_PROGRAM, dir / "plottertest");
    std::filesystem::copy_file(PLOTTERTEST_SIM_PORT, dir / "libinpout32.so");
    std::vector<std::string> lines = SampleLines();
    lines[23] = std::to_string(kSteps);
    WriteLines(dir / "Pinbelegung.txt", lines);

    Launch launch;
    launch.program = dir / "plottertest";
    launch.workDirectory = dir.path();
    launch.environment = {"PLOTTERTEST_PORT_LOG=log", "PLOTTERTEST_PORT_VCD=trace.vcd"};
    launch.input = "\n";
    launch.onTerminal = onTerminal;
    launch.user = user;
    if (underChrt) {
        launch.arguments = {"-r", "10", launch.program};
        launch.program = "/usr/bin/chrt";
    }
    if (!user.empty()) std::filesystem::permissions(dir.path(), std::filesystem::perms::all);  // for the log
    // On a terminal the program reads keys during the drive and shows its progress line.
    if (onTerminal) launch.actions = {{"[OK] mit Enter", 0, "\r"}};
    rusage before{}, after{};
    const std::vector<pid_t> hogs = StartHogs(hogCount);
    getrusage(RUSAGE_CHILDREN, &before);
    const Ended run = RunBuiltProgram(launch);
    getrusage(RUSAGE_CHILDREN, &after);
    StopHogs(hogs);
    if (run.status != 0) {
        std::fprintf(stderr, "step_timing: the program failed (%d)\n%s%s", run.status, run.out.c_str(),
                     run.err.c_str());
        std::exit(2);
    }

    std::string where = hogCount > 0 ? "neben " + std::to_string(hogCount) + " rechnenden Prozessen"
                        : onTerminal ? "am Terminal"
                                     : "Eingabe aus einer Pipe";
    if (!user.empty()) where += ", als " + user + " ohne Recht auf Priorität";
    if (underChrt) where += ", mit chrt -r 10 gestartet";
    const PauseFigures figures = PrintPauses(DriveLog(dir / "log"), where);
    const std::vector<double>& pauses = figures.sorted;
    const double median = figures.median;
    const double userCpu = CpuSeconds(after.ru_utime) - CpuSeconds(before.ru_utime);
    const double systemCpu = CpuSeconds(after.ru_stime) - CpuSeconds(before.ru_stime);
    const double cpuShare = 100.0 * (userCpu + systemCpu) * 1000.0 / figures.driveMs;
    // What the drive got, from the scheduling its writes ran under, and from
    // whom by the rights this run gave it: root takes a real-time class
    // itself, a user without rights gets one only from rtkit.
    const std::vector<PortWrite> writes = DriveLog(dir / "log");
    const PortWrite& middle = writes[writes.size() / 2];
    const int ours = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;  // the benchmark's own, under chrt
    std::string got = "keine (nice " + std::to_string(middle.nice) + ")";
    if (middle.policy == SCHED_RR || middle.policy == SCHED_FIFO) {
        got = underChrt || ours == SCHED_RR || ours == SCHED_FIFO ? "Echtzeitklasse von chrt"
              : user.empty() && geteuid() == 0                    ? "SCHED_RR, vom Programm selbst"
                                                                  : "SCHED_RR von rtkit";
    } else if (middle.nice < 0) {
        got = "nice " + std::to_string(middle.nice);
    }
    std::printf("  Klasse der Fahrt: %s\n", got.c_str());
    std::printf("  CPU-Zeit: %.2f s (Benutzer %.2f s, System %.2f s), %.0f %% der Fahrt\n", userCpu + systemCpu,
                userCpu, systemCpu, cpuShare);
    const std::string said = run.out + run.err;  // on a terminal, standard error is the screen too
    // What the port read back, from the end's word: "alle 801 Werte vom Port zurückgelesen".
    const std::size_t done = said.find("alle Datenleitungen auf 0; ");
    if (done != std::string::npos) {
        const std::size_t from = done + std::string("alle Datenleitungen auf 0; ").size();
        std::printf("  Rücklesen: %s\n", said.substr(from, said.find_first_of(".\r\n", from) - from).c_str());
    }
    const std::size_t late = said.find("Achtung: ");
    if (late != std::string::npos) std::printf("  %s\n", said.substr(late, said.find_first_of("\r\n", late) - late).c_str());
    if (hogCount > 0) return true;  // what a busy machine does, shown, not judged

    bool ok = true;
    if (pauses.front() < StepPauseMs) {
        std::printf("FEHLER: eine Pause unter %d ms (%.3f ms)\n", int(StepPauseMs), pauses.front());
        ok = false;
    }
    if (figures.shortLows > 0) {
        std::printf("FEHLER: %ld Schrittimpulse kürzer als %.1f ms low\n", figures.shortLows, kLowPhaseMs);
        ok = false;
    }
    if (median > StepPauseMs * 1.01) {
        std::printf("FEHLER: Median mehr als 1 %% über %d ms (%.3f ms)\n", int(StepPauseMs), median);
        ok = false;
    }
    if (cpuShare > 50) {
        std::printf("FEHLER: die Fahrt hielt einen Kern zu %.0f %% belegt\n", cpuShare);
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    // step_timing --log FILE TITLE: the pauses of a drive that ran elsewhere (bench/wine_step_timing.sh).
    if (argc == 4 && std::string(argv[1]) == "--log") {
        PrintPauses(DriveLog(argv[2]), argv[3]);
        return 0;
    }
    const bool fromPipe = Measure(false);
    const bool atTerminal = Measure(true);
    Measure(false, 2);
    if (geteuid() == 0) Measure(false, 2, "nobody");
    if (geteuid() == 0) Measure(false, 2, "", true);
    return fromPipe && atTerminal ? 0 : 1;
}

// The console's lines: the wiring, the drive's progress line, how a run ended,
// failure reports, and the program's arguments.

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host {

namespace {

// Updates a few times a second are enough to read, and cost the drive nothing.
constexpr double kProgressEveryMs = 200;

bool ProgressLine = false;   // standard error is a terminal
bool ProgressShown = false;  // a progress line stands on the screen, unfinished
const char* StopHint = "Strg+C";
double NextProgressMs = 0;

// A terminal that takes no output now (a window that does not read, a
// stopped ssh link) would block a write, and the drive with a pattern on.
bool ErrorTakesOutputNow() {
    pollfd screen{STDERR_FILENO, POLLOUT, 0};
    return poll(&screen, 1, 0) == 1 && (screen.revents & POLLOUT) != 0;
}

void ClearProgressLine() {
    if (!ProgressShown) return;
    std::fputs("\r\x1b[K", stderr);
    ProgressShown = false;
}

}  // namespace

void posix::PrepareProgressLine(bool keysRead) {
    ProgressLine = isatty(STDERR_FILENO) != 0;
    StopHint = keysRead ? "Esc oder Strg+C" : "Strg+C";
    // The simulated port's own live line would fight this one for the screen.
    if (ProgressLine) setenv("PLOTTERTEST_HIDE_PORT_STATUS", "1", 1);
}

void ShowProgress(const std::string& text, long long) {
    if (!ProgressLine) return;
    const double now = posix::MonotonicMs();
    if (now < NextProgressMs) return;
    NextProgressMs = now + kProgressEveryMs;
    // Skipped where the terminal takes no output now.
    if (!ErrorTakesOutputNow()) return;
    std::fprintf(stderr, "\r%s – %s hält an\x1b[K", text.c_str(), StopHint);
    std::fflush(stderr);
    ProgressShown = true;
}

void ConsoleLine(Channel channel, const std::string& text) {
    ClearProgressLine();
    (channel == Channel::Output ? std::cout : std::cerr) << text << "\n" << std::flush;
}

void ReportDone(const std::string& text) { ConsoleLine(Channel::Output, text); }

void ReportStop(const std::string& text) { ConsoleLine(Channel::Error, text); }

void ShowPortNote(const std::string& text) {
    // During the drive, as the progress line: a stalled terminal drops the
    // note. The drive's end says again what the notes said.
    if (!ErrorTakesOutputNow()) return;
    ClearProgressLine();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void ShowInputs(const std::string& text, bool end) {
    if (end) ConsoleLine(Channel::Output, text);
}

void MarkOnWay(long long, const std::string&) {}

bool EndShown(double) { return false; }

void ReportLateSteps(const std::string& text) {
    ConsoleLine(Channel::Error, text + " Siehe plottertest --help.");
    // Said only here, where it may explain the late steps.
    if (!posix::RealTimeRefused.empty())
        ConsoleLine(Channel::Error, "Echtzeit über rtkit nicht erhalten: " + posix::RealTimeRefused + ".");
}

void ShowWiring(const WiringFacts& wiring) {
    std::cout << "Verdrahtung aus " << wiring.path << ":\n"
              << "  X (nach rechts):  Schritt " << wiring.x.step << ", Richtung " << wiring.x.dir << "\n"
              << "  Y (nach vorne):   Schritt " << wiring.y.step << ", Richtung " << wiring.y.dir << "\n"
              << "  Z (wird nicht bewegt): Schritt " << wiring.z.step << ", Richtung " << wiring.z.dir << "\n"
              << "  " << wiring.port << "; " << wiring.steps << "\n";
    for (const std::string& line : wiring.inputs) std::cout << "  " << line << "\n";
    for (const std::string& line : wiring.warnings) std::cout << line << "\n";
    for (const std::string& line : wiring.way) std::cout << line << "\n";
    std::cout << std::flush;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void ReportFailure(const std::string& report) { std::cerr << "plottertest: " << report << "\n" << std::flush; }

}  // namespace host

// The Linux host: a console dialog, the executable's directory from /proc,
// a monotonic clock, the terminal's keys and stop signals as events, and the
// port library bound with dlopen.

#include <dlfcn.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/textfile.h"

namespace host {

namespace {

constexpr char kEsc = '\x1b';
constexpr int kCtrlC = 3;
constexpr int kCtrlD = 4;

// The bytes of an escape sequence (arrow keys, function keys) follow its Esc
// at once; a terminal over a slow link may spread them over some milliseconds.
// An Esc with nothing after it for this long is the Esc key itself.
constexpr int kEscapeSequenceMs = 50;

// How long a box waits for a key before it looks for a stop signal again, in ms.
constexpr int kStopCheckMs = 50;

// How often the drive looks at the terminal, in milliseconds: a poll() that
// returns at once costs about a microsecond, nothing next to a 15 ms pause,
// and Esc is still answered within a step.
constexpr double kKeyPollMs = 10;

// ---- Stop signals -------------------------------------------------------------

// Set by the handler, acted on at the next safe point: a box that waits, or the
// next event pass of the drive, which switches the lines off first.
volatile std::sig_atomic_t StopSignal = 0;

extern "C" void RecordStopSignal(int signal) {
    if (StopSignal == 0) StopSignal = signal;
}

// Installed before main runs, so that no stop can kill the program with a
// line left on. No SA_RESTART: a box's blocking read returns with EINTR.
const bool kStopHandlersInstalled = [] {
    struct sigaction action{};
    action.sa_handler = RecordStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    return true;
}();

double MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// ---- The terminal -------------------------------------------------------------

termios SavedTerminal{};
bool TerminalChanged = false;

void RestoreTerminal() {
    if (!TerminalChanged) return;
    // TCSAFLUSH: what was typed while the program ran must not reach the shell.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedTerminal);
    TerminalChanged = false;
}

// Keys one by one, without echo; a read waits for at least `minimum` bytes
// (0: returns at once). Ctrl+C still raises SIGINT. Discards what was typed
// before. False when standard input is no terminal.
bool KeyMode(cc_t minimum) {
    if (isatty(STDIN_FILENO) == 0) return false;
    if (!TerminalChanged) {
        if (tcgetattr(STDIN_FILENO, &SavedTerminal) != 0) return false;
        static const bool restoredAtExit = std::atexit(RestoreTerminal) == 0;
        (void)restoredAtExit;
    }
    termios keys = SavedTerminal;
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keys.c_cc[VMIN] = minimum;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &keys) != 0) return false;
    TerminalChanged = true;
    return true;
}

// At a box, a stop ends the program: nothing has been written yet.
void EndIfStopped() {
    if (StopSignal == 0) return;
    RestoreTerminal();
    EndProgram(128 + StopSignal);
}

// Whether input arrives within ms.
bool InputWithin(int ms) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    for (;;) {
        EndIfStopped();
        const int ready = poll(&input, 1, ms);
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return false;
        EndIfStopped();
    }
}

// One byte of standard input, waiting for it; EOF at its end.
int ReadByte() {
    for (;;) {
        // Waiting in short polls, not in read(): a signal that comes just
        // before a blocking read would only be seen after the next key.
        EndIfStopped();
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, kStopCheckMs) <= 0) continue;
        unsigned char byte = 0;
        const ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        return EOF;
    }
}

// The rest of an escape sequence after its Esc: "[" parameters and a final
// byte (arrows, Home/End, function keys), "O" and one byte, or one key (Alt+key).
void SkipEscapeSequence() {
    const int introducer = ReadByte();
    if (introducer == '[') {
        while (InputWithin(kEscapeSequenceMs)) {
            const int c = ReadByte();
            if (c == EOF || (c >= 0x40 && c <= 0x7E)) return;
        }
    } else if (introducer == 'O' && InputWithin(kEscapeSequenceMs)) {
        ReadByte();
    }
}

// A key at a terminal box: 1 for OK, 2 for Cancel, 0 for a key that does not answer.
int AnswerOfKey(Buttons buttons) {
    const int key = ReadByte();
    if (key == kCtrlC) RecordStopSignal(SIGINT);
    EndIfStopped();
    if (key == kEsc) {
        if (!InputWithin(kEscapeSequenceMs)) return kCancel;
        SkipEscapeSequence();
        return buttons == Buttons::Ok ? kOk : 0;
    }
    if (buttons == Buttons::Ok) return kOk;
    if (key == EOF || key == kCtrlD || key == 'a' || key == 'A') return kCancel;
    if (key == '\n' || key == '\r' || key == 'o' || key == 'O') return kOk;
    return 0;
}

int AskKey(Buttons buttons) {
    int answer = 0;
    while (answer == 0) answer = AnswerOfKey(buttons);
    RestoreTerminal();
    return buttons == Buttons::Ok ? kOk : answer;
}

std::string Lowercase(std::string text) {
    // ASCII only: the answers are ASCII words, and no locale is ever set.
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// One line of a script's answers, without its line end; false at the end of input.
bool ReadAnswerLine(std::string& line) {
    line.clear();
    int c = 0;
    while ((c = ReadByte()) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// The answer from a script: one line per box.
int AskLine(Buttons buttons) {
    std::string line;
    for (;;) {
        if (!ReadAnswerLine(line)) return buttons == Buttons::Ok ? kOk : kCancel;  // as closing the box
        if (buttons == Buttons::Ok) return kOk;
        const std::string answer = Lowercase(line);
        if (answer.empty() || answer == "ok") return kOk;
        if (answer == "a" || answer == "abbrechen" || answer == "c" || answer == "cancel" || answer[0] == kEsc)
            return kCancel;
        std::cout << "Bitte mit Enter (OK) oder \"a\" (Abbrechen) antworten.\n" << std::flush;
    }
}

// ---- The progress line ------------------------------------------------------------

// Updates a few times a second are enough to read, and cost the drive nothing.
constexpr double kProgressEveryMs = 200;

bool ProgressChecked = false;
bool ProgressLine = false;  // standard error is a terminal
bool ProgressShown = false;  // a progress line stands on the screen, unfinished
double NextProgressMs = 0;

void DecideProgressLine() {
    ProgressChecked = true;
    ProgressLine = isatty(STDERR_FILENO) != 0;
    // The simulated port's own live line would fight this one for the screen.
    if (ProgressLine) setenv("PLOTTERTEST_STATUS_LINE", "1", 1);
}

void ClearProgressLine() {
    if (!ProgressShown) return;
    std::fputs("\r\x1b[K", stderr);
    ProgressShown = false;
}

// ---- Keys during the drive ------------------------------------------------------

bool DriveKeysChecked = false;
bool DriveKeys = false;         // standard input is a terminal in key mode
double NextKeyPollMs = 0;
double LoneEscSinceMs = -1;     // an Esc ended the last read; a sequence may still follow

void ReadDriveKeys() {
    const double now = MonotonicMs();
    if (now < NextKeyPollMs) return;
    NextKeyPollMs = now + kKeyPollMs;
    char keys[64];
    // poll() first: read() of an empty terminal waits for the kernel's input
    // worker, and made every pause 13 us longer (median 15.014 ms instead of
    // 15.001 ms in build/bench/step_timing on a pseudo-terminal).
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const ssize_t got = poll(&input, 1, 0) == 1 ? read(STDIN_FILENO, keys, sizeof keys) : 0;
    if (got > 0 && LoneEscSinceMs >= 0) LoneEscSinceMs = -1;  // it began a sequence
    for (ssize_t i = 0; i < got; ++i) {
        if (keys[i] == kCtrlC) RecordStopSignal(SIGINT);
        if (keys[i] == kEsc && i + 1 == got) LoneEscSinceMs = now;
        // Every other key is read only to be dropped: nothing typed now may
        // answer anything later, here or in the shell.
    }
    if (LoneEscSinceMs >= 0 && got <= 0 && now - LoneEscSinceMs >= kEscapeSequenceMs) RecordStopSignal(SIGINT);
}

std::string ProgramDirectory() {
    std::string path(4096, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return ".";  // no /proc: the working directory is the best there is
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

using Out32Function = void (*)(short, short);
Out32Function BoundOut32 = nullptr;

Out32Function BindOut32() {
    // The library beside the program wins, so that a copy of the program directory
    // brings its own port; else the system's library path is searched.
    const std::string besideProgram = PathInProgramDirectory("libinpout32.so");
    const bool beside = IsOrdinaryFile(besideProgram);
    const std::string name = beside ? besideProgram : "libinpout32.so";
    void* library = dlopen(name.c_str(), RTLD_NOW);
    if (library == nullptr) {
        const char* error = dlerror();
        throw Failure{FailureKind::PortLibraryNotFound,
                      (beside ? name : "libinpout32.so: gesucht neben dem Programm (" + besideProgram +
                                           ") und im Bibliothekspfad des Systems") +
                          ": " + (error ? error : "unbekannter Fehler")};
    }
    dlerror();
    void* entry = dlsym(library, "Out32");
    if (entry == nullptr) {
        const char* error = dlerror();
        throw Failure{FailureKind::EntryPointNotFound, name + ": Out32: " + (error ? error : "nicht vorhanden")};
    }
    return reinterpret_cast<Out32Function>(entry);
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    EndIfStopped();
    // Keys typed until now are discarded before the box shows, never after:
    // a key pressed once it is on the screen answers it.
    const bool terminal = KeyMode(1);
    std::string body = text;
    std::replace(body.begin(), body.end(), '\r', '\n');
    std::cout << "\n== " << (icon == Icon::Critical ? "FEHLER: " : "") << title << " ==\n" << body << "\n";
    if (buttons == Buttons::Ok)
        std::cout << (terminal ? "[OK] mit Enter" : "[OK]") << "\n" << std::flush;
    else
        std::cout << (terminal ? "[OK] mit Enter, [Abbrechen] mit Esc" : "[OK] / [Abbrechen]") << "\n" << std::flush;
    return terminal ? AskKey(buttons) : AskLine(buttons);
}

std::string PathInProgramDirectory(const std::string& name) {
    const std::string directory = ProgramDirectory();
    return directory == "/" ? "/" + name : directory + "/" + name;
}

bool IsOrdinaryFile(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

TextFile* OpenTextFile(const std::string& path) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr)
        throw Failure{FailureKind::FileCannotBeOpened, path + ": " + std::strerror(errno)};
    return textfile::Adopt(stream);
}

bool ReadTextLine(TextFile* file, std::string& line) { return textfile::ReadLine(file, line); }

void CloseTextFile(TextFile* file) { textfile::Close(file); }

double ClockMilliseconds() { return MonotonicMs(); }

int ProcessPendingEvents() {
    if (!DriveKeysChecked) {
        // The first pass comes before the first port write: the port library
        // is not loaded yet when it learns whether the program shows progress.
        DriveKeysChecked = true;
        DriveKeys = KeyMode(0);
        if (!ProgressChecked) DecideProgressLine();
    }
    if (DriveKeys) ReadDriveKeys();
    return StopSignal;
}

std::vector<std::string> ProgramArguments() {
    // /proc/self/cmdline: the words NUL-separated, the program's name first.
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> words;
    for (std::string word; std::getline(file, word, '\0');) words.push_back(word);
    if (!words.empty()) words.erase(words.begin());
    return words;
}

void ShowProgress(const std::string& text) {
    if (!ProgressChecked) DecideProgressLine();
    if (!ProgressLine) return;
    const double now = MonotonicMs();
    if (now < NextProgressMs) return;
    NextProgressMs = now + kProgressEveryMs;
    std::fprintf(stderr, "\r%s – %s hält an\x1b[K", text.c_str(), DriveKeys ? "Esc oder Strg+C" : "Strg+C");
    std::fflush(stderr);
    ProgressShown = true;
}

void ConsoleLine(Channel channel, const std::string& text) {
    ClearProgressLine();
    (channel == Channel::Output ? std::cout : std::cerr) << text << "\n" << std::flush;
}

void EndProgram(int status) {
    std::cout << std::flush;
    std::exit(status);
}

void ReportFailure(const std::string& report) { std::cerr << "plottertest: " << report << "\n" << std::flush; }

void Out32(short address, short value) {
    if (BoundOut32 == nullptr) BoundOut32 = BindOut32();
    BoundOut32(address, value);
}

}  // namespace host

// The Linux host: a console dialog, the executable's directory from /proc,
// a monotonic clock, and the port library bound with dlopen.

#include <dlfcn.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/textfile.h"

namespace host {

namespace {

constexpr char kEsc = '\x1b';

std::string Lowercase(std::string text) {
    // ASCII only: the answers are ASCII words, and no locale is ever set.
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// One key from a terminal, without waiting for Enter; EOF when none can be read.
int ReadKey() {
    termios saved{};
    const bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (raw) {
        termios keys = saved;
        keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &keys);
    }
    unsigned char key = 0;
    ssize_t got;
    do {
        got = read(STDIN_FILENO, &key, 1);
    } while (got < 0 && errno == EINTR);
    if (raw) {
        // Drop the rest of an escape sequence (arrow keys) so it does not answer the next box.
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    return got == 1 ? key : EOF;
}

// The answer to a box with OK and Cancel from a terminal: Enter or "o" is OK,
// Esc or "a" is Cancel; other keys are ignored.
int AskKey() {
    for (;;) {
        const int key = ReadKey();
        if (key == EOF || key == kEsc || key == 'a' || key == 'A') return kCancel;
        if (key == '\n' || key == '\r' || key == 'o' || key == 'O') return kOk;
    }
}

// The answer from a script: one line per box.
int AskLine() {
    std::string line;
    for (;;) {
        if (!std::getline(std::cin, line)) return kCancel;  // as closing the box
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string answer = Lowercase(line);
        if (answer.empty() || answer == "ok") return kOk;
        if (answer == "a" || answer == "abbrechen" || answer == "c" || answer == "cancel" || answer[0] == kEsc)
            return kCancel;
        std::cout << "Bitte mit Enter (OK) oder \"a\" (Abbrechen) antworten.\n" << std::flush;
    }
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
                      name + (beside ? "" : " (nicht neben dem Programm, nicht im Bibliothekspfad)") + ": " +
                          (error ? error : "unbekannter Fehler")};
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
    std::string body = text;
    std::replace(body.begin(), body.end(), '\r', '\n');
    std::cout << "\n== " << (icon == Icon::Critical ? "FEHLER: " : "") << title << " ==\n" << body << "\n";
    const bool terminal = isatty(STDIN_FILENO) != 0;
    if (buttons == Buttons::Ok) {
        std::cout << (terminal ? "[OK] mit Enter" : "[OK]") << "\n" << std::flush;
        if (terminal) {
            ReadKey();
        } else {
            std::string line;
            std::getline(std::cin, line);
        }
        return kOk;
    }
    std::cout << (terminal ? "[OK] mit Enter, [Abbrechen] mit Esc" : "[OK] / [Abbrechen]") << "\n" << std::flush;
    return terminal ? AskKey() : AskLine();
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

double ClockMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

void ProcessPendingEvents() {}

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

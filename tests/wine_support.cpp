// The machinery of the Windows program's end-to-end tests (wine_e2e_test.cpp):
// a virtual X display, a Wine prefix for each build, xdotool to answer the
// boxes, and Wine's relay trace read back into what the program passed to
// user32.

#include "wine_support.h"

#include <signal.h>
#include <sys/personality.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

namespace fs = std::filesystem;

// Wine's 32-bit loader is itself a 32-bit program, so running it shows that
// 32-bit programs run; Debian's wine answers --version through wine64 without it.
const WindowsBuild kWin32{"win32", PLOTTERTEST_WINDOWS_BUILD, PLOTTERTEST_WINE32, "/usr/lib/wine/wine --version",
                          "wine32 is not installed, or the kernel cannot run 32-bit programs"};
const WindowsBuild kWin64{"win64", PLOTTERTEST_WINDOWS_X64_BUILD, PLOTTERTEST_WINE64,
                          std::string(PLOTTERTEST_WINE64) + " --version", "wine64 is not installed"};

void PrintTo(const WindowsBuild& build, std::ostream* out) { *out << build.name << " (" << build.folder << ")"; }

namespace {

const std::string kWinePrefix = PLOTTERTEST_WINE_PREFIX;
const std::string kArtifacts = PLOTTERTEST_ARTIFACTS;
const std::string kLateStepsTitle = "Testfahrt: Schritte zu spät";
constexpr std::chrono::milliseconds kPoll(100);

std::set<std::string> prefixesUsed;
pid_t display = 0;
std::string displaySize = "1024x768";  // the virtual screen, as Xvfb takes it

std::string Capture(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// The ids of the visible windows with this title. xdotool dies with an X error
// when a window closes while it walks the window tree (the drive window closes
// just before a box), so such a walk is walked again.
std::string VisibleWindows(const std::string& title) {
    std::string found;
    for (int walk = 0; walk < 50; ++walk) {
        found = Capture("xdotool search --onlyvisible --name '^" + title + "$' 2>&1");
        if (found.find("X Error") == std::string::npos) break;
    }
    return found;
}



// Debian's Wine starts without the preloader that keeps the low address space
// free for Windows, so the kernel may put a Wine process's heap over the page
// that Windows shares with every program (0x7ffe0000): here the heap starts
// anywhere in the gigabyte above the 64-bit loader at 0x7d000000. Such a
// process ends in Wine's loader ("failed to map the shared user data:
// c0000018") or, where it is the desktop's explorer.exe, leaves the program
// without a window ("nodrv_CreateWindow"). Every Wine process of these tests
// is a child of this one and so starts with its address space laid out without
// randomness; where the system refuses that, the run again in Start remains.
void FixAddressLayout() {
    const int now = personality(0xffffffff);
    if (now != -1 && (now & ADDR_NO_RANDOMIZE) == 0) personality(static_cast<unsigned>(now) | ADDR_NO_RANDOMIZE);
}

// What keeps the tests of this build from running here, or nothing.
std::string MissingTool(const WindowsBuild& build) {
    for (const char* tool : {"Xvfb", "xdotool", "import"}) {
        // cppcheck-suppress useStlAlgorithm ; the loop names the missing tool, find_if would only find it
        if (!Succeeds(std::string("command -v ") + tool)) return std::string(tool) + " is not installed";
    }
    if (!Succeeds(build.check))
        return build.loader + " cannot run here (" + Capture(build.check + " 2>&1 | tail -n1 | tr -d '\\n'") + "; " +
               build.cannotRun + ")";
    for (const char* file : {"plottertest.exe", "inpout32.dll", "tests/libno_out32.dll", "tests/recording_port.dll",
                             "tests/hold_file.exe", "tests/window_places.exe"}) {
        // cppcheck-suppress useStlAlgorithm ; as above, for the missing file
        if (!fs::exists(build.folder + "/" + file))
            return build.folder + "/" + file + " is not built (scripts/run-tests.sh builds it)";
    }
    return {};
}

// '\00fc' and the other escapes of Wine's debug strings back to UTF-8.
std::string FromDebugString(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r') out += '\r';
        else if (c == 'n') out += '\n';
        else if (c == 't') out += '\t';
        else if (std::isxdigit(static_cast<unsigned char>(c)) && i + 3 < text.size()) {
            const unsigned code = static_cast<unsigned>(std::stoul(text.substr(i, 4), nullptr, 16));
            i += 3;
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xC0 | code >> 6);
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | code >> 12);
                out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
        } else {
            out += c;
        }
    }
    return out;
}

// A program older than a source it is built from: a run of this test alone
// after a change would test the old one.
std::string Stale(const WindowsBuild& build) {
    for (const auto& [file, folder] : {std::pair{"plottertest.exe", "src"}, {"inpout32.dll", "ports"}}) {
        const fs::path program = build.folder + "/" + file;
        const auto built = fs::last_write_time(program);
        const auto newer = std::find_if(
            fs::recursive_directory_iterator(std::string(PLOTTERTEST_SOURCE_DIR) + "/" + folder),
            fs::recursive_directory_iterator(),
            [&](const fs::directory_entry& entry) { return entry.is_regular_file() && entry.last_write_time() > built; });
        if (newer != fs::recursive_directory_iterator())
            return program.string() + " is older than " + newer->path().string() + ": build it first (cmake --build " +
                   build.folder + ")";
    }
    return {};
}

// The build's own Wine prefix, made at its first use.
void UsePrefix(const WindowsBuild& build) {
    const std::string prefix = kWinePrefix + "-" + build.name;
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("WINEARCH", build.name.c_str(), 1);
    if (!prefixesUsed.insert(prefix).second) return;
    const std::string wine = "WINEDEBUG=-all " + build.loader;
    if (!fs::exists(prefix + "/system.reg")) Succeeds(wine + " wineboot --init");
    // Trace only the calls the tests read: a relay trace of every call would drown
    // the drive's pauses, and the loader's own trace cuts long paths short.
    Succeeds(wine + " reg add 'HKCU\\Software\\Wine\\Debug' /v RelayInclude /d "
             "'user32.MessageBoxW;user32.SetWindowTextW;user32.CreateWindowExW;kernel32.LoadLibraryExW;"
             "kernelbase.LoadLibraryExW' /f && "
             "WINEDEBUG=-all wineserver --wait");
}

void StopDisplay() {
    if (display <= 0) return;
    kill(display, SIGTERM);
    waitpid(display, nullptr, 0);
    display = 0;
}

// Starts a virtual display and returns once an X client has opened it, or
// why none could. Once in some runs, Wine could not open the display that Xvfb
// had announced ("no driver could be loaded"), and every box of the test was
// waited for in vain; a display that does not answer is started again. Xvfb's
// own messages go to xvfb.log among the artifacts.
std::string StartDisplay() {
    const std::string log = kArtifacts + "/xvfb.log";
    for (int attempt = 1; attempt <= 3; ++attempt) {
        int fds[2];
        if (pipe(fds) != 0) return "no pipe for Xvfb";
        display = fork();
        if (display == 0) {
            close(fds[0]);
            if (freopen(log.c_str(), "a", stderr) == nullptr) _exit(127);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = displaySize + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        close(fds[0]);
        setenv("DISPLAY", (":" + number).c_str(), 1);
        if (!number.empty() && Succeeds("xdotool getdisplaygeometry")) return {};
        StopDisplay();
        std::ofstream(log, std::ios::app) << "display :" << number << " did not answer; start " << attempt << " of 3\n";
    }
    return "the virtual display did not answer in three starts (see " + log + ")";
}

// Whether the program has ended, leaving it to be waited for.
bool Ended(pid_t program) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(program), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == program;
}

// Wine's own error lines in a trace, the first 20: a thread's ("0024:err:…")
// and the loader's before any thread ("err:virtual:…").
std::string WineErrors(const std::string& trace) {
    std::istringstream lines(trace);
    std::string errors;
    int count = 0;
    for (std::string line; std::getline(lines, line) && count < 20;)
        if (line.find(":err:") != std::string::npos || line.rfind("err:", 0) == 0) {
            errors += line + "\n";
            ++count;
        }
    return errors.empty() ? "(nothing)\n" : errors;
}

void ParseTrace(Outcome& outcome) {
    static const std::regex call(
        R"re(Call user32\.MessageBoxW\(([0-9a-f]+),[0-9a-f]+ L"((?:[^"\\]|\\.)*)"(?:\.\.\.)?,[0-9a-f]+ L"((?:[^"\\]|\\.)*)",([0-9a-f]+)\))re");
    static const std::regex create(R"(Call user32\.CreateWindowExW\([0-9a-f]+,[0-9a-f]+ L"plottertestWindow".* ret=([0-9a-f]+))");
    static const std::regex created(R"(Ret  user32\.CreateWindowExW\(\) retval=([0-9a-f]+) ret=([0-9a-f]+))");
    // The program's window is being made; its handle comes with the return to
    // the same place (a window made meanwhile, as Wine's IME window, returns elsewhere).
    std::string creating;
    static const std::regex load(R"(Call (KERNEL32|kernelbase)\.LoadLibraryExW\(.*inpout32)", std::regex::icase);
    static const std::regex ret(R"(Ret  user32\.MessageBoxW\(\) retval=([0-9a-f]{1,16}))");
    static const std::regex text(R"re(Call user32\.SetWindowTextW\([0-9a-f]+,[0-9a-f]+ L"((?:[^"\\]|\\.)*)")re");
    std::istringstream trace(outcome.trace);
    std::vector<Box>* answered = nullptr;  // where the last box went
    for (std::string line; std::getline(trace, line);) {
        std::smatch match;
        if (std::regex_search(line, match, call)) {
            const std::string title = FromDebugString(match[3]);
            (title == kLateStepsTitle ? outcome.lateSteps : outcome.boxes)
                .push_back({FromDebugString(match[2]), title, static_cast<unsigned>(std::stoul(match[4], nullptr, 16)), 0,
                            std::stoull(match[1], nullptr, 16)});
            answered = title == kLateStepsTitle ? &outcome.lateSteps : &outcome.boxes;
        } else if (std::regex_search(line, match, ret) && answered != nullptr && !answered->empty()) {
            // The relay prints the whole register; the answer is its low 32 bits.
            answered->back().result = static_cast<int>(std::stoull(match[1], nullptr, 16) & 0xffffffffu);
        }
        else if (std::regex_search(line, match, create))
            creating = match[1];
        else if (std::regex_search(line, match, created) && match[2] == creating) {
            outcome.window = std::stoull(match[1], nullptr, 16);
            creating.clear();
        }
        else if (std::regex_search(line, load))
            outcome.portLibraryLoaded = true;
        else if (std::regex_search(line, match, text))
            outcome.windowTexts.push_back(FromDebugString(match[1]));
    }
}

}  // namespace

bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

HeldFile Hold(const WindowsBuild& build, const std::string& windowsPath) {
    int input[2], output[2];
    if (pipe(input) != 0 || pipe(output) != 0) return {};
    HeldFile held;
    held.program = fork();
    if (held.program == 0) {
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        for (const int fd : {input[0], input[1], output[0], output[1]}) close(fd);
        setenv("WINEDEBUG", "-all", 1);
        const std::string exe = build.folder + "/tests/hold_file.exe";
        execlp(build.loader.c_str(), build.loader.c_str(), exe.c_str(), windowsPath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    held.input = input[1];
    // Until it holds the file, or has ended without.
    std::string said;
    for (char c; said.find("gehalten") == std::string::npos && read(output[0], &c, 1) == 1;) said += c;
    close(output[0]);
    return held;
}

void Release(HeldFile& held) {
    if (held.input >= 0) close(held.input);
    if (held.program > 0) waitpid(held.program, nullptr, 0);
    held = {};
}

std::string WindowsPath(const std::string& path) {
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

void WineEndToEnd::UseScreen(int width, int height, int dpi) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (size != displaySize) {
        StopDisplay();
        displaySize = size;
        const std::string noDisplay = StartDisplay();
        ASSERT_TRUE(noDisplay.empty()) << noDisplay;
    }
    // Wine's scale for the whole session, read when its server starts, as each run's does.
    Succeeds("WINEDEBUG=-all " + GetParam().loader + " reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d " +
             std::to_string(dpi) + " /f && WINEDEBUG=-all wineserver --wait");
}

void WineEndToEnd::TearDownTestSuite() {
    for (const std::string& prefix : prefixesUsed) Succeeds("WINEPREFIX='" + prefix + "' WINEDEBUG=-all wineserver --kill");
    prefixesUsed.clear();
    StopDisplay();
}

void WineEndToEnd::SetUp() {
    FixAddressLayout();
    const std::string skipReason = MissingTool(GetParam());
    if (!skipReason.empty()) GTEST_SKIP() << "skipped: " << skipReason;
    const std::string stale = Stale(GetParam());
    if (!stale.empty()) FAIL() << stale;
    fs::create_directories(kArtifacts);
    if (display == 0) {
        const std::string noDisplay = StartDisplay();
        if (!noDisplay.empty()) FAIL() << noDisplay;
    }
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no Mono or Gecko installer dialogs
    // Wine turns the umlauts of the program's path into Windows text by the locale.
    setenv("LC_ALL", "C.UTF-8", 1);
    UsePrefix(GetParam());
    // A directory with umlauts and a path past MAX_PATH (260): the program must
    // still find its wiring file and its port library beside it.
    program = scratch.path() + "/Plötter Prüfstand äöü";
    for (int level = 1; level <= 6; ++level) program += "/verzeichnis-mit-einem-recht-langen-namen-" + std::to_string(level);
    fs::create_directories(program);
    for (const char* file : {"plottertest.exe", "inpout32.dll"})
        fs::copy_file(GetParam().folder + "/" + file, program + "/" + file);
    lines = SampleLines();
}

// A Wine process whose heap the kernel put where Windows' shared page belongs
// (FixAddressLayout) never reaches the program, or leaves it without a window
// when it is the desktop's explorer.exe ("no driver could be loaded"): the
// window and then the box with its report fail, and the program ends with its
// report's status 1. The program did what it must, but the run says nothing of
// the test's case, so it is run again and said in the artifacts.
Outcome WineEndToEnd::Start(const std::vector<std::pair<std::string, std::string>>& answers, bool writeFile) {
    for (int run = 1;; ++run) {
        Outcome outcome = StartOnce(answers, writeFile);
        const std::string unseen = std::exchange(endedBeforeBox, {});
        if (unseen.empty()) return outcome;
        // Wine's loader failed before the program's own code ran (its first
        // relay call), or Wine could load no display driver: Wine's fault, not the case's.
        const bool noWindowAtAll = outcome.trace.find("nodrv_CreateWindow") != std::string::npos;
        const bool neverRan = outcome.trace.find("virtual_alloc_first_teb") != std::string::npos ||
                              outcome.trace.find(":Call ") == std::string::npos;
        if ((noWindowAtAll || neverRan) && run < 3) {
            std::ofstream(kArtifacts + "/wine-no-window.log", std::ios::app)
                << ::testing::UnitTest::GetInstance()->current_test_info()->name() << ": run " << run
                << (neverRan ? " never reached the program" : " had no window") << "; Wine said:\n" << WineErrors(outcome.trace) << "\n";
            continue;
        }
        ADD_FAILURE() << "the program ended with status " << outcome.status << " before the box \"" << unseen
                      << "\" appeared; Wine said:\n" << WineErrors(outcome.trace);
        return outcome;
    }
}

// Starts the program, answers each box whose title is given with its key,
// and waits for the program to end.
Outcome WineEndToEnd::StartOnce(const std::vector<std::pair<std::string, std::string>>& answers, bool writeFile) {
    if (writeFile) WriteLines(program + "/Pinbelegung.txt", lines);
    const std::string log = scratch / "log";
    fs::remove(log);
    const std::string windowsLog = WindowsPath(log);
    // Each run gets a Wine server of its own: one still ending after the last run
    // would reset this run's connection ("wine client error:0: recvmsg: Connection
    // reset by peer"), and its helper processes would write into this run's trace.
    Succeeds("WINEDEBUG=-all wineserver --wait");

    HeldFile held = heldDuringRun.empty() ? HeldFile{} : Hold(GetParam(), heldDuringRun);
    const pid_t wine = Launch("trace", windowsLog);
    Outcome outcome;
    windowBesideConfirmation = false;
    for (const auto& [title, key] : answers) {
        if (key != kSecondCopy) {
            Answer(title, key, wine);
            continue;
        }
        // Once the first copy's window is there: a second copy, confirmed, and its report answered.
        Answer(title, "", wine, false);
        Outcome second;
        const std::string secondLog = scratch / "log-second";
        const pid_t copy = Launch("trace-second", WindowsPath(secondLog));
        Answer("Tormal fahren", "Return", copy);
        Answer("plottertest", "Return", copy);
        int raw = 0;
        waitpid(copy, &raw, 0);
        second.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        second.trace = ReadText(scratch / "trace-second");
        second.logWritten = fs::exists(secondLog);
        ParseTrace(second);
        outcome.others.push_back(second);
    }

    int raw = 0;
    for (int polls = 0; waitpid(wine, &raw, WNOHANG) == 0; ++polls) {
        if (polls % 10 == 5 && !VisibleWindows(kLateStepsTitle).empty()) Answer(kLateStepsTitle, "Return", wine);
        if (polls > 1200) {  // two minutes
            kill(wine, SIGKILL);
            waitpid(wine, &raw, 0);
            ADD_FAILURE() << "the program did not end";
            break;
        }
        std::this_thread::sleep_for(kPoll);
    }
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    Release(held);
    outcome.trace = ReadText(scratch / "trace");
    outcome.writes = ReadPortLog(log);
    outcome.logWritten = fs::exists(log);
    outcome.windowBesideConfirmation = windowBesideConfirmation;
    outcome.places = placesSeen;
    placesSeen.clear();
    ParseTrace(outcome);
    return outcome;
}

pid_t WineEndToEnd::Launch(const std::string& traceName, const std::string& windowsLog) {
    const pid_t wine = fork();
    if (wine == 0) {
        // By its full path, as a shortcut starts it: the working directory may be any other.
        if (chdir((workDirectory.empty() ? program : workDirectory).c_str()) != 0) _exit(127);
        setenv("WINEDEBUG", "fixme-all,+relay", 1);
        setenv("PLOTTERTEST_PORT_LOG", windowsLog.c_str(), 1);
        if (freopen((scratch / traceName).c_str(), "w", stderr) == nullptr) _exit(127);
        if (freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
        const std::string exe = program + "/plottertest.exe";
        execlp(GetParam().loader.c_str(), GetParam().loader.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return wine;
}

// Waits for the box, keeps a screenshot of it and presses the key until it
// closes; with no key, waits until it closes by itself, unless told not to.
void WineEndToEnd::Answer(const std::string& title, const std::string& key, pid_t running, bool untilClosed) {
    std::string window;
    for (int poll = 0; poll < 900 && window.empty(); ++poll) {  // 90 s
        if (poll > 0) std::this_thread::sleep_for(kPoll);
        // A busy machine's box on late steps comes before the window „Testfahrt beendet“.
        if (poll % 10 == 5 && title != kLateStepsTitle && !VisibleWindows(kLateStepsTitle).empty())
            Answer(kLateStepsTitle, "Return", running);
        window = VisibleWindows(title);
        if (window.empty() && Ended(running)) {  // Start says so
            if (endedBeforeBox.empty()) endedBeforeBox = title;
            return;
        }
    }
    ASSERT_FALSE(window.empty()) << "no box \"" << title << "\" appeared";
    const std::string id = window.substr(0, window.find('\n'));
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->name()) + "-" + std::to_string(++boxesSeen) + ".png";
    std::replace(name.begin(), name.end(), '/', '-');
    const std::string screenshot = kArtifacts + "/" + name;
    Succeeds("import -window root '" + screenshot + "'");
    if (title == "Tormal fahren") windowBesideConfirmation = !VisibleWindows("Testfahrt vorbereiten").empty();
    if (measurePlaces && title != kLateStepsTitle)
        placesSeen.push_back({title, Capture("WINEDEBUG=-all " + GetParam().loader + " '" + GetParam().folder +
                                             "/tests/window_places.exe' 2>/dev/null")});
    if (key == "stall") {
        kill(running, SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(running, SIGCONT);
        return;
    }
    if (key.rfind("wineboot", 0) == 0) {  // what Windows sends every window at a logoff or shutdown
        Succeeds("WINEDEBUG=-all " + GetParam().loader + " " + key);
        return;
    }
    if (key.empty() && !untilClosed) return;
    if (key.empty()) {  // a window that closes by itself
        for (int poll = 0; poll < 600 && VisibleWindows(title).find(id) != std::string::npos; ++poll)
            std::this_thread::sleep_for(kPoll);
        return;
    }
    const std::string press = "xdotool windowfocus --sync " + id + " key " + key;
    for (int attempt = 0; attempt < 5; ++attempt) {
        Succeeds(press);
        for (int poll = 0; poll < 30; ++poll) {
            if (VisibleWindows(title).find(id) == std::string::npos) return;
            std::this_thread::sleep_for(kPoll);
        }
    }
    ADD_FAILURE() << "box \"" << title << "\" did not close on " << key;
}

// Runs the Windows program under Wine on a virtual X display and answers its
// message boxes with xdotool, as a user at the keyboard would; every test runs
// against each Windows build: the 32-bit one users get (build-windows, Wine's
// 32-bit loader) and the 64-bit test build (build-windows-x64, wine64), each
// in a Wine prefix of its own. What the program passes to user32 is read from
// Wine's relay trace of MessageBoxW; a screenshot of every box is kept under
// the build's test-artifacts folder.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_files.h"

namespace {

namespace fs = std::filesystem;

struct WindowsBuild;
void PrintTo(const WindowsBuild& build, std::ostream* out);

struct WindowsBuild {
    std::string name;    // win32 or win64, as Wine's prefixes name the word size
    std::string folder;  // the build directory
    std::string loader;  // the Wine loader that runs it
    std::string cannotRun;  // why a loader that fails may fail here
};

void PrintTo(const WindowsBuild& build, std::ostream* out) { *out << build.name << " (" << build.folder << ")"; }

const WindowsBuild kWin32{"win32", PLOTTERTEST_WINDOWS_BUILD, PLOTTERTEST_WINE32,
                          "a kernel without 32-bit emulation cannot run 32-bit Wine"};
const WindowsBuild kWin64{"win64", PLOTTERTEST_WINDOWS_X64_BUILD, PLOTTERTEST_WINE64, "wine64 is not installed"};
const std::string kWinePrefix = PLOTTERTEST_WINE_PREFIX;
const std::string kArtifacts = PLOTTERTEST_ARTIFACTS;
const std::string kVersion = PLOTTERTEST_VERSION;

const std::string kConfirmationText =
    "Es wird ein Rechteck gefahren mit jeweils 100 Motorschritten nach vorne und 100 Motorschritten nach "
    "rechts!\rBitte die Schlitten passend Positionieren , auch die Z-Achse , das geplottet werden kann und auf "
    "[OK] drücken !";
const std::string kMissingFileText =
    "Achtung !\rEs fehlt die Datei :  Pinbelegung.txt !\r"
    "Ohne diese Datei kann dieses Programm leider nicht ordnungsgemäß funktionieren!";
constexpr std::chrono::milliseconds kPoll(100);
constexpr unsigned kOkCancel = 0x1;         // MB_OKCANCEL, first button default, no icon
constexpr unsigned kOkCritical = 0x10;      // MB_OK | MB_ICONERROR

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

// A Linux path as the Windows program sees it, on Wine's drive Z:.
std::string WindowsPath(const std::string& path) {
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// What keeps the tests of this build from running here, or nothing.
std::string MissingTool(const WindowsBuild& build) {
    for (const char* tool : {"Xvfb", "xdotool", "import"}) {
        // cppcheck-suppress useStlAlgorithm ; the loop names the missing tool, find_if would only find it
        if (!Succeeds(std::string("command -v ") + tool)) return std::string(tool) + " is not installed";
    }
    if (!Succeeds(build.loader + " --version"))
        return build.loader + " cannot run here (" +
               Capture(build.loader + " --version 2>&1 | tail -n1 | tr -d '\\n'") + "; " + build.cannotRun + ")";
    for (const char* file : {"plottertest.exe", "inpout32.dll", "tests/libno_out32.dll"}) {
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

struct Box {
    std::string text;
    std::string title;
    unsigned style;
    int result;
};

struct Outcome {
    int status = -1;
    std::vector<Box> boxes;       // as passed to MessageBoxW, in order
    std::vector<std::string> windowTexts;  // as passed to SetWindowTextW: the drive window's lines
    bool portLibraryLoaded = false;
    std::vector<PortWrite> writes;
    bool logWritten = false;
    std::string trace;
};

class WineEndToEnd : public ::testing::TestWithParam<WindowsBuild> {
protected:
    static void TearDownTestSuite() {
        for (const std::string& prefix : prefixesUsed) Succeeds("WINEPREFIX='" + prefix + "' WINEDEBUG=-all wineserver --kill");
        prefixesUsed.clear();
        if (display > 0) {
            kill(display, SIGTERM);
            waitpid(display, nullptr, 0);
            display = 0;
        }
    }

    // The build's own Wine prefix, made at its first use.
    static void UsePrefix(const WindowsBuild& build) {
        const std::string prefix = kWinePrefix + "-" + build.name;
        setenv("WINEPREFIX", prefix.c_str(), 1);
        setenv("WINEARCH", build.name.c_str(), 1);
        if (!prefixesUsed.insert(prefix).second) return;
        const std::string wine = "WINEDEBUG=-all " + build.loader;
        if (!fs::exists(prefix + "/system.reg")) Succeeds(wine + " wineboot --init");
        // Trace only the calls the tests read: a relay trace of every call would drown
        // the drive's busy wait, and the loader's own trace cuts long paths short.
        Succeeds(wine + " reg add 'HKCU\\Software\\Wine\\Debug' /v RelayInclude /d "
                 "'user32.MessageBoxW;user32.SetWindowTextW;kernel32.LoadLibraryExW;kernelbase.LoadLibraryExW' /f && "
                 "WINEDEBUG=-all wineserver --wait");
    }

    static void StartDisplay() {
        int fds[2];
        if (pipe(fds) != 0) return;
        display = fork();
        if (display == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        close(fds[0]);
        setenv("DISPLAY", (":" + number).c_str(), 1);
    }

    void SetUp() override {
        const std::string skipReason = MissingTool(GetParam());
        if (!skipReason.empty()) GTEST_SKIP() << "skipped: " << skipReason;
        if (display == 0) StartDisplay();
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no Mono or Gecko installer dialogs
        // Wine turns the umlauts of the program's path into Windows text by the locale.
        setenv("LC_ALL", "C.UTF-8", 1);
        UsePrefix(GetParam());
        fs::create_directories(kArtifacts);
        // A directory with umlauts and a path past MAX_PATH (260): the program must
        // still find its wiring file and its port library beside it.
        program = scratch.path() + "/Plötter Prüfstand äöü";
        for (int level = 1; level <= 6; ++level) program += "/verzeichnis-mit-einem-recht-langen-namen-" + std::to_string(level);
        fs::create_directories(program);
        for (const char* file : {"plottertest.exe", "inpout32.dll"})
            fs::copy_file(GetParam().folder + "/" + file, program + "/" + file);
        lines = SampleLines();
    }

    // Starts the program, answers each box whose title is given with its key,
    // and waits for the program to end.
    Outcome Start(const std::vector<std::pair<std::string, std::string>>& answers, bool writeFile = true) {
        if (writeFile) WriteLines(program + "/Pinbelegung.txt", lines);
        const std::string log = scratch / "log";
        fs::remove(log);
        const std::string windowsLog = WindowsPath(log);

        const pid_t wine = fork();
        if (wine == 0) {
            // By its full path, as a shortcut starts it: the working directory may be any other.
            if (chdir((workDirectory.empty() ? program : workDirectory).c_str()) != 0) _exit(127);
            setenv("WINEDEBUG", "fixme-all,+relay", 1);
            setenv("PLOTTERTEST_PORT_LOG", windowsLog.c_str(), 1);
            if (freopen((scratch / "trace").c_str(), "w", stderr) == nullptr) _exit(127);
            if (freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
            const std::string exe = program + "/plottertest.exe";
            execlp(GetParam().loader.c_str(), GetParam().loader.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (const auto& [title, key] : answers) Answer(title, key);

        Outcome outcome;
        int raw = 0;
        for (int polls = 0; waitpid(wine, &raw, WNOHANG) == 0; ++polls) {
            if (polls > 1200) {  // two minutes
                kill(wine, SIGKILL);
                waitpid(wine, &raw, 0);
                ADD_FAILURE() << "the program did not end";
                break;
            }
            std::this_thread::sleep_for(kPoll);
        }
        outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        outcome.trace = ReadText(scratch / "trace");
        outcome.writes = ReadPortLog(log);
        outcome.logWritten = fs::exists(log);
        ParseTrace(outcome);
        return outcome;
    }

    // Waits for the box, keeps a screenshot of it and presses the key until it
// closes; with no key, waits until it closes by itself.
    void Answer(const std::string& title, const std::string& key) {
        std::string window;
        for (int poll = 0; poll < 900 && window.empty(); ++poll) {  // 90 s
            if (poll > 0) std::this_thread::sleep_for(kPoll);
            window = VisibleWindows(title);
        }
        ASSERT_FALSE(window.empty()) << "no box \"" << title << "\" appeared";
        const std::string id = window.substr(0, window.find('\n'));
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->name()) + "-" + std::to_string(++boxesSeen) + ".png";
        std::replace(name.begin(), name.end(), '/', '-');
        const std::string screenshot = kArtifacts + "/" + name;
        Succeeds("import -window root '" + screenshot + "'");
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

    static void ParseTrace(Outcome& outcome) {
        static const std::regex call(
            R"re(Call user32\.MessageBoxW\([0-9a-f]+,[0-9a-f]+ L"((?:[^"\\]|\\.)*)"(?:\.\.\.)?,[0-9a-f]+ L"((?:[^"\\]|\\.)*)",([0-9a-f]+)\))re");
        static const std::regex load(R"(Call (KERNEL32|kernelbase)\.LoadLibraryExW\(.*inpout32)", std::regex::icase);
        static const std::regex ret(R"(Ret  user32\.MessageBoxW\(\) retval=([0-9a-f]{1,16}))");
        static const std::regex text(R"re(Call user32\.SetWindowTextW\([0-9a-f]+,[0-9a-f]+ L"((?:[^"\\]|\\.)*)")re");
        std::istringstream trace(outcome.trace);
        for (std::string line; std::getline(trace, line);) {
            std::smatch match;
            if (std::regex_search(line, match, call))
                outcome.boxes.push_back({FromDebugString(match[1]), FromDebugString(match[2]),
                                         static_cast<unsigned>(std::stoul(match[3], nullptr, 16)), 0});
            else if (std::regex_search(line, match, ret) && !outcome.boxes.empty())
                // The relay prints the whole register; the answer is its low 32 bits.
                outcome.boxes.back().result = static_cast<int>(std::stoull(match[1], nullptr, 16) & 0xffffffffu);
            else if (std::regex_search(line, load))
                outcome.portLibraryLoaded = true;
            else if (std::regex_search(line, match, text))
                outcome.windowTexts.push_back(FromDebugString(match[1]));
        }
    }

    static inline std::set<std::string> prefixesUsed;
    static inline pid_t display = 0;
    ScratchDirectory scratch;  // the trace and the port's log
    std::string program;       // where the program, its file and its library lie
    std::string workDirectory;  // where it is started from, if not there
    std::vector<std::string> lines;
    int boxesSeen = 0;  // numbers the screenshots of a test
};

TEST_P(WineEndToEnd, EnterConfirmsAndDrivesTheThreeStepExample) {
    lines[1] = "4";
    lines[3] = "5";
    lines[7] = "2";
    lines[9] = "3";
    lines[23] = "3";

    const Outcome run = Start({{"Tormal fahren", "Return"}});

    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
    EXPECT_EQ(run.boxes[0].title, "Tormal fahren");
    EXPECT_EQ(run.boxes[0].text, kConfirmationText);
    EXPECT_EQ(run.boxes[0].style, kOkCancel);
    EXPECT_EQ(run.boxes[0].result, 1);
    EXPECT_TRUE(run.portLibraryLoaded) << "the trace shows the port library when it is loaded";
    EXPECT_EQ(AddressesAndValues(run.writes), ThreeStepExample());
    EXPECT_EQ(ShortPauses(run.writes), std::vector<std::size_t>{});
}

TEST_P(WineEndToEnd, EscapeOrClosingWritesNothingAndNeverLoadsThePortLibrary) {
    for (const char* key : {"Escape", "alt+F4"}) {
        const Outcome run = Start({{"Tormal fahren", key}});

        EXPECT_EQ(run.status, 0) << key;
        ASSERT_EQ(run.boxes.size(), 1u) << key << run.trace;
        EXPECT_EQ(run.boxes[0].result, 2) << key;
        EXPECT_FALSE(run.portLibraryLoaded) << key;
        EXPECT_FALSE(run.logWritten) << key;
    }
}

TEST_P(WineEndToEnd, TheDriveWindowStopsWithEveryLineOffOrClosesAtTheEnd) {
    constexpr unsigned kOkInformation = 0x40;  // MB_OK | MB_ICONINFORMATION
    const std::string kPlain = "X: Pin 2 (D0) / Pin 3 (D1) · Y: Pin 4 (D2) / Pin 5 (D3) · Port 0x378";
    const struct {
        const char* key;  // none: the drive is left alone
        int steps;
        const char* xStepPin;
        std::string wiringShown;  // the window's texts hold one that starts so
    } cases[] = {{"Escape", 100, "2", kPlain},
                 {"alt+F4", 100, "2", kPlain},
                 {"space", 100, "2", kPlain},
                 {"Return", 100, "2", kPlain},
                 {"", 40, "2", kPlain},
                 {"Escape", 100, "12", "Achtung: X-Schritt auf Pin 12 erreicht den Port nicht"}};
    for (const auto& c : cases) {
        lines[1] = c.xStepPin;
        lines[23] = std::to_string(c.steps);
        const bool stop = *c.key != '\0';
        std::vector<std::pair<std::string, std::string>> answers = {{"Tormal fahren", "Return"},
                                                                    {"Testfahrt läuft", c.key}};
        if (stop) answers.push_back({"Testfahrt abgebrochen", "Return"});

        const Outcome run = Start(answers);

        EXPECT_TRUE(std::any_of(run.windowTexts.begin(), run.windowTexts.end(),
                                [&](const std::string& shown) { return shown.rfind(c.wiringShown, 0) == 0; }))
            << c.wiringShown << run.trace;
        ASSERT_GE(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, kConfirmationText) << "the only box before the drive, its text unchanged";
        if (!stop) {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.writes.size(), 8u * 40 + 1);
            EXPECT_EQ(run.boxes.size(), 1u) << "no box after the drive";
            continue;
        }
        EXPECT_EQ(run.status, 130) << c.key;
        ASSERT_EQ(run.boxes.size(), 2u) << c.key;
        EXPECT_EQ(run.boxes[1].title, "Testfahrt abgebrochen");
        EXPECT_EQ(run.boxes[1].style, kOkInformation);
        ASSERT_GE(run.writes.size(), 3u) << c.key;
        EXPECT_LT(run.writes.size(), 801u) << c.key;
        EXPECT_EQ(AddressesAndValues({run.writes.back()}), (std::vector<std::pair<int, int>>{{888, 0}})) << c.key;
        EXPECT_EQ(run.boxes[1].text, "Fahrt abgebrochen nach " + std::to_string(run.writes.size() / 2) +
                                         " von 400 Schritten; alle Datenleitungen auf 0.");
    }
}

TEST_P(WineEndToEnd, MissingFileShowsItsBoxAndNothingFollows) {
    const Outcome run = Start({{"Datei fehlt!", "Return"}}, false);

    EXPECT_EQ(run.status, 2);
    ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
    EXPECT_EQ(run.boxes[0].title, "Datei fehlt!");
    EXPECT_EQ(run.boxes[0].text, kMissingFileText);
    EXPECT_EQ(run.boxes[0].style, kOkCritical);
    EXPECT_FALSE(run.portLibraryLoaded);
}

TEST_P(WineEndToEnd, FailuresShowACriticalReportAndEndWithStatusOne) {
    const struct {
        const char* name;
        bool confirm;
        std::string report;
    } cases[] = {
        {"pin out of range", false,
         "Laufzeitfehler: Index außerhalb des gültigen Bereichs\nPinbelegung.txt, Zeile 2, „Pin X-Achse Schritt“: "
         "gelesen „18“, erwartet eine ganze Zahl von 0 bis 17 (2 bis 9 sind die Datenleitungen D0 bis D7)"},
        {"port library missing", true, "Laufzeitfehler: Portbibliothek nicht gefunden\ninpout32.dll: "},
        {"no Out32", true, "Laufzeitfehler: Einsprungpunkt nicht gefunden\ninpout32.dll: Out32: "},
        // A library in the directory the program is started from is never loaded.
        {"port library in the working directory", true,
         "Laufzeitfehler: Portbibliothek nicht gefunden\ninpout32.dll: gesucht neben dem Programm (Z:"},
    };
    for (const auto& c : cases) {
        lines = SampleLines();
        const std::string name = c.name;
        if (name == "pin out of range") lines[1] = "18";
        const std::string library = program + "/inpout32.dll";
        fs::remove(library);
        if (name == "no Out32") fs::copy_file(GetParam().folder + "/tests/libno_out32.dll", library);
        if (name == "pin out of range") fs::copy_file(GetParam().folder + "/inpout32.dll", library);
        workDirectory = scratch / "start";
        fs::create_directories(workDirectory);
        if (name == "port library in the working directory") {
            fs::copy_file(GetParam().folder + "/inpout32.dll", workDirectory + "/inpout32.dll",
                          fs::copy_options::overwrite_existing);
            // Wine's trace cuts a long text short; the report must show to its end.
            program = scratch / "kurz";
            fs::create_directories(program);
            fs::copy_file(GetParam().folder + "/plottertest.exe", program + "/plottertest.exe");
        }
        std::vector<std::pair<std::string, std::string>> answers;
        if (c.confirm) answers.push_back({"Tormal fahren", "Return"});
        answers.push_back({"plottertest", "Return"});

        const Outcome run = Start(answers);

        EXPECT_EQ(run.status, 1) << c.name;
        ASSERT_EQ(run.boxes.size(), answers.size()) << c.name << run.trace;
        const Box& report = run.boxes.back();
        EXPECT_EQ(report.title, "plottertest");
        EXPECT_EQ(report.style, kOkCritical);
        EXPECT_EQ(report.text.rfind(c.report, 0), 0u) << c.name << ": " << report.text;
        EXPECT_TRUE(run.writes.empty()) << c.name;
        if (name == "port library in the working directory") {
            EXPECT_NE(report.text.find(") und im Systemverzeichnis (C:\\"), std::string::npos) << report.text;
        }
    }
}

// The zip as a user unpacks it into a fresh folder; only the 32-bit program is packed.
class WineZip : public WineEndToEnd {};

TEST_P(WineZip, RunsAsUnpackedAndDrivesWithTheSimulatedPortCopiedUp) {
    const std::string top = "plottertest-" + kVersion + "-win32";
    ASSERT_TRUE(Succeeds("cmake --build '" + GetParam().folder + "' --target package"));
    program = scratch / "Neuer Ordner";
    fs::create_directories(program);
    ASSERT_TRUE(Succeeds("cd '" + program + "' && cmake -E tar xf '" + GetParam().folder + "/" + top + ".zip'"));
    program += "/" + top;

    const Outcome bare = Start({{"Tormal fahren", "Return"}, {"plottertest", "Return"}}, false);
    EXPECT_EQ(bare.status, 1);
    ASSERT_EQ(bare.boxes.size(), 2u) << bare.trace;
    EXPECT_EQ(bare.boxes[1].text.rfind("Laufzeitfehler: Portbibliothek nicht gefunden\n", 0), 0u) << bare.boxes[1].text;
    EXPECT_NE(bare.boxes[1].text.find("(" + WindowsPath(program) + "\\inpout32.dll)"), std::string::npos)
        << bare.boxes[1].text;

    fs::copy_file(program + "/Simulation/inpout32.dll", program + "/inpout32.dll");
    const Outcome simulated = Start({{"Tormal fahren", "Return"}}, false);
    EXPECT_EQ(simulated.status, 0);
    EXPECT_EQ(simulated.writes.size(), 801u);
}

std::string BuildName(const ::testing::TestParamInfo<WindowsBuild>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Builds, WineEndToEnd, ::testing::Values(kWin32, kWin64), BuildName);
INSTANTIATE_TEST_SUITE_P(Builds, WineZip, ::testing::Values(kWin32), BuildName);

}  // namespace

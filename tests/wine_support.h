#pragma once
// The machinery of the Windows program's end-to-end tests: each Windows build
// and the Wine loader that runs it, a run of the program with its boxes
// answered, and what the run showed.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "test_files.h"

struct WindowsBuild {
    std::string name;    // win32 or win64, as Wine's prefixes name the word size
    std::string folder;  // the build directory
    std::string loader;  // the Wine loader that runs it
    std::string check;   // a command that succeeds where that loader can run programs of the build's word size
    std::string cannotRun;  // why a loader that fails may fail here
};
void PrintTo(const WindowsBuild& build, std::ostream* out);

extern const WindowsBuild kWin32;  // the program users get, under Wine's 32-bit loader
extern const WindowsBuild kWin64;  // the 64-bit test build, under wine64

struct Box {
    std::string text;
    std::string title;
    unsigned style;
    int result;
    unsigned long long owner = 0;  // the window handle MessageBoxW was given
};

struct Outcome {
    int status = -1;
    std::vector<Box> boxes;       // as passed to MessageBoxW, in order, but for the one below
    std::vector<Box> lateSteps;   // the box on late steps, which a busy machine may bring after any drive
    std::vector<std::string> windowTexts;  // as passed to SetWindowTextW: the window's lines and titles
    unsigned long long window = 0;          // the handle of the program's window, once it is made
    bool windowBesideConfirmation = false;  // „Testfahrt vorbereiten“ was on screen with „Tormal fahren“
    bool portLibraryLoaded = false;
    std::vector<PortWrite> writes;
    bool logWritten = false;
    std::string trace;
    std::vector<Outcome> others;  // of the second copies started meanwhile (kSecondCopy)
    // With measurePlaces: for each box or window answered, by its title, where
    // the windows stood just before (tests/window_places.exe's lines).
    std::vector<std::pair<std::string, std::string>> places;
};

// As the key of a window in Start's answers: once the window is there, a
// second copy of the program is started beside the first, confirmed, and its
// failure report answered.
inline const std::string kSecondCopy = "second copy";

// A Linux path as the Windows program sees it, on Wine's drive Z:.
std::string WindowsPath(const std::string& path);

// Whether a shell command ends with status 0; its output is dropped.
bool Succeeds(const std::string& command);

// Another program under Wine (tests/hold_file.exe of the build) that holds the
// file at a Windows path open without sharing it, until Release.
struct HeldFile {
    pid_t program = 0;
    int input = -1;  // its standard input, whose end lets it go
};
HeldFile Hold(const WindowsBuild& build, const std::string& windowsPath);
void Release(HeldFile& held);

// Each test once for each build. A build that cannot run here (no Wine, no X
// tools, not built) is skipped with the reason; one older than its sources fails.
class WineEndToEnd : public ::testing::TestWithParam<WindowsBuild> {
protected:
    static void TearDownTestSuite();
    void SetUp() override;

    // Starts the program, answers each box whose title is given with its key
    // (none: waits until it closes by itself; "stall": holds the program 100 ms
    // once the window is there, as a busy machine would; "wineboot …": runs
    // that, such as the end of the session), and waits for the
    // program to end, answering a box on late steps meanwhile.
    Outcome Start(const std::vector<std::pair<std::string, std::string>>& answers, bool writeFile = true);
    Outcome StartOnce(const std::vector<std::pair<std::string, std::string>>& answers, bool writeFile);
    void Answer(const std::string& title, const std::string& key, pid_t running, bool untilClosed = true);
    pid_t Launch(const std::string& traceName, const std::string& windowsLog);  // the program under Wine
    // The virtual screen at this size, and Wine's scale at this DPI, for the runs from now on.
    void UseScreen(int width, int height, int dpi);

    ScratchDirectory scratch;  // the trace and the port's log
    std::string program;       // where the program, its file and its library lie
    std::string workDirectory;  // where it is started from, if not there
    std::string heldDuringRun;  // a Windows path that another program holds while the program runs (Hold)
    bool measurePlaces = false;  // Outcome::places
    std::vector<std::pair<std::string, std::string>> placesSeen;
    std::vector<std::string> lines;
    int boxesSeen = 0;  // numbers the screenshots of a test
    bool windowBesideConfirmation = false;
    std::string endedBeforeBox;  // the first box the program ended without showing
};

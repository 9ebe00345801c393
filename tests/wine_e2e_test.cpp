// Runs the Windows program under Wine on a virtual X display and answers its
// message boxes with xdotool, as a user at the keyboard would; every test runs
// against each Windows build: the 32-bit one users get (build-windows, Wine's
// 32-bit loader) and the 64-bit test build (build-windows-x64, wine64), each
// in a Wine prefix of its own. What the program passes to user32 is read from
// Wine's relay trace; a screenshot of every box is kept under the build's
// test-artifacts folder. The machinery is in wine_support.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"
#include "wine_support.h"

namespace {

namespace fs = std::filesystem;

const std::string kVersion = PLOTTERTEST_VERSION;

const std::string kConfirmationText =
    "Es wird ein Rechteck gefahren mit jeweils 100 Motorschritten nach vorne und 100 Motorschritten nach "
    "rechts!\rBitte die Schlitten passend Positionieren , auch die Z-Achse , das geplottet werden kann und auf "
    "[OK] drücken !";
const std::string kMissingFileText =
    "Achtung !\rEs fehlt die Datei :  Pinbelegung.txt !\r"
    "Ohne diese Datei kann dieses Programm leider nicht ordnungsgemäß funktionieren!";
constexpr unsigned kOkCancel = 0x1;         // MB_OKCANCEL, first button default, no icon
constexpr unsigned kOkCritical = 0x10;      // MB_OK | MB_ICONERROR

// Whether the window showed a text that starts so.
bool Shows(const Outcome& run, const std::string& start) {
    return std::any_of(run.windowTexts.begin(), run.windowTexts.end(),
                       [&](const std::string& shown) { return shown.rfind(start, 0) == 0; });
}

// The confirmation came over the program's window, owned by it, with the expected way shown.
void ExpectConfirmationOverTheWindow(const Outcome& run, const std::string& way) {
    EXPECT_TRUE(run.windowBesideConfirmation) << "„Testfahrt vorbereiten“ was not on screen with the confirmation";
    EXPECT_NE(run.window, 0u) << run.trace;
    ASSERT_FALSE(run.boxes.empty());
    EXPECT_EQ(run.boxes[0].owner, run.window) << "the confirmation's owner";
    EXPECT_TRUE(Shows(run, way)) << way;
}

TEST_P(WineEndToEnd, EnterConfirmsAndDrivesTheThreeStepExample) {
    lines[1] = "4";
    lines[3] = "5";
    lines[7] = "2";
    lines[9] = "3";
    lines[23] = "3";
    // The simulated port, and a library whose IsInpOutDriverOpen says its driver is open.
    setenv("PLOTTERTEST_DRIVER_OPEN", "1", 1);
    setenv("PLOTTERTEST_PORT_VCD", WindowsPath(scratch / "trace.vcd").c_str(), 1);
    for (const char* library : {"inpout32.dll", "tests/recording_port.dll"}) {
        fs::copy_file(GetParam().folder + "/" + library, program + "/inpout32.dll",
                      fs::copy_options::overwrite_existing);

        const Outcome run = Start({{"Tormal fahren", "Return"}, {"Testfahrt beendet", "Return"}});

        EXPECT_EQ(run.status, 0) << library;
        ASSERT_EQ(run.boxes.size(), 1u) << library << run.trace;
        EXPECT_EQ(run.boxes[0].title, "Tormal fahren");
        EXPECT_EQ(run.boxes[0].text, kConfirmationText);
        EXPECT_EQ(run.boxes[0].style, kOkCancel);
        EXPECT_EQ(run.boxes[0].result, 1);
        ExpectConfirmationOverTheWindow(
            run, "Erwarteter Weg: Rechteck 3 × 3 Schritte (nach vorne × nach rechts), zurück am Start.");
        // Named once it is loaded: a user who forgot to put the real library back must see it.
        const bool simulated = std::string(library) == "inpout32.dll";
        EXPECT_EQ(Shows(run, "Portbibliothek: der simulierte Port; es bewegt sich keine Hardware.\r\nZ:\\"), simulated)
            << library;
        EXPECT_EQ(Shows(run, "Portbibliothek: Z:\\"), !simulated) << library;
        // The window's last state says what the port read back, where the library can read.
        EXPECT_TRUE(Shows(run, std::string("Fertig: 12 Schritte gefahren, alle Datenleitungen auf 0; ") +
                                   (simulated ? "alle 25 Werte vom Port zurückgelesen."
                                              : "die Portbibliothek kann nicht zurücklesen (kein Inp32)")))
            << library;
        EXPECT_TRUE(run.portLibraryLoaded) << "the trace shows the port library when it is loaded";
        EXPECT_EQ(AddressesAndValues(run.writes), ThreeStepExample()) << library;
        EXPECT_EQ(ShortPauses(run.writes), std::vector<std::size_t>{}) << library;
        EXPECT_EQ(ShortLowPhases(run.writes), std::vector<std::size_t>{}) << library;
        if (std::string(library) == "inpout32.dll") {  // the simulated port draws the way beside its trace
            EXPECT_NE(ReadText(scratch / "trace.svg")
                          .find("<title>Weg: Rechteck 3 × 3 Schritte (nach vorne × nach rechts), zurück am Start.</title>"),
                      std::string::npos);
        }
    }
    unsetenv("PLOTTERTEST_PORT_VCD");
}

TEST_P(WineEndToEnd, EscapeOrClosingWritesNothingAndNeverLoadsThePortLibrary) {
    for (const char* key : {"Escape", "alt+F4"}) {
        const Outcome run = Start({{"Tormal fahren", key}});

        EXPECT_EQ(run.status, 0) << key;
        ASSERT_EQ(run.boxes.size(), 1u) << key << run.trace;
        EXPECT_EQ(run.boxes[0].result, 2) << key;
        ExpectConfirmationOverTheWindow(
            run, "Erwarteter Weg: Rechteck 100 × 100 Schritte (nach vorne × nach rechts), zurück am Start.");
        EXPECT_FALSE(run.portLibraryLoaded) << key;
        EXPECT_FALSE(run.logWritten) << key;
    }
}

TEST_P(WineEndToEnd, TheDriveWindowStopsWithEveryLineOffOrClosesAtTheEnd) {
    constexpr unsigned kOkInformation = 0x40;  // MB_OK | MB_ICONINFORMATION
    const std::string kPlain = "X: Pin 2 (D0) / Pin 3 (D1) · Y: Pin 4 (D2) / Pin 5 (D3) · Port 0x378";
    const struct {
        const char* key;  // none: the drive is left alone; "stall": held 100 ms, so that a step comes late
        int steps;
        const char* xStepPin;
        std::string wiringShown;  // the window's texts hold one that starts so
        // Beside the program; the recording one logs each write at once, also when the program is ended.
        const char* library = "inpout32.dll";
        // PLOTTERTEST_PORT_INPUTS, with a stop input „Endschalter X rechts“ on pin 11 at 0 in the file
        const char* inputs = "";
        // What closes the window „Testfahrt beendet“ after the drive; the status stays the drive's.
        const char* close = "Return";
    } cases[] = {{"", 100, "2", kPlain, "inpout32.dll", "11=0@110"},
                 {"", 20, "2", kPlain, "inpout32.dll", "", "Escape"},
                 {"", 20, "2", kPlain, "inpout32.dll", "", "alt+F4"},
                 {"", 20, "2", kPlain, "inpout32.dll", "", "space"},
                 {"Escape", 100, "2", kPlain, "inpout32.dll", "", "alt+F4"},
                 {"Escape", 100, "2", kPlain},
                 {"alt+F4", 100, "2", kPlain},
                 {"space", 100, "2", kPlain},
                 {"Return", 100, "2", kPlain},
                 {"", 40, "2", kPlain},
                 {"stall", 40, "2", kPlain},
                 {"Escape", 100, "12", "Achtung: X-Schritt auf Pin 12 erreicht den Port nicht"},
                 // Started twice: the second copy writes nothing while the first drives on.
                 {kSecondCopy.c_str(), 200, "2", kPlain},
                 // The end of the session: every line off before the program answers; Wine then ends it.
                 {"wineboot --end-session", 100, "2", kPlain, "tests/recording_port.dll"},
                 {"wineboot --end-session --force", 100, "2", kPlain, "tests/recording_port.dll"}};
    for (const auto& c : cases) {
        lines[1] = c.xStepPin;
        lines[23] = std::to_string(c.steps);
        fs::copy_file(GetParam().folder + "/" + c.library, program + "/inpout32.dll", fs::copy_options::overwrite_existing);
        const bool stall = std::string(c.key) == "stall";
        const bool twice = c.key == kSecondCopy;
        const bool endOfSession = std::string(c.key).rfind("wineboot", 0) == 0;
        const bool stop = *c.key != '\0' && !stall && !twice && !endOfSession;
        const bool input = *c.inputs != '\0';
        std::vector<std::pair<std::string, std::string>> answers = {{"Tormal fahren", "Return"},
                                                                    {"Testfahrt läuft", c.key}};
        if (stop || input) answers.push_back({"Testfahrt abgebrochen", "Return"});
        // The window stays with the drive's end until it is closed.
        if (!endOfSession) answers.push_back({"Testfahrt beendet", c.close});
        lines.resize(24);
        if (input) lines.insert(lines.end(), {"Endschalter X rechts", "11 0"});
        setenv("PLOTTERTEST_PORT_INPUTS", c.inputs, 1);

        const Outcome run = Start(answers);
        unsetenv("PLOTTERTEST_PORT_INPUTS");
        if (!endOfSession) {
            EXPECT_TRUE(Shows(run, "Testfahrt beendet")) << c.key << " " << c.close;
        }

        EXPECT_TRUE(Shows(run, c.wiringShown)) << c.wiringShown << run.trace;
        ASSERT_GE(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, kConfirmationText) << "the only box before the drive, its text unchanged";
        if (input) {
            // Stopped before step 111 with one write of 0; the window showed the inputs and where pin 11 fell.
            EXPECT_EQ(run.status, 3) << run.trace;
            EXPECT_EQ(run.writes.size(), 221u);
            ASSERT_EQ(run.boxes.size(), 2u);
            EXPECT_EQ(run.boxes[1].text, "Fahrt angehalten nach 110 von 400 Schritten: Endschalter X rechts (Pin 11) "
                                         "ausgelöst bei Seite 2/4 nach rechts, Schritt 10; alle Datenleitungen auf 0.");
            EXPECT_TRUE(std::any_of(run.windowTexts.begin(), run.windowTexts.end(), [](const std::string& text) {
                return text.rfind("Eingänge:\r\nPin 10 (ACK): 1\r\nPin 11 (BUSY, Endschalter X rechts, hält an bei 0): 0, "
                                  "auf 0 bei Seite 2/4 nach rechts, Schritt 10", 0) == 0;
            })) << run.trace;
            EXPECT_TRUE(Shows(run, kPlain + "\r\nStoppeingang: Pin 11 „Endschalter X rechts“ bei 0"));
            continue;
        }
        if (endOfSession) {
            // Ended by the session once every line was off: no further pulse, whatever came after.
            ASSERT_GE(run.writes.size(), 3u) << c.key;
            EXPECT_LT(run.writes.size(), 801u) << c.key;
            EXPECT_EQ(AddressesAndValues({run.writes.back()}), (std::vector<std::pair<int, int>>{{888, 0}})) << c.key;
            continue;
        }
        if (!stop) {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.writes.size(), 8u * c.steps + 1);
            EXPECT_EQ(run.boxes.size(), 1u) << "no box after the drive";
            if (twice) {
                ASSERT_EQ(run.others.size(), 1u);
                const Outcome& second = run.others[0];
                EXPECT_EQ(second.status, 1) << second.trace;
                ASSERT_EQ(second.boxes.size(), 2u) << second.trace;
                EXPECT_EQ(second.boxes[1].text,
                          "Laufzeitfehler: Port belegt\nPort 888 (0x378) wird gerade von einem anderen plottertest "
                          "gefahren; es wurde nichts geschrieben.\nAbhilfe: die andere Testfahrt zu Ende fahren oder "
                          "anhalten, dann diese neu starten.");
                EXPECT_EQ(second.boxes[1].style, kOkCritical);
                EXPECT_FALSE(second.portLibraryLoaded);
                EXPECT_FALSE(second.logWritten);
            }
            if (stall) {
                ASSERT_EQ(run.lateSteps.size(), 1u) << "the late steps are said after the drive";
                // At least the held one; a busy machine may add more.
                EXPECT_EQ(run.lateSteps[0].text.rfind("Achtung: ", 0), 0u) << run.lateSteps[0].text;
                EXPECT_NE(run.lateSteps[0].text.find(" von 160 Schritten "), std::string::npos) << run.lateSteps[0].text;
                EXPECT_EQ(run.lateSteps[0].style, 0x30u);  // MB_OK | MB_ICONWARNING
            }
            continue;
        }
        EXPECT_EQ(run.status, 130) << c.key;
        ASSERT_EQ(run.boxes.size(), 2u) << c.key;
        EXPECT_EQ(run.boxes[1].title, "Testfahrt abgebrochen");
        EXPECT_EQ(run.boxes[1].owner, run.window) << "the boxes after the drive are owned by the window";
        EXPECT_EQ(run.boxes[1].style, kOkInformation);
        ASSERT_GE(run.writes.size(), 3u) << c.key;
        EXPECT_LT(run.writes.size(), 801u) << c.key;
        EXPECT_EQ(AddressesAndValues({run.writes.back()}), (std::vector<std::pair<int, int>>{{888, 0}})) << c.key;
        EXPECT_EQ(run.boxes[1].text, "Fahrt abgebrochen nach " + std::to_string(run.writes.size() / 2) +
                                         " von 400 Schritten; alle Datenleitungen auf 0.");
    }
}

// A window or control as tests/window_places.exe says where it stands.
struct Placed {
    std::string kind, name, text;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Within(const Placed& outer) const {
        return left >= outer.left && top >= outer.top && right <= outer.right && bottom <= outer.bottom;
    }
    bool Overlaps(const Placed& other) const {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
};

// The first of that kind and name whose text starts so.
Placed Find(const std::string& places, const std::string& kind, const std::string& name, const std::string& text = "") {
    std::istringstream lines(places);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Placed placed;
        fields >> placed.kind;
        if (placed.kind != "work") fields >> placed.name;
        fields >> placed.left >> placed.top >> placed.right >> placed.bottom;
        std::getline(fields >> std::ws, placed.text);
        if (placed.kind == kind && placed.name == name && placed.text.rfind(text, 0) == 0) return placed;
    }
    ADD_FAILURE() << "no " << kind << " " << name << " " << text << " in\n" << places;
    return {};
}

// On the screens the users have: a small one at 100 %, a laptop's at 150 %, an
// old one at 125 %, with the longest texts a wiring gives. The window, its
// boxes and, during the drive, the progress and „Anhalten“ lie on the screen,
// and no box covers the picture.
TEST_P(WineEndToEnd, TheWindowAndItsBoxesFitEveryScreen) {
    const struct {
        int width, height, dpi;
    } screens[] = {{1024, 600, 96}, {1024, 768, 144}, {800, 600, 120}};
    lines[7] = "2";  // X and Y step on one pin: a warning, the way for both edges and a signal line
    // Three stop inputs, and two entries that are none, each with its warning.
    lines.insert(lines.end(), {"Not-Halt an der Frontplatte", "10 0", "Endschalter X rechts", "11 0",
                               "Endschalter Y vorne", "12 0", "Sonde", "15", "Taster", "2 0"});
    for (const auto& screen : screens) {
        const std::string row = std::to_string(screen.width) + "x" + std::to_string(screen.height) + " at " +
                                std::to_string(screen.dpi) + " dpi";
        UseScreen(screen.width, screen.height, screen.dpi);
        measurePlaces = true;
        const Outcome run = Start({{"Tormal fahren", "Return"},
                                   {"Testfahrt läuft", "Escape"},
                                   {"Testfahrt abgebrochen", "Return"},
                                   {"Testfahrt beendet", "Return"}});
        measurePlaces = false;
        EXPECT_EQ(run.status, 130) << row;
        ASSERT_EQ(run.places.size(), 4u) << row;
        for (const auto& [title, places] : run.places) {
            const Placed work = Find(places, "work", "");
            const Placed window = Find(places, "window", "plottertestWindow");
            const Placed picture = Find(places, "child", "plottertestPicture");
            EXPECT_TRUE(window.Within(work)) << row << ", " << title << ":\n" << places;
            EXPECT_TRUE(picture.Within(window)) << row << ", " << title;
            if (title == "Testfahrt läuft" || title == "Testfahrt beendet") {
                for (const char* control : {"msctls_progress32", "Button"})
                    EXPECT_TRUE(Find(places, "child", control).Within(work)) << row << ": " << control << "\n" << places;
                continue;
            }
            const Placed box = Find(places, "window", "#32770", title);
            EXPECT_TRUE(box.Within(work)) << row << ", " << title << ":\n" << places;
            EXPECT_FALSE(box.Overlaps(picture)) << row << ", " << title << ":\n" << places;
        }
    }
    UseScreen(1024, 768, 96);
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
    // The simulated library of the other word size, as a user takes it from the wrong folder.
    const bool win32 = GetParam().name == kWin32.name;
    const std::string otherWordSize = (win32 ? kWin64 : kWin32).folder + "/inpout32.dll";
    const struct {
        const char* name;
        const char* xStepPin;
        std::string besideProgram;  // the library there: "" none, a file of the build, "/..." any file, "=" text
        bool inWorkDirectory;       // the simulated library where the program is started from
        bool confirm;
        std::string report;  // the report starts so
        std::string reportHas;
        std::string besideName = "inpout32.dll";
        bool shortFolder = false;  // Wine's trace cuts a long text short; the report must show to its end
        const char* fault = "";    // PLOTTERTEST_PORT_FAULT: the simulated port does not take its values
        bool held = false;         // another program holds the library without sharing it for reading
    } cases[] = {
        {"pin out of range", "18", "inpout32.dll", false, false,
         "Laufzeitfehler: Index außerhalb des gültigen Bereichs\nPinbelegung.txt, Zeile 2, „Pin X-Achse Schritt“: "
         "gelesen „18“, erwartet eine ganze Zahl von 0 bis 17 (2 bis 9 sind die Datenleitungen D0 bis D7)", ""},
        {"port library missing", "2", "", false, true, "Laufzeitfehler: Portbibliothek nicht gefunden\ninpout32.dll: ",
         ""},
        {"no Out32", "2", "tests/libno_out32.dll", false, true,
         "Laufzeitfehler: Einsprungpunkt nicht gefunden\ninpout32.dll: Out32: ", ""},
        // Its IsInpOutDriverOpen answers 0 here (PLOTTERTEST_DRIVER_OPEN).
        {"port driver not open", "2", "tests/recording_port.dll", false, true,
         "Laufzeitfehler: Porttreiber nicht geöffnet\nDer Treiber von inpout32.dll ist nicht geöffnet; es wurde "
         "nichts auf den Port geschrieben.\nAbhilfe: plottertest einmal als Administrator starten",
         ""},
        // A library in the directory the program is started from is never loaded.
        {"port library of the other word size", "2", otherWordSize, false, true,
         "Laufzeitfehler: Portbibliothek nicht ladbar\nZ:",
         win32 ? "\\inpout32.dll ist eine 64-Bit-DLL; dieses Programm braucht die 32-Bit-Datei inpout32.dll (aus "
                 "dem Ordner Win32 im ZIP-Archiv der Portbibliothek)."
               : "\\inpout32.dll ist eine 32-Bit-DLL; dieses Programm braucht eine 64-Bit-DLL",
         "inpout32.dll", true},
        {"port library that is no DLL", "2", "=<html>Download</html>", false, true,
         "Laufzeitfehler: Portbibliothek nicht ladbar\nZ:", "\\inpout32.dll ist keine DLL", "inpout32.dll", true},
        {"inpoutx64.dll alone", "2", otherWordSize, false, true,
         "Laufzeitfehler: Portbibliothek nicht gefunden\ninpout32.dll: gesucht neben dem Programm (Z:",
         "\nNeben dem Programm liegt inpoutx64.dll: das ist die", "inpoutx64.dll",
         true},
        // A library in the directory the program is started from is never loaded.
        // Stopped at the first value it did not take; the trace holds the report's first line.
        {"port that does not take its values", "2", "inpout32.dll", false, true,
         "Laufzeitfehler: Port nimmt die Werte nicht an\nPort 888 (0x378): geschrieben 8 (0x08), zurückgelesen 255 "
         "(0xFF) beim 1. Schreibzugriff",
         " (Seite 1/4 nach vorne, Schritt 1)", "inpout32.dll", true, "kein-port"},
        // The loader's own reason, not a guess from bytes that could not be read.
        {"port library another program holds", "2", "inpout32.dll", false, true,
         "Laufzeitfehler: Portbibliothek nicht ladbar\nZ:", "\\inpout32.dll lässt sich nicht lesen: ", "inpout32.dll",
         true, "", true},
        {"port library in the working directory", "2", "", true, true,
         "Laufzeitfehler: Portbibliothek nicht gefunden\ninpout32.dll: gesucht neben dem Programm (Z:",
         ") und im Systemverzeichnis (C:\\"},
    };
    setenv("PLOTTERTEST_DRIVER_OPEN", "0", 1);
    for (const auto& c : cases) {
        lines = SampleLines();
        lines[1] = c.xStepPin;
        if (c.shortFolder) {
            program = scratch / "kurz";
            fs::create_directories(program);
            fs::copy_file(GetParam().folder + "/plottertest.exe", program + "/plottertest.exe",
                          fs::copy_options::overwrite_existing);
        }
        fs::remove(program + "/inpout32.dll");
        fs::remove(program + "/inpoutx64.dll");
        const std::string library = program + "/" + c.besideName;
        if (c.besideProgram.rfind('=', 0) == 0) {
            std::ofstream(library, std::ios::binary) << c.besideProgram.substr(1);
        } else if (c.besideProgram.rfind('/', 0) == 0) {
            fs::copy_file(c.besideProgram, library);
        } else if (!c.besideProgram.empty()) {
            fs::copy_file(GetParam().folder + "/" + c.besideProgram, library);
        }
        workDirectory = scratch / "start";
        fs::create_directories(workDirectory);
        if (c.inWorkDirectory) {
            fs::copy_file(GetParam().folder + "/inpout32.dll", workDirectory + "/inpout32.dll",
                          fs::copy_options::overwrite_existing);
            // Wine's trace cuts a long text short; the report must show to its end.
            program = scratch / "kurz";
            fs::create_directories(program);
            fs::copy_file(GetParam().folder + "/plottertest.exe", program + "/plottertest.exe",
                          fs::copy_options::overwrite_existing);
        }
        std::vector<std::pair<std::string, std::string>> answers;
        if (c.confirm) answers.push_back({"Tormal fahren", "Return"});
        answers.push_back({"plottertest", "Return"});

        setenv("PLOTTERTEST_PORT_FAULT", c.fault, 1);
        heldDuringRun = c.held ? WindowsPath(library) : "";
        const Outcome run = Start(answers);
        heldDuringRun.clear();
        unsetenv("PLOTTERTEST_PORT_FAULT");

        EXPECT_EQ(run.status, 1) << c.name;
        ASSERT_EQ(run.boxes.size(), answers.size()) << c.name << run.trace;
        const Box& report = run.boxes.back();
        EXPECT_EQ(report.title, "plottertest");
        EXPECT_EQ(report.style, kOkCritical);
        EXPECT_EQ(report.text.rfind(c.report, 0), 0u) << c.name << ": " << report.text;
        EXPECT_NE(report.text.find(c.reportHas), std::string::npos) << c.name << ": " << report.text;
        EXPECT_EQ(report.text.find("%1"), std::string::npos) << c.name << ": " << report.text;
        // Nothing written, or the value not taken and the 0 after it.
        EXPECT_EQ(AddressesAndValues(run.writes),
                  (*c.fault == '\0' ? std::vector<std::pair<int, int>>{} : std::vector<std::pair<int, int>>{{888, 8}, {888, 0}}))
            << c.name;
    }
    unsetenv("PLOTTERTEST_DRIVER_OPEN");
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
    const Outcome simulated = Start({{"Tormal fahren", "Return"}, {"Testfahrt beendet", "Return"}}, false);
    EXPECT_EQ(simulated.status, 0);
    EXPECT_EQ(simulated.writes.size(), 801u);
}

std::string BuildName(const ::testing::TestParamInfo<WindowsBuild>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Builds, WineEndToEnd, ::testing::Values(kWin32, kWin64), BuildName);
INSTANTIATE_TEST_SUITE_P(Builds, WineZip, ::testing::Values(kWin32), BuildName);

}  // namespace

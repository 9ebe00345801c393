// Runs the built program as a user would: copied with the simulated port into
// a scratch directory, answering the dialog on standard input, with the port's
// write log in PLOTTERTEST_PORT_LOG.

#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "launch.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

struct Outcome : Ended {
    std::vector<PortWrite> writes;
    bool logWritten;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(PLOTTERTEST_PROGRAM, program / "plottertest");
        fs::copy_file(PLOTTERTEST_SIM_PORT, program / "libinpout32.so");
        lines = SampleLines();
    }

    // Runs the program from another working directory, so that only the
    // program's own directory can supply the wiring file and the port.
    Outcome Start(const std::string& answers, bool writeFile = true, const std::string& environment = "",
                  const std::string& more = "") {
        Launch launch = Prepared(writeFile);
        launch.input = answers;
        for (const std::string& variable : {environment, more})
            if (!variable.empty()) launch.environment.push_back(variable);
        return Finish(launch);
    }

    Launch Prepared(bool writeFile = true) {
        if (writeFile) WriteLines(program / "Pinbelegung.txt", lines);
        fs::remove(work / "log");
        Launch launch;
        launch.program = program / "plottertest";
        launch.workDirectory = work.path();
        launch.environment = {"PLOTTERTEST_PORT_LOG=" + (work / "log")};
        return launch;
    }

    Outcome Finish(const Launch& launch) {
        Outcome run{RunBuiltProgram(launch), ReadPortLog(work / "log"), fs::exists(work / "log")};
        return run;
    }

    void UseThreeStepExample() {
        lines[1] = "4";  // X step: bit 4
        lines[3] = "5";  // X direction: bit 8
        lines[7] = "2";  // Y step: bit 1
        lines[9] = "3";  // Y direction: bit 2
        lines[23] = "3";
    }

    ScratchDirectory program;
    ScratchDirectory work;
    std::vector<std::string> lines;
};

// Rising edges of the data lines D0..D7 in a sequence of port levels.
std::vector<int> RisingEdges(const std::vector<unsigned>& levels) {
    std::vector<int> edges(8);
    unsigned previous = 0;
    for (unsigned level : levels) {
        for (int line = 0; line < 8; ++line) edges[line] += (level >> line & 1u) && !(previous >> line & 1u);
        previous = level;
    }
    return edges;
}

// The level of D0..D7 at the end of the simulated port's trace; -1 when the
// trace is cut short (no time stamp after its last change).
int LevelAtTheEnd(const std::string& vcd) {
    unsigned level = 0;
    std::istringstream trace(vcd);
    std::string line, last;
    for (; std::getline(trace, line); last = line)
        if (line.size() == 2 && (line[0] == '0' || line[0] == '1') && line[1] >= '!' && line[1] < '!' + 8)
            level = (level & ~(1u << (line[1] - '!'))) | unsigned(line[0] - '0') << (line[1] - '!');
    return last.rfind('#', 0) == 0 ? int(level) : -1;
}

TEST_F(EndToEnd, ThreeStepsWriteForWrite) {
    UseThreeStepExample();

    const Outcome run = Start("\n");

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(AddressesAndValues(run.writes), ThreeStepExample());
    EXPECT_EQ(ShortPauses(run.writes), std::vector<std::size_t>{});
    EXPECT_NE(run.err.find("Simulierter Parallelport an Adresse 888 (0x378)"), std::string::npos) << run.err;
    // The end: how it ended, and the simulated port's open inputs, each read high throughout.
    const std::string end = "\nFertig: 12 Schritte gefahren, alle Datenleitungen auf 0; alle 25 Werte vom Port "
                            "zurückgelesen.\nEingänge:\nPin 10 (ACK): 1\nPin 11 (BUSY): 1\nPin 12 (PAPER-OUT): 1\nPin 13 "
                            "(SELECT): 1\nPin 15 (ERROR): 1\n";
    EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), end.size())), end);
}

TEST_F(EndToEnd, HundredStepsMake801WritesAtTheirPace) {
    const Outcome run = Start("ok\n");

    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.writes.size(), 801u);
    EXPECT_EQ(run.writes.back().value, 0);
    EXPECT_EQ(ShortPauses(run.writes), std::vector<std::size_t>{});
    const double seconds = double(run.writes.back().ns - run.writes.front().ns) / 1e9;
    EXPECT_GE(seconds, 399 * 0.015);
    EXPECT_EQ(ShortLowPhases(run.writes), std::vector<std::size_t>{});
    EXPECT_NE(run.err.find("801 Schreibzugriffe"), std::string::npos) << run.err;
}

TEST_F(EndToEnd, CancelWritesNothingAndNeverLoadsThePort) {
    for (const char* answers : {"a\n", "Abbrechen\n", "cancel\n", "\x1b\n", "", "vielleicht\nc\n"}) {
        const Outcome run = Start(answers);
        EXPECT_EQ(run.status, 0) << answers;
        EXPECT_FALSE(run.logWritten) << answers;
        EXPECT_EQ(run.err, "") << "the simulated port speaks when it is loaded";
        EXPECT_NE(run.out.find("== Tormal fahren =="), std::string::npos);
        EXPECT_NE(run.out.find("\nAbgebrochen: es wurde nichts auf den Port geschrieben.\n"), std::string::npos);
    }
    // The wiring before the box: the pins with their data lines, the port, the
    // steps, and a line „Achtung“ for each wiring that cannot work as meant.
    const struct {
        int line;
        std::string value;
        std::vector<std::string> shown;
    } wirings[] = {
        {24, "100", {"Schritt Pin 2 (D0), Richtung Pin 3 (D1)", "Schritt Pin 4 (D2), Richtung Pin 5 (D3)",
                     "Port 888 (0x378); 100 Schritte je Seite"}},
        {2, "12", {"\nAchtung: X-Schritt auf Pin 12 erreicht den Port nicht"}},
        {8, "3", {"\nAchtung: Y-Schritt und Y-Richtung beide auf Pin 3 (D1): Seite 1 setzt stattdessen D2 (Pin 4)"}},
        {24, "0", {"\nAchtung: Pinbelegung.txt, Zeile 24, „Schritte je Seite“: gelesen „0“"}},
        {22, "abc", {"\nAchtung: Pinbelegung.txt, Zeile 22, „Portadresse“: gelesen „abc“"}},
    };
    for (const auto& w : wirings) {
        lines = SampleLines();
        lines[static_cast<std::size_t>(w.line - 1)] = w.value;
        if (w.line == 8) lines[9] = "3";  // Y direction too
        const Outcome run = Start("a\n");
        const std::string beforeBox = run.out.substr(0, run.out.find("== Tormal fahren =="));
        for (const std::string& part : w.shown) EXPECT_NE(beforeBox.find(part), std::string::npos) << part << "\n" << run.out;
        EXPECT_EQ(beforeBox.find("Achtung") == std::string::npos, w.line == 24 && w.value == "100") << run.out;
        EXPECT_FALSE(run.logWritten);
    }
}

TEST_F(EndToEnd, MissingFileIsReportedInTheProgramsWords) {
    // A wiring file in the working directory does not count.
    WriteLines(work / "Pinbelegung.txt", lines);
    const Outcome run = Start("\n\n", false);

    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("Datei fehlt!"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Es fehlt die Datei :  Pinbelegung.txt !"), std::string::npos);
    EXPECT_EQ(run.out.find("Tormal fahren"), std::string::npos) << "no confirmation after it";
    EXPECT_FALSE(run.logWritten);
    EXPECT_NE(run.err.find("gesucht wurde " + (program / "Pinbelegung.txt") + " (neben dem Programm)"),
              std::string::npos)
        << run.err;
}

TEST_F(EndToEnd, FailuresAreReportedOnStandardErrorWithStatusOne) {
    const struct {
        const char* name;
        int line;
        std::string value;
        std::string report;
        const char* fault = "";  // PLOTTERTEST_PORT_FAULT: the simulated port does not take its values
        std::size_t writes = 0;  // the last of them 0
    } cases[] = {
        {"pin letters", 2, "zwei",
         "plottertest: Laufzeitfehler: Typen unverträglich\nPinbelegung.txt, Zeile 2, „Pin X-Achse Schritt“: gelesen "
         "„zwei“, erwartet eine ganze Zahl von 0 bis 17 (2 bis 9 sind die Datenleitungen D0 bis D7)\n"},
        {"empty pin", 10, "", "Typen unverträglich\nPinbelegung.txt, Zeile 10, „Pin Y-Achse Richtung“: gelesen „“ (leer)"},
        {"pin out of range", 16, "18",
         "Index außerhalb des gültigen Bereichs\nPinbelegung.txt, Zeile 16, „Pin Z-Achse Richtung“: gelesen „18“, "
         "erwartet eine ganze Zahl von 0 bis 17"},
        {"short file", 0, "",
         "Laufzeitfehler: Einlesen hinter Dateiende\nPinbelegung.txt, Zeile 24, „Schritte je Seite“: die Datei endet "
         "nach 23 von 24 Zeilen"},
        {"port too large", 22, "99999",
         "Überlauf\nPinbelegung.txt, Zeile 22, „Portadresse“: gelesen „99999“, erwartet -32768 bis 32767 dezimal oder "
         "0x0 bis 0xFFFF\n"},
        {"empty step count", 24, "",
         "Typen unverträglich\nPinbelegung.txt, Zeile 24, „Schritte je Seite“: gelesen „“ (leer), erwartet eine ganze "
         "Zahl\n"},
        // Stopped at the first value the port did not take, with every line switched off.
        {"no port at the address", 22, "0378",
         "Laufzeitfehler: Port nimmt die Werte nicht an\nPort 378 (0x17A): geschrieben 8 (0x08), zurückgelesen 255 "
         "(0xFF) beim 1. Schreibzugriff",
         "kein-port", 2},
        {"a data line that stays low", 24, "3",
         "\nPin 2 (D0, X-Schritt) blieb aus.\nUrsache: Andere Leitungen folgen den geschriebenen Werten, diese nicht",
         "D0=0", 9},
    };
    for (const auto& c : cases) {
        lines = SampleLines();
        if (c.line == 0)
            lines.pop_back();
        else
            lines[static_cast<std::size_t>(c.line - 1)] = c.value;
        const Outcome run = Start("\n", true, std::string("PLOTTERTEST_PORT_FAULT=") + c.fault);
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_NE(run.err.find(c.report), std::string::npos) << c.name << ": " << run.err;
        ASSERT_EQ(run.writes.size(), c.writes) << c.name;
        if (c.writes > 0) {
            EXPECT_EQ(run.writes.back().value, 0) << c.name;
        }
    }
}

TEST_F(EndToEnd, PortLibraryProblemsAreReportedAtTheFirstWrite) {
    const std::string beside = program / "libinpout32.so";
    // A 32-bit x86 ELF header: what dlopen and the report read of such a library.
    std::string elf32("\x7f" "ELF\x01\x01\x01", 7);
    elf32.resize(64, '\0');
    elf32[16] = 3;  // ET_DYN
    elf32[18] = 3;  // EM_386
    const struct {
        const char* name;
        std::string library;  // the file beside the program: a path to copy, "=" and its bytes, or none
        std::string report;
        bool unreadable = false;  // no right to read it, for the user who starts the program
        bool stopInput = false;   // the wiring file names one after line 24
    } cases[] = {
        {"none", "", "Laufzeitfehler: Portbibliothek nicht gefunden\nlibinpout32.so: gesucht neben dem Programm (" +
                         beside + ") und im Bibliothekspfad des Systems: "},
        {"no Out32", PLOTTERTEST_NO_OUT32, "Laufzeitfehler: Einsprungpunkt nicht gefunden\n" + beside},
        {"32-bit", "=" + elf32,
         "Laufzeitfehler: Portbibliothek nicht ladbar\n" + beside +
             " ist eine 32-Bit-Bibliothek für x86; dieses Programm braucht eine 64-Bit-Bibliothek für x86-64, etwa "
             "libinpout32.so aus seinem eigenen Paket."},
        {"no library", "=Out32 = 1\n",
         "Laufzeitfehler: Portbibliothek nicht ladbar\n" + beside + " ist keine Bibliothek (kein ELF-Programmcode)"},
        // The loader's own reason, not a guess from bytes that could not be read.
        {"unreadable", PLOTTERTEST_SIM_PORT,
         "Laufzeitfehler: Portbibliothek nicht ladbar\n" + beside + " lässt sich nicht lesen: " + beside +
             ": cannot open shared object file: Permission denied",
         true},
        // A library that cannot read cannot serve a stop input: nothing is written.
        {"no Inp32, a stop input", PLOTTERTEST_RECORDING_PORT,
         "Laufzeitfehler: Eingänge nicht lesbar\nDie Portbibliothek hat kein Inp32 und kann die Eingänge nicht lesen: "
         "die Stoppeingänge aus Pinbelegung.txt (Not-Halt an Pin 10 (Zeile 26)) könnten nicht anhalten. Es wurde nichts "
         "auf den Port geschrieben.",
         false, true},
    };
    for (const auto& c : cases) {
        fs::remove(beside);
        if (c.library.rfind('=', 0) == 0) {
            std::ofstream(beside, std::ios::binary) << c.library.substr(1);
        } else if (!c.library.empty()) {
            fs::copy_file(c.library, beside);
        }
        if (c.unreadable) fs::permissions(beside, fs::perms::none);
        lines = SampleLines();
        if (c.stopInput) lines.insert(lines.end(), {"Not-Halt", "10 0"});
        Launch launch = Prepared();
        launch.input = "\n";
        if (c.unreadable && geteuid() == 0) launch.user = "nobody";  // root reads any file
        const Outcome run = Finish(launch);
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_NE(run.err.find(c.report), std::string::npos) << c.name << ": " << run.err;
        EXPECT_FALSE(run.logWritten) << c.name;
    }
}

TEST_F(EndToEnd, SignalTraceShowsEveryEdgeOfTheDrive) {
    if (std::system("command -v sigrok-cli > /dev/null") != 0) GTEST_SKIP() << "skipped: sigrok-cli is not installed";
    UseThreeStepExample();
    const Outcome run = Start("\n", true, "PLOTTERTEST_PORT_VCD=" + (work / "trace.vcd"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Signalverlauf: " + (work / "trace.vcd")), std::string::npos) << run.err;

    // sigrok samples the trace at its 1 ns timescale, one row of D0..D7 per
    // sample, with each stretch of no change compressed to 10 samples.
    const std::string csv = work / "trace.csv";
    ASSERT_EQ(std::system(("sigrok-cli -I vcd:compress=10 -i '" + (work / "trace.vcd") + "' -O csv:header=false:label=off > '" +
                           csv + "'")
                              .c_str()),
              0);
    std::vector<unsigned> sampled;
    std::istringstream rows(ReadText(csv));
    for (std::string row; std::getline(rows, row);) {
        unsigned level = 0;
        for (std::size_t line = 0; line < 8 && 2 * line < row.size(); ++line)
            level |= unsigned(row[2 * line] == '1') << line;
        sampled.push_back(level);
    }
    std::vector<unsigned> written;
    std::transform(run.writes.begin(), run.writes.end(), std::back_inserter(written),
                   [](const PortWrite& w) { return unsigned(w.value) & 0xFFu; });
    EXPECT_EQ(RisingEdges(sampled), RisingEdges(written));
    EXPECT_EQ(RisingEdges(written), (std::vector<int>{6, 1, 6, 1, 0, 0, 0, 0}));
    EXPECT_EQ(sampled.back(), 0u) << "the trace ends with every line off";
}

TEST_F(EndToEnd, TheWayIsSaidAndDrawnBesideTheTrace) {
    const bool render = std::system("command -v rsvg-convert > /dev/null") == 0;
    const struct {
        const char* name;
        std::vector<std::pair<int, const char*>> changed;  // line (0 = the first) and its new value
        std::string way;                                   // the line "Weg…" begins so
        bool closes;
        std::string signal;      // the line "Signal: …" holds this
        std::string driver = {};  // PLOTTERTEST_DRIVER_US
    } cases[] = {
        {"the sample wiring", {{23, "100"}}, "Weg: Rechteck 100 × 100 Schritte (nach vorne × nach rechts)", true,
         "genug für einen Treiber, der 10/10/200/200 µs verlangt"},
        {"X and Y step on pin 2", {{7, "2"}, {23, "20"}}, "Weg bei einem idealen Treiber (steigende Flanke): endet 40 "
         "Schritte links vom Start und 40", false, "„Richtung unbestimmt“"},
        {"X direction on pin 10", {{3, "10"}, {23, "30"}}, "Weg: endet 60 Schritte links vom Start;", false, "genug für"},
        {"a driver that wants 14 ms pulses", {{23, "10"}}, "Weg bei einem idealen Treiber: Rechteck 10 × 10", true,
         "bei fallender Flanke 36 von 40 Schritten: 36 „zu kurz“", "14000,10,200,200"},
        {"a driver that wants the direction 5 ms before the edge", {{23, "10"}},
         "Weg bei einem idealen Treiber: Rechteck 10 × 10", true,
         "bei steigender Flanke 2 von 40 Schritten: 2 „Richtung unbestimmt“", "10,10,5000,200"},
    };
    for (const auto& c : cases) {
        lines = SampleLines();
        for (const auto& [line, value] : c.changed) lines[static_cast<std::size_t>(line)] = value;
        const Outcome run = Start("\n", true, "PLOTTERTEST_PORT_VCD=" + (work / "trace.vcd"),
                                  "PLOTTERTEST_DRIVER_US=" + c.driver);
        ASSERT_EQ(run.status, 0) << c.name << run.err;

        const auto line = [&](const std::string& start) {
            const std::size_t at = run.err.find("\n" + start);
            return at == std::string::npos ? "" : run.err.substr(at + 1, run.err.find('\n', at + 1) - at - 1);
        };
        const std::string way = line("Weg");
        EXPECT_EQ(way.rfind(c.way, 0), 0u) << c.name << ": " << way;
        EXPECT_EQ(way.find("zurück am Start") != std::string::npos, c.closes) << c.name << ": " << way;
        EXPECT_NE(line("Signal: ").find(c.signal), std::string::npos) << c.name << ": " << run.err;
        // The same way, expected from the plan, before the question, with its signal line only where a step is unclean.
        const std::size_t expected = run.out.find("\nErwarteter " + way);
        EXPECT_LT(expected, run.out.find("== Tormal fahren ==")) << c.name << ": " << run.out;
        EXPECT_EQ(run.out.find("\nSignal: nicht sauber") < run.out.find("== Tormal fahren =="),
                  c.signal.rfind("genug", 0) != 0)
            << c.name << ": " << run.out;
        EXPECT_NE(run.err.find("Bild des Weges: " + (work / "trace.svg")), std::string::npos) << c.name << run.err;
        EXPECT_NE(ReadText(work / "trace.svg").find("<title>" + way + "</title>"), std::string::npos) << c.name;
        if (render) {
            EXPECT_EQ(std::system(("rsvg-convert -o '" + (work / "way.png") + "' '" + (work / "trace.svg") + "'").c_str()), 0)
                << c.name;
        }
        if (c.closes) {
            const std::string trace = ReadText(work / "trace.vcd");
            for (const char* name : {" D0_X_Schritt ", " D1_X_Richtung ", " D2_Y_Schritt ", " D3_Y_Richtung ", " D6_Pin8 "})
                EXPECT_NE(trace.find(name), std::string::npos) << name;
        }
    }
    if (!render) GTEST_SKIP() << "skipped, the rendering only: rsvg-convert is not installed";
}

TEST_F(EndToEnd, AnUnwritableTraceNeverStopsTheDrive) {
    UseThreeStepExample();
    const Outcome run = Start("\n", true, "PLOTTERTEST_PORT_VCD=/nonexistent/trace.vcd");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(AddressesAndValues(run.writes), ThreeStepExample());
    EXPECT_NE(run.err.find("Signalverlauf /nonexistent/trace.vcd kann nicht geschrieben werden"), std::string::npos)
        << run.err;
}

TEST_F(EndToEnd, RealPortThatIsNotThereStopsBeforeAnyWrite) {
    // No machine has a parallel port at 1234h, so this never reaches hardware.
    fs::remove(program / "libinpout32.so");
    fs::copy_file(PLOTTERTEST_PARPORT, program / "libinpout32.so");
    lines[21] = "0x1234";
    const Outcome run = Start("\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("plottertest: Laufzeitfehler: Port nicht verfügbar\nParallelport an Adresse 4660 (0x1234) "
                           "nicht verfügbar"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Es wurde nichts auf den Port geschrieben."), std::string::npos);
}

TEST_F(EndToEnd, StopsSwitchEveryLineOffAndKeysAnswerNothingUnasked) {
    const std::string prompt = "[OK] mit Enter", driving = "Simulierter Parallelport an";
    enum Writes : std::uint8_t { Nothing, Everything, StoppedWithZero };
    const struct {
        const char* name;
        bool terminal;
        std::string typedBefore;
        int steps;
        std::vector<Action> actions;
        int status;
        Writes writes;
        std::vector<std::string> shown = {};  // on the screen, in this order
        bool realTime = false;  // started with chrt -f 10, on the recording port library
        // PLOTTERTEST_PORT_INPUTS, with a stop input „Endschalter X rechts“ on pin 11 at 0 in the file
        const char* inputs = "";
        long long count = -1;  // so many writes, where the drive stops itself
    } cases[] = {
        {"Ctrl+C during the drive", true, "", 50, {{prompt, 0, "\r"}, {driving, 300, "\x03"}}, 130, StoppedWithZero},
        {"Esc during the drive", true, "", 50, {{prompt, 0, "\r"}, {driving, 300, "\x1b"}}, 130, StoppedWithZero},
        {"Ctrl+\\ during the drive", true, "", 50, {{prompt, 0, "\r"}, {driving, 300, "\x1c"}}, 130, StoppedWithZero},
        {"Ctrl+Z during the drive", true, "", 50, {{prompt, 0, "\r"}, {driving, 300, "\x1a"}}, 130, StoppedWithZero},
        {"Ctrl+S, then Esc during the drive", true, "", 50,
         {{prompt, 0, "\r"}, {driving, 300, "\x13"}, {"", 300, "\x1b"}}, 130, StoppedWithZero},
        {"under chrt -f 10, on a library that cannot read", true, "", 3, {{prompt, 0, "\r"}}, 0, Everything,
         {"Fertig: 12 Schritte gefahren, alle Datenleitungen auf 0; die Portbibliothek kann nicht zurücklesen (kein "
          "Inp32), ob die Werte am Port ankamen, ist nicht geprüft."},
         true},
        {"q and Enter during the drive", true, "", 3, {{prompt, 0, "\r"}, {driving, 0, "q\r"}}, 0, Everything},
        {"progress of a 20-step drive", true, "", 20, {{prompt, 0, "\r"}}, 0, Nothing,
         {std::string("  X (nach rechts):  Schritt Pin 2 (D0), Richtung Pin 3 (D1)\r\n") +
              "  Y (nach vorne):   Schritt Pin 4 (D2), Richtung Pin 5 (D3)\r\n" +
              "  Z (wird nicht bewegt): Schritt Pin 6 (D4), Richtung Pin 7 (D5)\r\n" +
              "  Port 888 (0x378); 20 Schritte je Seite, 80 Schritte in etwa 1,2 s",
          "\rSeite 1/4 nach vorne: Schritt ", " von 20 – Esc oder Strg+C hält an", "\rSeite 2/4 nach rechts: Schritt ",
          "\rSeite 3/4 zurück: Schritt ", "\rSeite 4/4 nach links: Schritt ", "\r\x1b[KFertig: 80 Schritte gefahren"}},
        {"Ctrl+C at the confirmation", true, "", 3, {{prompt, 0, "\x03"}}, 130, Nothing},
        {"Ctrl+\\ at the confirmation", true, "", 3, {{prompt, 0, "\x1c"}}, 131, Nothing},
        {"Enter typed before the start", true, "\r", 3, {{prompt, 300, "a"}}, 0, Nothing},
        {"arrow key at the confirmation", true, "", 3, {{prompt, 0, "\x1b[A"}, {"", 300, "a"}}, 0, Nothing},
        {"SIGTERM through a pipe", false, "", 50, {{driving, 300, "", SIGTERM}}, 143, StoppedWithZero},
        {"SIGHUP through a pipe", false, "", 50, {{driving, 300, "", SIGHUP}}, 129, StoppedWithZero},
        {"SIGQUIT through a pipe", false, "", 50, {{driving, 300, "", SIGQUIT}}, 131, StoppedWithZero},
        {"SIGTSTP through a pipe", false, "", 50, {{driving, 300, "", SIGTSTP}}, 148, StoppedWithZero},
        // RLIMIT_RTTIME's soft limit, and the other signals whose default would end the program.
        {"SIGXCPU through a pipe", false, "", 50, {{driving, 300, "", SIGXCPU}}, 152, StoppedWithZero},
        {"SIGALRM through a pipe", false, "", 50, {{driving, 300, "", SIGALRM}}, 142, StoppedWithZero},
        {"SIGUSR1 through a pipe", false, "", 50, {{driving, 300, "", SIGUSR1}}, 138, StoppedWithZero},
        {"SIGRTMIN through a pipe", false, "", 50, {{driving, 300, "", SIGRTMIN}}, 128 + SIGRTMIN, StoppedWithZero},
        // Output that fails must not end the drive either.
        {"SIGPIPE is ignored", false, "", 20, {{driving, 300, "", SIGPIPE}}, 0, Everything},
        {"SIGXFSZ is ignored", false, "", 20, {{driving, 300, "", SIGXFSZ}}, 0, Everything},
        // Pin 11 low from the read after step 60: no step 61, one write of 0.
        {"a stop input during side 2", true, "", 50, {{prompt, 0, "\r"}}, 3, Nothing,
         {"Fahrt angehalten nach 60 von 200 Schritten: Endschalter X rechts (Pin 11) ausgelöst bei Seite 2/4 nach "
          "rechts, Schritt 10; alle Datenleitungen auf 0."},
         false, "11=0@60", 121},
        {"a spike on a stop input", true, "", 20, {{prompt, 0, "\r"}}, 0, Everything,
         {"Störimpuls an Endschalter X rechts (Pin 11): einmal 0 gelesen bei Seite 2/4 nach rechts, Schritt 10"},
         false, "11=0@30/1"},
    };
    for (const auto& c : cases) {
        lines = SampleLines();
        lines[23] = std::to_string(c.steps);
        if (*c.inputs != '\0') lines.insert(lines.end(), {"Endschalter X rechts", "11 0"});
        fs::remove(work / "plottertest-port.vcd");
        fs::copy_file(c.realTime ? PLOTTERTEST_RECORDING_PORT : PLOTTERTEST_SIM_PORT, program / "libinpout32.so",
                      fs::copy_options::overwrite_existing);
        Launch launch = Prepared();
        if (c.realTime) {
            launch.arguments = {"-f", "10", launch.program};
            launch.program = "/usr/bin/chrt";
        }
        launch.onTerminal = c.terminal;
        launch.typedBefore = c.typedBefore;
        launch.input = "\n";
        launch.actions = c.actions;
        if (*c.inputs != '\0') launch.environment.push_back(std::string("PLOTTERTEST_PORT_INPUTS=") + c.inputs);

        const Outcome run = Finish(launch);

        EXPECT_EQ(run.status, c.status) << c.name << run.out << run.err;
        EXPECT_FALSE(run.endedBeforeLastAction) << c.name << ": ended before all keys were typed";
        for (std::size_t at = 0, i = 0; i < c.shown.size(); ++i) {
            at = run.out.find(c.shown[i], at);
            ASSERT_NE(at, std::string::npos) << c.name << ": no " << c.shown[i] << " in " << run.out;
        }
        if (c.count >= 0) {
            ASSERT_EQ(static_cast<long long>(run.writes.size()), c.count) << c.name;
            // The stop input read again a millisecond after it first read active, then 0.
            if (c.count > 0) {
                EXPECT_EQ(run.writes.back().value, 0) << c.name;
                EXPECT_GE(run.writes.back().ns - run.writes[run.writes.size() - 2].ns, 1'000'000) << c.name;
            }
        }
        if (c.writes == Nothing && c.shown.empty()) {
            EXPECT_FALSE(run.logWritten) << c.name;
        } else if (c.writes == Everything) {
            EXPECT_EQ(run.writes.size(), 8u * static_cast<unsigned>(c.steps) + 1) << c.name;
        }
        if (c.realTime) {
            EXPECT_EQ(std::count_if(run.writes.begin(), run.writes.end(),
                                    [](const PortWrite& write) { return write.policy != SCHED_FIFO; }),
                      0)
                << c.name << ": writes outside SCHED_FIFO";
        }
        if (c.writes == StoppedWithZero) {
            ASSERT_GE(run.writes.size(), 3u) << c.name;
            EXPECT_LT(run.writes.size(), 401u) << c.name;
            EXPECT_EQ(AddressesAndValues({run.writes.back()}), (std::vector<std::pair<int, int>>{{888, 0}})) << c.name;
            const std::string said = "Fahrt abgebrochen nach " + std::to_string(run.writes.size() / 2) +
                                     " von 200 Schritten; alle Datenleitungen auf 0.";
            EXPECT_NE((run.out + run.err).find(said), std::string::npos) << c.name << run.out << run.err;
            EXPECT_EQ(LevelAtTheEnd(ReadText(work / "plottertest-port.vcd")), 0) << c.name;
            // Within one step: at most the pulse under way when the stop came; and
            // a key typed before it held nothing.
            ASSERT_EQ(run.actionNs.size(), c.actions.size()) << c.name;
            const auto pulsesAfter = [&](long long ns) {  // pattern writes: the second of each pulse
                long long pulses = 0;
                for (std::size_t write = 1; write < run.writes.size(); write += 2) pulses += run.writes[write].ns > ns;
                return pulses;
            };
            EXPECT_LE(pulsesAfter(run.actionNs.back()), 1) << c.name;
            if (c.actions.size() > 2) {
                EXPECT_GT(pulsesAfter(run.actionNs[c.actions.size() - 2]), 5) << c.name << ": held by a key";
            }
        }
        if (c.terminal) {
            EXPECT_TRUE(run.terminalRestored) << c.name;
            EXPECT_EQ(run.inputLeft, 0) << c.name;
            EXPECT_EQ(run.out.find('q', run.out.find(prompt)), std::string::npos) << c.name << ": echoed " << run.out;
        }
    }
}

TEST_F(EndToEnd, ALineTooLongForTheMemoryIsAReport) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "skipped: AddressSanitizer needs more address space than the limit leaves";
#endif
    {
        std::ofstream file(program / "Pinbelegung.txt", std::ios::binary);
        file << "X Schritt\r\n";
        const std::string block(1 << 20, '2');
        for (int mb = 0; mb < 300; ++mb) file << block;
    }
    Launch launch = Prepared(false);
    launch.input = "\n";
    launch.memoryLimit = 256LL << 20;
    const Outcome run = Finish(launch);
    fs::remove(program / "Pinbelegung.txt");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Laufzeitfehler: Speicher reicht nicht\nPinbelegung.txt, Zeile 2"), std::string::npos)
        << run.err;
}

TEST_F(EndToEnd, ArgumentsAreAnsweredWithoutABoxOrThePort) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string out, err;  // found at the start of each
    } cases[] = {
        {{"--help"}, 0, "plottertest " PLOTTERTEST_VERSION " – Testfahrt", ""},
        {{"-h"}, 0, "plottertest " PLOTTERTEST_VERSION, ""},
        {{"--version"}, 0, "plottertest " PLOTTERTEST_VERSION "\n", ""},
        {{"-x"}, 64, "", "plottertest: unbekanntes Argument „-x“ – Hilfe mit plottertest --help\n"},
        {{"--help", "--bitte"}, 64, "", "plottertest: unbekanntes Argument „--bitte“"},
    };
    for (const auto& c : cases) {
        Launch launch = Prepared();
        launch.arguments = c.arguments;
        const Outcome run = Finish(launch);
        EXPECT_EQ(run.status, c.status) << c.arguments[0];
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
        EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
        EXPECT_FALSE(run.logWritten);
    }
    Launch help = Prepared();
    help.arguments = {"--help"};
    const std::string text = Finish(help).out;
    for (const std::string& part : {program / "Pinbelegung.txt", std::string("PLOTTERTEST_PORT_VCD"),
                                    std::string("PLOTTERTEST_PORT_LOG"), std::string("Esc, a oder Strg+D"),
                                    std::string("  64  ")})
        EXPECT_NE(text.find(part), std::string::npos) << part << " missing in " << text;
}

}  // namespace

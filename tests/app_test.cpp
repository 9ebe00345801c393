#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/app.h"
#include "config/pin_assignment.h"
#include "fake_host.h"
#include "platform/platform.h"
#include "test_files.h"

namespace {

using Transcript = std::vector<std::string>;

// The fake port's five inputs as the drive shows them: every one high, but pins 11 and 12 as given.
std::string Levels(const std::string& pin11 = "Pin 11 (BUSY): 1", const std::string& pin12 = "Pin 12 (PAPER-OUT): 1") {
    return "Eingänge:\nPin 10 (ACK): 1\n" + pin11 + "\n" + pin12 + "\nPin 13 (SELECT): 1\nPin 15 (ERROR): 1";
}
const std::string kLevels = Levels();

const std::string kConfirmation =
    "MessageBox Tormal fahren [OK|Abbrechen]: Es wird ein Rechteck gefahren mit jeweils 100 Motorschritten nach "
    "vorne und 100 Motorschritten nach rechts!\rBitte die Schlitten passend Positionieren , auch die Z-Achse , das "
    "geplottet werden kann und auf [OK] drücken !";

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        fake::programDirectory = dir.path();
        lines = SampleLines();
        lines[23] = "1";
    }

    // Runs the program as its entry point does; returns the exit status and
    // the transcript from the confirmation on.
    int Run() {
        WriteLines(dir / "Pinbelegung.txt", lines);
        const int status = RunProgram({});
        afterLoad = fake::DriveTranscript();
        afterLoad.erase(afterLoad.begin(), std::find(afterLoad.begin(), afterLoad.end(), kConfirmation));
        return status;
    }

    ScratchDirectory dir;
    std::vector<std::string> lines;
    Transcript afterLoad;
};

TEST_F(AppTest, CancelEndsWithoutTouchingThePort) {
    fake::answers = {host::kCancel};
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(afterLoad,
              (Transcript{kConfirmation, "Console: Abgebrochen: es wurde nichts auf den Port geschrieben."}));
    EXPECT_EQ(ConfirmResult, host::kCancel);
}

TEST_F(AppTest, OkDrivesTheRectangleAndEnds) {
    fake::answers = {host::kOk};
    // The window that shows the end stands for two waits; pin 12 falls once every line is off.
    fake::endShownFor = 2;
    fake::statusReads.fromWrite = {{9, 0x58}};
    EXPECT_EQ(Run(), 0);
    Transcript expected = {kConfirmation, "SetSignalBits 1 2 4 8 16 32", "BeginDrive 4"};
    int side = 0;
    // Y on pins 4/5, X on pins 2/3; each pulse's pattern after the fake's 0.25 ms low phase.
    for (const auto& [low, pattern, name] : {std::tuple{"8", "12", "nach vorne"}, {"10", "3", "nach rechts"},
                                             {"2", "4", "zurück"}, {"0", "1", "nach links"}}) {
        ++side;
        const double at = 15.25 * side - 0.25;
        const auto Number = [](double ms) {
            std::ostringstream text;
            text << ms;
            return text.str();
        };
        if (side > 1) expected.push_back("Status 888 -> 120");  // the inputs, as the pause begins
        expected.push_back("Wait " + Number(at));
        if (side == 1) expected.insert(expected.end(), {"Inp32 888 -> 0", "Status 888 -> 120", "Inputs " + kLevels});
        // Each write read back at once.
        expected.insert(expected.end(), {"Out32 888 " + std::string(low) + " at " + Number(at), "Inp32 888 -> " + std::string(low),
                                         "Out32 888 " + std::string(pattern) + " at " + Number(at + 0.25),
                                         "Inp32 888 -> " + std::string(pattern),
                                         "Progress Seite " + std::to_string(side) + "/4 " + name + ": Schritt 1 von 1 (" +
                                             std::to_string(side) + ")"});
    }
    expected.insert(expected.end(),
                    {"Out32 888 0 at 61.25", "Inp32 888 -> 0", "EndDrive",
                     "ReportDone Fertig: 4 Schritte gefahren, alle Datenleitungen auf 0; alle 9 Werte vom Port zurückgelesen.",
                     "InputsEnd " + kLevels, "EndShown 50", "Status 888 -> 88",
                     "Inputs " + Levels("Pin 11 (BUSY): 1", "Pin 12 (PAPER-OUT): 0, auf 0 nach der Fahrt; beide Pegel gesehen"),
                     "EndShown 50", "Status 888 -> 88", "EndShown 50"});
    EXPECT_EQ(afterLoad, expected);
}

// A stop signal ends the program as the signal would have; a stop input with 3.
TEST_F(AppTest, AStoppedDriveEndsWithItsStatus) {
    const std::string kNotBegun =
        "ReportStop Fahrt nicht begonnen: Endschalter X rechts (Pin 11) liest 0, hält an bei 0. Es wurde nichts auf den "
        "Port geschrieben.\nMögliche Ursachen: Der Schalter ist gedrückt oder der Not-Halt eingerastet. Ein Öffner-Kreis "
        "ist offen, auch durch einen Drahtbruch. Oder der Pegel in Pinbelegung.txt ist verkehrt herum (Zeile 26: dann "
        "11 1).";
    const std::string kTripped = "ReportStop Fahrt angehalten nach 2 von 4 Schritten: Endschalter X rechts (Pin 11) "
                                 "ausgelöst bei Seite 2/4 nach rechts, Schritt 1; alle Datenleitungen auf 0.";
    const struct {
        const char* name;
        double stopAtMs;
        std::map<long long, int> status;  // from the write given on, the fake's status byte
        int exitStatus;
        std::vector<std::string> end;  // the transcript's last calls but the inputs' at the end
    } cases[] = {
        {"SIGTERM", 20, {}, 143,
         {"Out32 888 0 at 20.25", "Inp32 888 -> 0", "EndDrive",
          "ReportStop Fahrt abgebrochen nach 1 von 4 Schritten; alle Datenleitungen auf 0."}},
        // Pin 11 low (BUSY's bit high, as the port inverts it) after the second step.
        {"a stop input during side 2", -1, {{4, 0xF8}}, 3,
         {"Status 888 -> 248", "Status 888 -> 248", "MarkOnWay 2 Endschalter X rechts ausgelöst",
          "Inputs " + Levels("Pin 11 (BUSY, Endschalter X rechts, hält an bei 0): 0, auf 0 bei Seite 2/4 nach rechts, "
                             "Schritt 1; beide Pegel gesehen"),
          "Out32 888 0 at 31.5", "Inp32 888 -> 0", "EndDrive", kTripped}},
        {"a stop input active at the start", -1, {{0, 0xF8}}, 3,
         {"Inp32 888 -> 0", "Status 888 -> 248",
          "Inputs " + Levels("Pin 11 (BUSY, Endschalter X rechts, hält an bei 0): 0"),
          "EndDrive", kNotBegun}},
    };
    for (const auto& c : cases) {
        fake::Reset();
        fake::programDirectory = dir.path();
        fake::answers = {host::kOk};
        fake::stopAtMs = c.stopAtMs;
        fake::stopSignal = 15;
        fake::statusReads.fromWrite = c.status;
        lines = SampleLines();
        lines[23] = "1";
        if (!c.status.empty()) lines.insert(lines.end(), {"Endschalter X rechts", "11 0"});

        EXPECT_EQ(Run(), c.exitStatus) << c.name;

        ASSERT_GT(afterLoad.size(), c.end.size() + 1) << c.name;
        EXPECT_EQ(Transcript(afterLoad.end() - static_cast<long>(c.end.size()) - 2, afterLoad.end() - 2), c.end) << c.name;
        EXPECT_EQ(afterLoad[afterLoad.size() - 2].rfind("InputsEnd Eingänge:", 0), 0u) << c.name;
        EXPECT_EQ(afterLoad.back(), "EndShown 50") << c.name;
    }
}

TEST_F(AppTest, ConfirmationNamesOneHundredStepsWhateverTheFileSays) {
    lines[23] = "0";
    fake::answers = {host::kOk};
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(afterLoad, (Transcript{kConfirmation, "SetSignalBits 1 2 4 8 16 32", "BeginDrive 0", "Inp32 888 -> 0",
                                     "Status 888 -> 120", "Inputs " + kLevels, "Out32 888 0 at 0", "Inp32 888 -> 0",
                                     "EndDrive",
                                     "ReportDone Fertig: 0 Schritte gefahren, alle Datenleitungen auf 0; 1 Wert vom Port zurückgelesen.",
                                     "InputsEnd " + kLevels, "EndShown 50"}));
}

TEST_F(AppTest, FailureIsReportedOnceWithStatusOne) {
    const struct {
        int line;
        std::string value;
        bool confirmed;
        std::string report;
    } cases[] = {
        {2, "zwei", false, "ReportFailure Laufzeitfehler: Typen unverträglich\nPinbelegung.txt, Zeile 2, „Pin X-Achse Schritt“: gelesen "
         "„zwei“, erwartet eine ganze Zahl von 0 bis 17 (2 bis 9 sind die Datenleitungen D0 bis D7)"},
        {22, "LPT1", true,
         "ReportFailure Laufzeitfehler: Typen unverträglich\nPinbelegung.txt, Zeile 22, „Portadresse“: gelesen „LPT1“, "
         "erwartet -32768 bis 32767 dezimal oder 0x0 bis 0xFFFF"},
    };
    for (const auto& c : cases) {
        fake::Reset();
        fake::programDirectory = dir.path();
        fake::answers = {host::kOk};
        lines = SampleLines();
        lines[static_cast<std::size_t>(c.line - 1)] = c.value;

        EXPECT_EQ(Run(), 1) << c.value;

        EXPECT_EQ(fake::transcript.back(), c.report);
        EXPECT_EQ(afterLoad.empty(), !c.confirmed) << c.value;
        EXPECT_EQ(std::count_if(fake::transcript.begin(), fake::transcript.end(),
                                [](const std::string& call) { return call.rfind("Out32", 0) == 0; }),
                  0);
    }
}

TEST_F(AppTest, MissingFileEndsWithStatusTwoBeforeTheConfirmation) {
    fake::answers = {host::kOk};
    EXPECT_EQ(RunProgram({}), 2);
    EXPECT_EQ(fake::transcript.back().rfind("Console error: plottertest: Pinbelegung.txt fehlt", 0), 0u);
    EXPECT_EQ(std::count(fake::transcript.begin(), fake::transcript.end(), kConfirmation), 0);
}

}  // namespace

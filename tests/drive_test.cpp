#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/pin_assignment.h"
#include "drive/drive.h"
#include "fake_host.h"
#include "platform/failure.h"

namespace {

using Transcript = std::vector<std::string>;

class DriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        // The clock jumps a whole pause at every event pass, so each pause reads: start, pass, end.
        fake::msPerEventPass = StepPauseMs;
        PinAssignment = PinAssignmentRecord{};
        PinAssignment.YStepBit = 1;
        PinAssignment.YDirBit = 2;
        PinAssignment.XStepBit = 4;
        PinAssignment.XDirBit = 8;
        PinAssignment.PortAddress = "888";
        PinAssignment.StepsPerSide = "3";
    }

    // The first `count` pulses of the next side: pause, 0, pattern, progress.
    void ExpectPulses(Transcript& expected, int count, int pattern, const std::string& port = "888") {
        static const char* const names[] = {"nach vorne", "nach rechts", "zurück", "nach links"};
        ++sides;
        const std::string side = "Progress Seite " + std::to_string(sides) + "/4 " + names[sides - 1] + ": Schritt ";
        for (int i = 0; i < count; ++i) {
            const double start = clock;
            clock += StepPauseMs;
            expected.insert(expected.end(), {"Clock " + Number(start), "Events", "Clock " + Number(clock),
                                             "Out32 " + port + " 0", "Out32 " + port + " " + std::to_string(pattern),
                                             side + std::to_string(i + 1) + " von " + PinAssignment.StepsPerSide +
                                                 " (" + std::to_string(++stepsDone) + ")"});
        }
    }

    static std::string Done(int steps) {
        return "Console: Fertig: " + std::to_string(steps) + (steps == 1 ? " Schritt" : " Schritte") +
               " gefahren, alle Datenleitungen auf 0.";
    }

    static std::string Number(double ms) {
        std::ostringstream text;
        text << ms;
        return text.str();
    }

    static std::optional<Failure> DriveFailure() {
        try {
            DriveTestRectangle();
        } catch (const Failure& failure) {
            return failure;
        }
        return std::nullopt;
    }

    double clock = 0;
    int sides = 0;
    int stepsDone = 0;
};

TEST_F(DriveTest, DrivesFourSidesThenSwitchesEveryLineOff) {
    DriveTestRectangle();

    Transcript expected = {"BeginDrive 12"};
    ExpectPulses(expected, 3, 1 + 2);  // forward: Y step and direction
    ExpectPulses(expected, 3, 4 + 8);  // right: X step and direction
    ExpectPulses(expected, 3, 1);      // back: Y step alone
    ExpectPulses(expected, 3, 4);      // left: X step alone
    expected.insert(expected.end(), {"Out32 888 0", "EndDrive", Done(12)});
    EXPECT_EQ(fake::transcript, expected);
}

TEST_F(DriveTest, PatternIsTheSumOfTwoBitsNotTheirOr) {
    PinAssignment.YStepBit = 2;  // step and direction both on pin 3
    PinAssignment.YDirBit = 2;
    PinAssignment.XStepBit = std::nullopt;  // a pin without a data line
    PinAssignment.XDirBit = 128;
    PinAssignment.StepsPerSide = "1";
    PinAssignment.PortAddress = "0xE800";

    DriveTestRectangle();

    Transcript expected = {"BeginDrive 4"};
    ExpectPulses(expected, 1, 4, "-6144");
    ExpectPulses(expected, 1, 128, "-6144");
    ExpectPulses(expected, 1, 2, "-6144");
    ExpectPulses(expected, 1, 0, "-6144");  // the pauses still run
    expected.insert(expected.end(), {"Out32 -6144 0", "EndDrive", Done(4)});
    EXPECT_EQ(fake::transcript, expected);
}

TEST_F(DriveTest, AStopBetweenPulsesSwitchesEveryLineOffOnceAndSaysHowFar) {
    // One event pass a pause: pass k is the pause before pulse k.
    fake::stopAtEventPass = 1;
    fake::stopSignal = 2;
    EXPECT_EQ(DriveTestRectangle(), 2);
    const std::string nothingWritten =
        "ReportStop Fahrt abgebrochen vor dem ersten Schritt; es wurde nichts auf den Port geschrieben.";
    EXPECT_EQ(fake::transcript, (Transcript{"BeginDrive 12", "Clock 0", "Events", "EndDrive", nothingWritten}));

    fake::Reset();
    fake::msPerEventPass = StepPauseMs;
    fake::stopAtEventPass = 5;
    fake::stopSignal = 15;
    EXPECT_EQ(DriveTestRectangle(), 15);
    Transcript expected = {"BeginDrive 12"};
    ExpectPulses(expected, 3, 1 + 2);
    ExpectPulses(expected, 1, 4 + 8);
    const std::string howFar = "ReportStop Fahrt abgebrochen nach 4 von 12 Schritten; alle Datenleitungen auf 0.";
    expected.insert(expected.end(), {"Clock 60", "Events", "Out32 888 0", "EndDrive", howFar});
    EXPECT_EQ(fake::transcript, expected);

    // A busy machine: a pause 1 ms over is on time, one 4.5 ms over is late; the word follows the stop.
    fake::Reset();
    fake::msPerEventPass = StepPauseMs;
    fake::stopAtEventPass = 5;
    fake::extraMsAtEventPass = {{2, 1.0}, {3, 4.5}};
    EXPECT_EQ(DriveTestRectangle(), 2);
    EXPECT_EQ(fake::transcript.back(), "Console error: Achtung: 1 von 4 Schritten kam mehr als 1 ms zu spät (längste "
                                       "Pause 19,5 ms); der Rechner war ausgelastet. Siehe plottertest --help.");
}

TEST_F(DriveTest, NoPulseWhenTheStepCountIsBelowOne) {
    for (const char* steps : {"0", "-5", " -9223372036854775808 "}) {
        fake::transcript.clear();
        PinAssignment.StepsPerSide = steps;
        DriveTestRectangle();
        EXPECT_EQ(fake::transcript, (Transcript{"BeginDrive 0", "Out32 888 0", "EndDrive", Done(0)})) << steps;
    }
}

TEST_F(DriveTest, FailuresHappenAtTheirMomentAndWriteNothing) {
    const std::string kSteps = "Pinbelegung.txt, Zeile 24, „Schritte je Seite“: gelesen ";
    const std::string kPort = "Pinbelegung.txt, Zeile 22, „Portadresse“: gelesen ";
    const std::string kPortAccepted = ", erwartet -32768 bis 32767 dezimal oder 0x0 bis 0xFFFF";
    const Transcript firstPause = {"BeginDrive 12", "Clock 0", "Events", "Clock 15", "EndDrive"};
    const struct {
        const char* name;
        std::string steps;
        std::string port;
        bool libraryMissing;
        FailureKind kind;
        std::string detail;
        Transcript before;  // what happened before the failure
    } cases[] = {
        {"empty step count", "", "888", false, FailureKind::TypeMismatch,
         kSteps + "„“ (leer), erwartet eine ganze Zahl", {}},
        {"step count too large", "9223372036854775808", "888", false, FailureKind::Overflow,
         kSteps + "„9223372036854775808“, erwartet eine ganze Zahl von -9223372036854775808 bis 9223372036854775807", {}},
        {"port address of letters", "3", "LPT1", false, FailureKind::TypeMismatch,
         kPort + "„LPT1“" + kPortAccepted, firstPause},
        {"port address too large", "3", "40000", false, FailureKind::Overflow,
         kPort + "„40000“" + kPortAccepted, firstPause},
        {"port library missing", "3", "888", true, FailureKind::PortLibraryNotFound, "libinpout32.so: weg",
         firstPause},
        {"port library missing, no steps", "0", "888", true, FailureKind::PortLibraryNotFound,
         "libinpout32.so: weg", {"BeginDrive 0", "EndDrive"}},
        {"bad port address, no steps", "0", "", false, FailureKind::TypeMismatch,
         kPort + "„“ (leer)" + kPortAccepted, {"BeginDrive 0", "EndDrive"}},
    };
    for (const auto& c : cases) {
        fake::Reset();
        fake::msPerEventPass = StepPauseMs;
        if (c.libraryMissing) fake::bindFailure = Failure{FailureKind::PortLibraryNotFound, "libinpout32.so: weg"};
        PinAssignment.StepsPerSide = c.steps;
        PinAssignment.PortAddress = c.port;

        const std::optional<Failure> failure = DriveFailure();

        ASSERT_TRUE(failure) << c.name;
        EXPECT_EQ(failure->kind, c.kind) << c.name;
        EXPECT_EQ(failure->detail, c.detail) << c.name;
        EXPECT_EQ(fake::transcript, c.before) << c.name;
    }
}

TEST(Pause, ReturnsAtTheFirstReadingThatReachesTheEnd) {
    const struct {
        double ms;
        double perRead;
        double perEventPass;
        int eventPasses;
    } cases[] = {
        {15, 0, 5, 3},    // 5, 10, 15: returns exactly at the end
        {15, 0, 4, 4},    // 4, 8, 12, 16
        {15, 4, 0, 4},    // a clock that moves only when read: 4, 8, 12, 16
        {15, 0, 15, 1},   // a slow event pass
        {0, 0, 0, 1},     // even a pause of 0 pumps events once and reads twice
        {-3, 0, 0, 1},
        {15, 0, 0.25, 60},
    };
    for (const auto& c : cases) {
        fake::Reset();
        fake::clockMs = 1000;
        fake::msPerRead = c.perRead;
        fake::msPerEventPass = c.perEventPass;

        Pause(c.ms);

        int passes = 0, readings = 0;
        for (const std::string& call : fake::transcript) {
            passes += call == "Events";
            readings += call.rfind("Clock", 0) == 0;
        }
        EXPECT_EQ(passes, c.eventPasses) << c.ms << " ms, " << c.perEventPass << " ms per pass";
        EXPECT_EQ(readings, c.eventPasses + 1);
        EXPECT_EQ(fake::transcript.front(), "Clock 1000");
        EXPECT_EQ(fake::transcript[1], "Events");
        EXPECT_GE(fake::clockMs - c.perRead, 1000 + c.ms) << "returned early";
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/pin_assignment.h"
#include "drive/drive.h"
#include "drive/expected_way.h"
#include "drive/read_back.h"
#include "fake_host.h"
#include "platform/failure.h"
#include "test_files.h"

namespace {

using Transcript = std::vector<std::string>;

class DriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        PinAssignment = PinAssignmentRecord{};
        PinAssignment.YStepBit = 1;
        PinAssignment.YDirBit = 2;
        PinAssignment.XStepBit = 4;
        PinAssignment.XDirBit = 8;
        PinAssignment.PortAddress = "888";
        PinAssignment.StepsPerSide = "3";
    }

    // The first `count` pulses of the next side, as fake::DriveTranscript shows
    // them: the pause's wait, the step lines' low write when it ends (`low` in
    // the side's first pulse, `lowAfter` in the others), the pattern after the
    // low phase's spin (one reading in the fake), the progress.
    void ExpectPulses(Transcript& expected, int count, int low, int lowAfter, int pattern,
                      const std::string& port = "888") {
        static const char* const names[] = {"nach vorne", "nach rechts", "zurück", "nach links"};
        ++sides;
        const std::string side = "Progress Seite " + std::to_string(sides) + "/4 " + names[sides - 1] + ": Schritt ";
        for (int i = 0; i < count; ++i) {
            if (stepsDone > 0) expected.push_back(Status(port));  // the inputs, at the pause's start
            clock += StepPauseMs;
            expected.push_back("Wait " + Number(clock));
            // What the port holds before the drive, and its inputs.
            if (stepsDone == 0) expected.insert(expected.end(), {Read(port, 0), Status(port), kInputs});
            Written(expected, port, i == 0 ? low : lowAfter, clock);
            Written(expected, port, pattern, clock + kSpin);
            expected.push_back(side + std::to_string(i + 1) + " von " + PinAssignment.StepsPerSide + " (" +
                               std::to_string(++stepsDone) + ")");
            clock += kSpin;
        }
    }

    static std::string Write(const std::string& port, int value, double atMs) {
        return "Out32 " + port + " " + std::to_string(value) + " at " + Number(atMs);
    }

    static std::string Read(const std::string& port, int value) { return "Inp32 " + port + " -> " + std::to_string(value); }

    static std::string Status(const std::string& port, int byte = 0x78) {
        return "Status " + port + " -> " + std::to_string(byte);
    }

    // A write and its read back, which gives the data lines of what was written.
    static void Written(Transcript& expected, const std::string& port, int value, double atMs) {
        expected.insert(expected.end(), {Write(port, value, atMs), Read(port, value & 0xFF)});
    }

    static std::string Done(int steps) {
        const int values = 2 * steps + 1;
        return "ReportDone Fertig: " + std::to_string(steps) + (steps == 1 ? " Schritt" : " Schritte") +
               " gefahren, alle Datenleitungen auf 0; " +
               (values == 1 ? "1 Wert" : "alle " + std::to_string(values) + " Werte") + " vom Port zurückgelesen.";
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

    // cppcheck-suppress unusedStructMember ; read in the tests, which the TEST_F macro makes subclasses
    static constexpr const char* kSignals = "SetSignalBits 4 8 1 2 0 0";
    // The five inputs of the fake's port, every one high, as the drive shows them during and after it.
    static constexpr const char* kLevels =
        "Eingänge:\nPin 10 (ACK): 1\nPin 11 (BUSY): 1\nPin 12 (PAPER-OUT): 1\nPin 13 (SELECT): 1\nPin 15 (ERROR): 1";
    // cppcheck-suppress unusedStructMember ; read in the tests, which the TEST_F macro makes subclasses
    const std::string kInputs = std::string("Inputs ") + kLevels;
    // cppcheck-suppress unusedStructMember ; read in the tests, which the TEST_F macro makes subclasses
    const std::string kInputsEnd = std::string("InputsEnd ") + kLevels;
    static constexpr double kSpin = 0.25;  // the fake's clock moves so much in a spin of kLowPhaseMs
    double clock = 0;
    int sides = 0;
    int stepsDone = 0;
};

TEST_F(DriveTest, DrivesFourSidesThenSwitchesEveryLineOff) {
    DriveTestRectangle();

    Transcript expected = {kSignals, "BeginDrive 12"};
    // Only the step lines go low; the moving axis' direction is set before its step edge.
    ExpectPulses(expected, 3, 2, 2, 1 + 2);  // forward: Y step and direction
    ExpectPulses(expected, 3, 2 + 8, 8, 4 + 8);  // right: X step and direction; Y's direction falls at X's edge
    ExpectPulses(expected, 3, 8, 0, 1);      // back: Y step alone; X's direction falls at Y's edge
    ExpectPulses(expected, 3, 0, 0, 4);      // left: X step alone
    Written(expected, "888", 0, clock + kSpin);  // after the last pulse's time
    expected.insert(expected.end(), {"EndDrive", Done(12), kInputsEnd});
    EXPECT_EQ(fake::DriveTranscript(), expected);

    // Late steps are said once the drive has ended, on every host.
    fake::Reset();
    fake::lateMsAtWait = {{5, 3}};
    DriveTestRectangle();
    const Transcript late = fake::DriveTranscript();
    EXPECT_EQ(Transcript(late.end() - 4, late.end()),
              (Transcript{"EndDrive", Done(12), kInputsEnd,
                          "ReportLateSteps Achtung: 1 von 12 Schritten kam mehr als 1 ms zu spät (längste Pause "
                          "17,2 ms); der Rechner war ausgelastet."}));
}

TEST_F(DriveTest, PatternIsTheSumOfTwoBitsNotTheirOr) {
    PinAssignment.YStepBit = 2;  // step and direction both on pin 3
    PinAssignment.YDirBit = 2;
    PinAssignment.XStepBit = std::nullopt;  // a pin without a data line
    PinAssignment.XDirBit = 128;
    PinAssignment.StepsPerSide = "1";
    PinAssignment.PortAddress = "0xE800";

    DriveTestRectangle();

    Transcript expected = {"SetSignalBits 0 128 2 2 0 0", "BeginDrive 4"};
    // A shared line: the low write is 0, as masking one signal would switch the other.
    ExpectPulses(expected, 1, 0, 0, 4, "-6144");
    ExpectPulses(expected, 1, 0, 0, 128, "-6144");
    ExpectPulses(expected, 1, 0, 0, 2, "-6144");
    ExpectPulses(expected, 1, 0, 0, 0, "-6144");  // the pauses still run
    Written(expected, "-6144", 0, clock + kSpin);
    expected.insert(expected.end(), {"EndDrive", Done(4), kInputsEnd});
    EXPECT_EQ(fake::DriveTranscript(), expected);
}

// What the drive writes is the plan, and the expected way, decoded from a
// side's first pulses and the repetition of one, is the way of every planned write.
TEST_F(DriveTest, WritesThePlanWhoseWayComesFromItsFirstPulses) {
    const struct {
        const char* name;
        BitValue xStep, xDir, yStep, yDir;
        std::string hugeWay;  // the expected way for 9223372036854775807 steps a side
    } wirings[] = {
        {"the sample wiring", 1, 2, 4, 8,
         "Erwarteter Weg: Rechteck 9223372036854775807 × 9223372036854775807 Schritte (nach vorne × nach rechts), "
         "zurück am Start."},
        {"X and Y step on one line", 1, 2, 1, 8,
         "Erwarteter Weg bei einem idealen Treiber (steigende Flanke): endet 18446744073709551614 Schritte links vom "
         "Start und 18446744073709551614 Schritte weiter hinten; das Rechteck schließt sich nicht. Weg bei einem "
         "idealen Treiber (fallende Flanke): endet 36893488147419103228 Schritte links vom Start und "
         "36893488147419103228 Schritte weiter hinten; das Rechteck schließt sich nicht."},
        {"Y step and direction on one line, X step off the data lines", std::nullopt, 128, 2, 2,
         "Erwarteter Weg bei einem idealen Treiber (steigende Flanke): endet 9223372036854775807 Schritte vor dem "
         "Start; das Rechteck schließt sich nicht. Weg bei einem idealen Treiber (fallende Flanke): endet "
         "9223372036854775807 Schritte hinter dem Start; das Rechteck schließt sich nicht."},
    };
    for (const auto& w : wirings) {
        fake::Reset();
        PinAssignment.XStepBit = w.xStep;
        PinAssignment.XDirBit = w.xDir;
        PinAssignment.YStepBit = w.yStep;
        PinAssignment.YDirBit = w.yDir;
        PinAssignment.StepsPerSide = "12";
        DriveTestRectangle();

        const DrivePulses pulses = SidePulses();
        std::vector<way::TimedWrite> plan;
        const auto ns = [](double ms) { return std::llround(ms * 1e6); };
        for (int side = 0; side < kSideCount; ++side) {
            for (std::int64_t index = 0; index < 12; ++index) {
                const PlannedPulse pulse = PlanPulse(pulses, side, index);
                const double start = static_cast<double>(std::int64_t{side} * 12 + index) * kPulseMs;
                plan.push_back({static_cast<unsigned>(pulse.low), ns(start + StepPauseMs)});
                plan.push_back({static_cast<unsigned>(pulse.pattern), ns(start + kPulseMs)});
            }
        }
        plan.push_back({0, ns(48 * kPulseMs + kLowPhaseMs)});
        std::vector<std::string> planned(plan.size()), written;
        std::transform(plan.begin(), plan.end(), planned.begin(),
                       [](const way::TimedWrite& write) { return "Out32 888 " + std::to_string(write.value); });
        for (const std::string& call : fake::transcript)
            if (call.rfind("Out32 ", 0) == 0) written.push_back(call.substr(0, call.find(" at ")));
        EXPECT_EQ(written, planned) << w.name;

        const port::SignalBits bits = DriveSignalBits();
        const ExpectedWays ways = ExpectWays(12, {});
        EXPECT_EQ(way::Summary(ways.rising, ways.falling),
                  way::Summary(way::Decode(bits, plan, way::Edge::Rising), way::Decode(bits, plan, way::Edge::Falling)))
            << w.name;
        EXPECT_EQ(ExpectedWayLines(ExpectWays(9223372036854775807, {})).front(), w.hugeWay) << w.name;
    }
}

TEST_F(DriveTest, AStopBetweenPulsesSwitchesEveryLineOffOnceAndSaysHowFar) {
    // Before anything is written: the first event pass of the first pause sees it.
    fake::stopAtMs = 0;
    EXPECT_EQ(DriveTestRectangle(), 2);
    const std::string nothingWritten =
        "ReportStop Fahrt abgebrochen vor dem ersten Schritt; es wurde nichts auf den Port geschrieben.";
    EXPECT_EQ(fake::DriveTranscript(), (Transcript{kSignals, "BeginDrive 12", "EndDrive", nothingWritten}));

    // During the wait before pulse 5: acted on when it comes, not when the pause would end.
    fake::Reset();
    fake::stopAtMs = 65;
    fake::stopSignal = 15;
    EXPECT_EQ(DriveTestRectangle(), 15);
    Transcript expected = {kSignals, "BeginDrive 12"};
    ExpectPulses(expected, 3, 2, 2, 1 + 2);
    ExpectPulses(expected, 1, 10, 8, 4 + 8);
    const std::string howFar = "ReportStop Fahrt abgebrochen nach 4 von 12 Schritten; alle Datenleitungen auf 0.";
    expected.insert(expected.end(), {Status("888"), "Wait 76"});
    Written(expected, "888", 0, 65.25);
    expected.insert(expected.end(), {"EndDrive", howFar, kInputsEnd});
    EXPECT_EQ(fake::DriveTranscript(), expected);

    // A busy machine wakes the waits late: a pause of 16 ms is on time, one of 19.5 ms
    // is late; the word follows the stop.
    fake::Reset();
    fake::stopAtMs = 70;
    fake::lateMsAtWait = {{2, 1.75}, {3, 5.25}};
    EXPECT_EQ(DriveTestRectangle(), 2);
    EXPECT_EQ(fake::transcript.back(), "ReportLateSteps Achtung: 1 von 4 Schritten kam mehr als 1 ms zu spät (längste "
                                       "Pause 19,5 ms); der Rechner war ausgelastet.");
}

TEST_F(DriveTest, NoPulseWhenTheStepCountIsBelowOne) {
    for (const char* steps : {"0", "-5", " -9223372036854775808 "}) {
        fake::transcript.clear();
        PinAssignment.StepsPerSide = steps;
        DriveTestRectangle();
        EXPECT_EQ(fake::DriveTranscript(), (Transcript{kSignals, "BeginDrive 0", Read("888", 0), Status("888"), kInputs,
                                                       "Out32 888 0 at 0", Read("888", 0), "EndDrive", Done(0),
                                                       kInputsEnd}))
            << steps;
    }
}

TEST_F(DriveTest, FailuresHappenAtTheirMomentAndLeaveEveryLineOff) {
    const std::string kSteps = "Pinbelegung.txt, Zeile 24, „Schritte je Seite“: gelesen ";
    const std::string kPort = "Pinbelegung.txt, Zeile 22, „Portadresse“: gelesen ";
    const std::string kPortAccepted = ", erwartet -32768 bis 32767 dezimal oder 0x0 bis 0xFFFF";
    const Transcript firstPause = {kSignals, "BeginDrive 12", "Wait 15", "EndDrive"};
    const Transcript noSteps = {kSignals, "BeginDrive 0", "EndDrive"};
    const Transcript onePulse = {kSignals,
                                 "BeginDrive 12",
                                 "Wait 15",
                                 Read("888", 0),
                                 Status("888"),
                                 kInputs,
                                 "Out32 888 2 at 15",
                                 Read("888", 2),
                                 "Out32 888 3 at 15.25",
                                 Read("888", 3),
                                 "Progress Seite 1/4 nach vorne: Schritt 1 von 3 (1)",
                                 Status("888"),
                                 "Wait 30.25",
                                 "Out32 888 2 at 30.25",
                                 Read("888", 2)};
    Transcript switchedOff = onePulse;
    switchedOff.insert(switchedOff.end(),
                       {"Out32 888 3 at 30.5", Read("888", 3), "Out32 888 0 at 30.5, SwitchPortOff", "EndDrive"});
    const Transcript offBetweenWrites = {kSignals,           "BeginDrive 12",
                                         "Wait 15",          Read("888", 0),
                                         Status("888"),      kInputs,
                                         "Out32 888 2 at 15", Read("888", 2),
                                         "Out32 888 0 at 15.25, SwitchPortOff", "EndDrive"};
    const struct {
        const char* name;
        std::string steps;
        std::string port;
        bool libraryMissing;
        FailureKind kind;
        std::string detail;
        Transcript before;  // what happened before the failure
        long long progressFailsAt = -1;
        long long failingWrite = -1;
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
         "libinpout32.so: weg", noSteps},
        {"bad port address, no steps", "0", "", false, FailureKind::TypeMismatch,
         kPort + "„“ (leer)" + kPortAccepted, noSteps},
        {"no memory after pulse 2", "3", "888", false, FailureKind::OutOfMemory, "Fortschritt", switchedOff, 2},
        // Between the two writes of the first pulse the direction line is on already.
        {"the first pattern write fails", "3", "888", false, FailureKind::OutOfMemory, "Out32", offBetweenWrites,
         -1, 2},
    };
    for (const auto& c : cases) {
        fake::Reset();
        if (c.libraryMissing) fake::bindFailure = Failure{FailureKind::PortLibraryNotFound, "libinpout32.so: weg"};
        PinAssignment.StepsPerSide = c.steps;
        PinAssignment.PortAddress = c.port;
        fake::progressFailsAt = c.progressFailsAt;
        fake::failingWrite = c.failingWrite;

        const std::optional<Failure> failure = DriveFailure();

        ASSERT_TRUE(failure) << c.name;
        const Failure got = failure.value_or(Failure{});  // never the default: ASSERT_TRUE returned on none
        EXPECT_EQ(got.kind, c.kind) << c.name;
        EXPECT_EQ(got.detail, c.detail) << c.name;
        EXPECT_EQ(fake::DriveTranscript(), c.before) << c.name;
    }
}

// Every value is read back after its write; the first one the port did not
// take stops the drive with every line switched off, and the report says why.
TEST_F(DriveTest, APortThatDoesNotTakeAValueStopsTheDriveAndSaysWhy) {
    const std::string kDriver = ": Der Treiber der Portbibliothek arbeitet nicht, es kommt nichts am Port an.\n"
                                "Abhilfe: Treiberhilfe.";
    const std::string kHeld = "Ursache: Andere Leitungen folgen den geschriebenen Werten, diese nicht: ";
    const std::vector<int> kAll = {2, 3, 2, 3, 2, 3, 10, 12, 8, 12, 8, 12, 8, 1, 0, 1, 0, 1, 0, 4, 0, 4, 0, 4, 0};
    const struct {
        const char* name;
        fake::PortReads reads;
        std::vector<int> written;
        bool fails;
        std::string said;  // in the failure's detail, else a call of the transcript
        const char* port = "888";
        const char* compare = "";  // PLOTTERTEST_READBACK
        const char* steps = "3";
    } cases[] = {
        {"takes every value, lines high before", {true, 0x55}, kAll, false,
         "PortNote Vor dem ersten Schreibzugriff las der Port 85 (0x55): an waren Pin 2 (D0, Y-Schritt), Pin 4 (D2, "
         "X-Schritt), Pin 6 (D4) und Pin 8 (D6), wie BIOS oder Kernel den Port beim Prüfen oft hinterlassen. Der erste "
         "Schreibzugriff schaltet Pin 2 (D0), Pin 4 (D2), Pin 6 (D4) und Pin 8 (D6) ab; ein Treiber, der bei fallender "
         "Flanke schaltet, macht dabei einen Schritt auf der X-Achse und Y-Achse."},
        {"D0 stays low, not compared", {true, 0, -1, 0, 1}, kAll, false,
         "ReportDone Fertig: 12 Schritte gefahren, alle Datenleitungen auf 0; 25 Werte vom Port zurückgelesen, 6 anders "
         "als geschrieben (nicht verglichen: PLOTTERTEST_READBACK=aus).",
         "888", "aus"},
        {"reads 255, an address typed as Device Manager shows it", {true, 0, 0xFF}, {2, 0}, true,
         "\nUrsache: Alle Datenleitungen lesen 1. An dieser Adresse antwortet kein Port, oder der Port ist im BIOS "
         "abgeschaltet. Die Portadresse „0378“ ist dezimal gelesen 378 (0x17A); gemeint ist wohl 0x378: dann „0x378“ in "
         "Pinbelegung.txt schreiben.\nAdresshilfe.\n",
         "0378"},
        {"reads the address' low byte", {true, 0, 0x78}, {2, 0}, true,
         "\nUrsache: Der Port liest das untere Byte seiner Adresse" + kDriver},
        {"reads 0 where one line alone was written", {true, 0, 0}, {2, 0}, true,
         "\nUrsache: Geschrieben war nur Pin 3 (D1), und der Port liest 0. Entweder hält die Verdrahtung diesen Pin "
         "fest, etwa ein Kurzschluss nach Masse oder eine Last, die der Port nicht treiben kann, oder der Treiber der "
         "Portbibliothek arbeitet nicht. Was davon, zeigt eine neue Fahrt mit abgezogenem Stecker"},
        // The port read lines as 1 before: it can be read, the driver works.
        {"that one line held low, lines high before", {true, 0xAA, -1, 0, 2}, {2, 0}, true,
         "\nUrsache: Vor dem ersten Schreibzugriff las der Port Leitungen als 1, sein Treiber arbeitet also; diese "
         "Leitungen folgen den geschriebenen Werten nicht"},
        // The final 0 not taken: nothing follows it.
        {"the final 0 not taken", {true, 0, -1, 0x80}, {0}, true,
         "zurückgelesen 128 (0x80) beim 1. Schreibzugriff, dem letzten, der alle Leitungen abschaltet; danach wurde "
         "nichts mehr geschrieben.", "888", "", "0"},
        // The whole report once: the port, both values, which write, each line that differs, the cause.
        {"D0 stays low", {true, 0, -1, 0, 1}, {2, 3, 0}, true,
         "Port 888 (0x378): geschrieben 3 (0x03), zurückgelesen 2 (0x02) beim 2. Schreibzugriff (Seite 1/4 nach vorne, "
         "Schritt 1); danach wurde nur noch 0 geschrieben.\nPin 2 (D0, Y-Schritt) blieb aus.\n" + kHeld +
             "Was an ihnen angeschlossen ist, hält sie fest, etwa ein Kurzschluss nach Masse (blieb aus) oder nach 5 V "
             "(blieb an), oder eine Last, die der Port nicht treiben kann. Abhilfe: die Verdrahtung an Pin 2 (D0) "
             "prüfen; mit abgezogenem Stecker zeigt eine neue Fahrt, ob der Port allein die Werte annimmt.\nManche "
             "Ports lesen ihre Leitungen statt ihres Registers zurück, und eine stark belastete Leitung kann 0 lesen, "
             "obwohl der Port sie treibt: Für einen solchen Port fährt das Programm mit PLOTTERTEST_READBACK=aus ohne "
             "Vergleich."},
        {"D7 stays high", {true, 0, -1, 0x80}, {2, 0}, true, "\nPin 9 (D7) blieb an.\n" + kHeld},
        {"reads what it was never written", {true, 0, 0x54}, {2, 0}, true,
         "\nUrsache: Der Port arbeitet wohl in einer Betriebsart, in der sein Datenregister die Leitungen nicht treibt."},
    };
    for (const auto& c : cases) {
        fake::Reset();
        fake::portReads = c.reads;
        PinAssignment.PortAddress = c.port;
        PinAssignment.StepsPerSide = c.steps;
        SetVariable(kReadBackVariable, c.compare);

        const std::optional<Failure> failure = DriveFailure();
        SetVariable(kReadBackVariable, "");

        std::vector<int> written;
        for (const std::string& call : fake::transcript)
            if (call.rfind("Out32 ", 0) == 0) written.push_back(std::stoi(call.substr(call.find(' ', 6))));
        EXPECT_EQ(written, c.written) << c.name;
        ASSERT_EQ(failure.has_value(), c.fails) << c.name;
        if (failure) {
            EXPECT_EQ(failure->kind, FailureKind::PortRejectsValues) << c.name;
            EXPECT_NE(failure->detail.find(c.said), std::string::npos) << c.name << ":\n" << failure->detail;
        } else {
            EXPECT_NE(std::find(fake::transcript.begin(), fake::transcript.end(), c.said), fake::transcript.end())
                << c.name;
        }
    }
    // At 0xE800 a dead driver reads 0, the address' low byte; once lines followed, a 0 is a held line.
    EXPECT_EQ(CauseOf(0x08, 0x00, 0xE800, 0x06), ReadBackCause::LinesHeld);
    EXPECT_EQ(CauseOf(0x08, 0x00, 0xE800, 0), ReadBackCause::LineOrDriver);
    EXPECT_EQ(CauseOf(0x0C, 0x00, 0xE800, 0), ReadBackCause::DriverDead);
}

// The inputs are read with the first read and at the start of every later
// pause; a stop input read active twice stops the drive, once is a spike.
TEST_F(DriveTest, InputsAreReadInEveryPauseAndNamedWhereTheyChange) {
    const struct {
        const char* name;
        std::vector<StopInput> stops;
        fake::StatusReads status;
        bool canRead;
        const char* compare;  // PLOTTERTEST_READBACK
        std::size_t writes;
        std::vector<std::string> said;  // the starts of calls of the transcript, in this order
    } cases[] = {
        // Pin 12 low after the third step: said where it changed, and at the end.
        {"an input that is no stop input changes", {}, {0x78, {{6, 0x58}}, {}}, true, "", 25,
         {"PortNote Eingang Pin 12 (PAPER-OUT) wechselt auf 0 bei Seite 1/4 nach vorne, Schritt 3.",
          "InputsEnd Eingänge:\nPin 10 (ACK): 1\nPin 11 (BUSY): 1\nPin 12 (PAPER-OUT): 0, auf 0 bei Seite 1/4 nach "
          "vorne, Schritt 3; beide Pegel gesehen\n"}},
        // The fourth read, in the pause before step 4, alone sees pin 11 low.
        {"a spike on a stop input", {{"Endschalter", 11, 0, 26}}, {0x78, {}, {{4, 0xF8}}}, true, "", 25,
         {"PortNote Störimpuls an Endschalter (Pin 11): einmal 0 gelesen bei Seite 1/4 nach vorne, Schritt 3, 1 ms "
          "später nicht mehr; die Fahrt geht weiter.",
          "InputsEnd Eingänge:\nPin 10 (ACK): 1\nPin 11 (BUSY, Endschalter, hält an bei 0): 1; Störimpuls auf 0 bei "
          "Seite 1/4 nach vorne, Schritt 3; beide Pegel gesehen\n"}},
        {"a library that cannot read, no stop inputs", {}, {}, false, "", 25,
         {"InputsEnd Eingänge: nicht gelesen, die Portbibliothek kann nicht lesen (kein Inp32)."}},
        // Not comparing what the port reads back leaves the inputs on.
        {"an emergency stop pressed, not comparing", {{"Not-Halt", 10, 0, 26}}, {0x38, {}, {}}, true, "aus", 0,
         {"ReportStop Fahrt nicht begonnen: Not-Halt (Pin 10) liest 0, hält an bei 0."}},
    };
    for (const auto& c : cases) {
        fake::Reset();
        StopInputs = c.stops;
        fake::statusReads = c.status;
        fake::portReads.canRead = c.canRead;
        SetVariable(kReadBackVariable, c.compare);

        const std::optional<Failure> failure = DriveFailure();
        SetVariable(kReadBackVariable, "");
        StopInputs.clear();

        EXPECT_FALSE(failure) << c.name;
        const Transcript drive = fake::DriveTranscript();
        std::vector<std::string> writes;
        std::copy_if(drive.begin(), drive.end(), std::back_inserter(writes),
                     [](const std::string& call) { return call.rfind("Out32 ", 0) == 0; });
        EXPECT_EQ(writes.size(), c.writes) << c.name;
        if (!writes.empty()) {
            EXPECT_EQ(writes.back().rfind("Out32 888 0 ", 0), 0u) << c.name << ": the last write is 0";
        }
        auto at = drive.begin();
        for (const std::string& said : c.said) {
            at = std::find_if(at, drive.end(), [&](const std::string& call) { return call.rfind(said, 0) == 0; });
            EXPECT_NE(at, drive.end()) << c.name << ": no " << said;
        }
    }
}

TEST(Pause, ReturnsAtTheFirstReadingThatReachesTheEnd) {
    const struct {
        double ms;
        double perRead;
        double perEventPass;
        double stretch;  // the host's wait ends this long before the end; 100: it never waits
        int eventPasses;
        int waits;
    } cases[] = {
        {15, 0, 5, 100, 3, 0},     // 5, 10, 15: returns exactly at the end
        {15, 0, 4, 100, 4, 0},     // 4, 8, 12, 16
        {15, 4, 0, 100, 4, 0},     // a clock that moves only when read: 4, 8, 12, 16
        {15, 0, 15, 100, 1, 0},    // a slow event pass
        {15, 0, 0.25, 100, 60, 0},
        {15, 0, 0.25, 1, 5, 1},    // waits until 14, spins 14.25 .. 15
        {15, 0, 5, 1, 2, 1},       // a pass that jumps past the end after the wait
        {15, 0, 15, 1, 1, 0},      // the end is reached before there is anything to wait for
        {1, 0, 0.25, 1, 4, 0},     // too short to wait
        {0, 0, 0, 1, 1, 0},        // even a pause of 0 pumps events once and reads twice
        {-3, 0, 0, 1, 1, 0},
    };
    for (const auto& c : cases) {
        fake::Reset();
        fake::clockMs = 1000;
        fake::msPerRead = c.perRead;
        fake::msPerEventPass = c.perEventPass;
        fake::waitStretchMs = c.stretch;

        Pause(c.ms);

        int passes = 0, readings = 0, waits = 0;
        for (const std::string& call : fake::transcript) {
            passes += call == "Events";
            readings += call.rfind("Clock", 0) == 0;
            waits += call.rfind("Wait", 0) == 0 && call.find("refused") == std::string::npos;
        }
        const std::string row = std::to_string(c.ms) + " ms, " + std::to_string(c.perEventPass) + " ms per pass, " +
                                std::to_string(c.stretch) + " ms stretch";
        EXPECT_EQ(passes, c.eventPasses) << row;
        EXPECT_EQ(waits, c.waits) << row;
        EXPECT_EQ(readings, c.eventPasses + 1) << row;
        EXPECT_EQ(fake::transcript.front(), "Clock 1000");
        EXPECT_EQ(fake::transcript[1], "Events");
        EXPECT_GE(fake::clockMs - c.perRead, 1000 + c.ms) << "returned early";
    }
}

}  // namespace

#include "drive/drive.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>

#include "config/pin_assignment.h"
#include "drive/read_back.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "text/wording.h"

namespace {

// Pattern writes done in this drive. The two writes of a pulse follow each other
// without an event pass between them, so a stop always falls between pulses.
std::int64_t StepsDriven = 0;

// The value the port holds: the last one written, 0 before the first write.
int PortValue = 0;
// When the last pattern was written, on the host's clock in ms.
double PatternWrittenMs = 0;

double LastPauseMs = 0;          // how long the last pause lasted, first to last clock reading
std::int64_t LateSteps = 0;      // pulses whose pause lasted more than 15 ms + kLateByMs
double LongestPauseMs = 0;

// What the port reads back, for the end's word and for a value it did not take.
bool CanReadBack = true;          // the port library has Inp32
bool ReadBackCompared = true;     // kReadBackVariable is not "aus"
std::int64_t WritesDone = 0;
std::int64_t ValuesReadBack = 0;
std::int64_t ValuesDiffering = 0;  // read back otherwise than written, where not compared
unsigned LinesFollowed = 0;        // lines that read 1 where 1 was written
int ReadBeforeFirstWrite = host::kCannotRead;
std::string PortNote;              // for the next host::ShowPortNote, after the pulse
// Where the drive stands, for the report of a value not taken.
int SideNow = 0;
std::int64_t StepNow = 0;

// "beim 2. Schreibzugriff (Seite 1/4 nach vorne, Schritt 1)".
std::string WhenText() {
    const std::string write = "beim " + std::to_string(WritesDone) + ". Schreibzugriff";
    if (SideNow >= kSideCount) return write + ", dem letzten, der alle Leitungen abschaltet";
    return write + " (Seite " + std::to_string(SideNow + 1) + "/" + std::to_string(kSideCount) + " " +
           kSides[SideNow].name + ", Schritt " + std::to_string(StepNow + 1) + ")";
}

// The port must hold what was written: a value it did not take ends the drive
// here, before anything else is written but the 0 that switches off.
void CheckReadBack(std::int16_t address, int written, int read) {
    if (read == host::kCannotRead) {
        CanReadBack = false;
        return;
    }
    ++ValuesReadBack;
    const unsigned lines = static_cast<unsigned>(written) & 0xFFu;  // a ninth bit (pin 9 twice) reaches no line
    const auto got = static_cast<unsigned>(read);
    if (got != lines) {
        if (ReadBackCompared)
            throw PortDidNotTake({static_cast<std::uint16_t>(address), lines, got, LinesFollowed, WhenText()},
                                 DriveSignalBits(), PinAssignment.PortAddress);
        ++ValuesDiffering;
    }
    LinesFollowed |= lines & got;
    if (WritesDone == 1 && ReadBeforeFirstWrite > 0)
        PortNote = HighBeforeNote(static_cast<unsigned>(ReadBeforeFirstWrite), lines, DriveSignalBits());
}

void WritePort(int value) {
    // The address is converted at every write, so a bad one fails at the first.
    const std::int16_t address = ConvertPortAddress(PinAssignment.PortAddress, PortAddressSource());
    // What the port holds before the drive: a BIOS or the kernel's probe often leaves lines on.
    if (WritesDone == 0) {
        ReadBeforeFirstWrite = host::Inp32(address);
        CanReadBack = ReadBeforeFirstWrite != host::kCannotRead;
    }
    host::Out32(address, static_cast<short>(value));
    PortValue = static_cast<short>(value);
    ++WritesDone;
    if (CanReadBack) CheckReadBack(address, value, host::Inp32(address));
}

void ShowPortNote() {
    if (PortNote.empty()) return;
    host::ShowPortNote(PortNote);
    PortNote.clear();
}

// The end's word on what the port read back.
std::string ReadBackWords() {
    if (!CanReadBack)
        return "; die Portbibliothek kann nicht zurücklesen (kein Inp32), ob die Werte am Port ankamen, ist nicht geprüft";
    const std::string values = ValuesReadBack == 1 ? "1 Wert" : std::to_string(ValuesReadBack) + " Werte";
    if (!ReadBackCompared)
        return "; " + values + " vom Port zurückgelesen, " +
               (ValuesDiffering == 0 ? std::string("alle wie geschrieben")
                                     : std::to_string(ValuesDiffering) + " anders als geschrieben") +
               " (nicht verglichen: " + kReadBackVariable + "=aus)";
    return std::string("; ") + (ValuesReadBack == 1 ? "" : "alle ") + values + " vom Port zurückgelesen";
}

// Reads the clock over and over, with no event pass: a stop waits for the next pause.
void SpinUntil(double endMs) {
    while (host::ClockMilliseconds() < endMs) {
    }
}

int StepPulse(const PlannedPulse& pulse) {
    if (const int stop = Pause(StepPauseMs)) return stop;
    if (LastPauseMs > StepPauseMs + kLateByMs) ++LateSteps;
    LongestPauseMs = std::max(LongestPauseMs, LastPauseMs);
    WritePort(pulse.low);
    SpinUntil(host::ClockMilliseconds() + kLowPhaseMs);
    WritePort(pulse.pattern);
    PatternWrittenMs = host::ClockMilliseconds();
    ++StepsDriven;
    ShowPortNote();
    return 0;
}

int DriveSide(const PulseWrites (&sides)[kSideCount], int side, std::int64_t steps) {
    const std::string prefix = "Seite " + std::to_string(side + 1) + "/" + std::to_string(kSideCount) + " " +
                               kSides[side].name + ": Schritt ";
    const std::string suffix = " von " + std::to_string(steps);
    std::string progress = prefix;  // its buffer is reused from step to step
    SideNow = side;
    for (std::int64_t done = 0; done < steps; ++done) {
        StepNow = done;
        if (const int stop = StepPulse(PlanPulse(sides, side, done))) return stop;
        // After the pulse, never inside the pause, whose 15 ms it must not shorten.
        progress.resize(prefix.size());
        progress += std::to_string(done + 1);
        progress += suffix;
        host::ShowProgress(progress, StepsDriven);
    }
    return 0;
}

// A busy machine shows in late steps; the user should learn why the rectangle may not close.
void SayIfStepsCameLate() {
    if (LateSteps == 0) return;
    host::ReportLateSteps("Achtung: " + std::to_string(LateSteps) + " von " + std::to_string(StepsDriven) +
                          (StepsDriven == 1 ? " Schritt" : " Schritten") + (LateSteps == 1 ? " kam" : " kamen") +
                          " mehr als " + wording::Decimal(kLateByMs, 1, true) + " ms zu spät (längste Pause " +
                          wording::Decimal(LongestPauseMs, 1) +
                          " ms); der Rechner war ausgelastet.");
}

}  // namespace

port::SignalBits DriveSignalBits() {
    const PinAssignmentRecord& pins = PinAssignment;
    const auto bit = [](const BitValue& value) { return static_cast<short>(BitOf(value)); };
    return {bit(pins.XStepBit), bit(pins.XDirBit), bit(pins.YStepBit), bit(pins.YDirBit), bit(pins.ZStepBit),
            bit(pins.ZDirBit)};
}

PulseWrites SidePulse(const Side& side) {
    const PinAssignmentRecord& pins = PinAssignment;
    PulseWrites pulse;
    pulse.pattern = SidePattern(side);
    const int bits[] = {BitOf(pins.XStepBit), BitOf(pins.XDirBit), BitOf(pins.YStepBit), BitOf(pins.YDirBit)};
    pulse.cleared = ~0;  // a shared line: the low write stays 0
    for (std::size_t i = 0; i < std::size(bits); ++i)
        for (std::size_t j = i + 1; j < std::size(bits); ++j)
            if (bits[i] != 0 && bits[i] == bits[j]) return pulse;
    const int dirBit = side.axis == 'X' ? bits[1] : bits[3];
    pulse.cleared = bits[0] | bits[2] | dirBit;
    pulse.set = side.withDirection ? dirBit : 0;
    return pulse;
}

int StepLinesOff(const PulseWrites& pulse, int before) { return (before & ~pulse.cleared) | pulse.set; }

PlannedPulse PlanPulse(const PulseWrites (&sides)[kSideCount], int side, std::int64_t index) {
    // What the port holds: this side's pattern after its first pulse, before it the last side's (or nothing).
    const int before = index > 0 ? sides[side].pattern : side > 0 ? sides[side - 1].pattern : 0;
    return {StepLinesOff(sides[side], before), sides[side].pattern};
}

int SidePattern(const Side& side) {
    const PinAssignmentRecord& pins = PinAssignment;
    if (side.axis == 'X') return BitOf(pins.XStepBit) + (side.withDirection ? BitOf(pins.XDirBit) : 0);
    return BitOf(pins.YStepBit) + (side.withDirection ? BitOf(pins.YDirBit) : 0);
}

std::optional<std::int64_t> DriveSteps(std::int64_t perSide) {
    if (perSide < 1) return 0;
    if (perSide > std::numeric_limits<std::int64_t>::max() / kSideCount) return std::nullopt;
    return kSideCount * perSide;
}

double DriveDurationMs(std::int64_t perSide) {
    // In double: a step count near the 64-bit limit still gives a (huge) duration.
    return perSide < 1 ? 0.0 : static_cast<double>(kSideCount) * static_cast<double>(perSide) * StepPauseMs;
}

std::string DriveStepsText(std::int64_t perSide) {
    const std::optional<std::int64_t> all = DriveSteps(perSide);
    return all ? std::to_string(*all) : "4 × " + std::to_string(perSide);
}

int Pause(double ms) {
    // Milliseconds as double on a monotonic clock: exact to well below a
    // microsecond for years of uptime, and never thrown back by midnight.
    const double start = host::ClockMilliseconds();
    const double end = start + ms;
    bool waitFirst = true;
    for (;;) {
        if (const int stop = host::ProcessPendingEvents()) return stop;
        const double now = host::ClockMilliseconds();
        if (now >= end) {
            LastPauseMs = now - start;
            return 0;
        }
        // Until shortly before the end there is nothing to do but answer a stop:
        // a thread that sleeps costs no core, and one that wakes takes its core
        // back from a busy neighbour, where a spinning one is pushed aside. Only
        // the last stretch, too short for the host's timer, is spun.
        if (waitFirst) waitFirst = host::WaitForEvents(end);
    }
}

bool CompareReadBack(std::string& problem) {
    const char* value = std::getenv(kReadBackVariable);
    const std::string setting = value != nullptr ? value : "";
    problem.clear();
    if (setting == "aus") return false;
    if (!setting.empty())
        problem = std::string(kReadBackVariable) + "=" + QuoteForReport(setting) +
                  " ist nicht „aus“; verglichen wird, was der Port zurückliest, wie sonst auch.";
    return true;
}

int DriveTestRectangle() {
    StepsDriven = 0;
    PortValue = 0;
    LateSteps = 0;
    LongestPauseMs = 0;
    CanReadBack = true;
    WritesDone = 0;
    ValuesReadBack = 0;
    ValuesDiffering = 0;
    LinesFollowed = 0;
    ReadBeforeFirstWrite = host::kCannotRead;
    PortNote.clear();
    SideNow = 0;
    StepNow = 0;
    std::string ignored;  // the wiring summary has said it
    ReadBackCompared = CompareReadBack(ignored);
    PulseWrites pulses[kSideCount];
    for (int side = 0; side < kSideCount; ++side) pulses[side] = SidePulse(kSides[side]);
    // Read once, before the drive shows itself: a bad step count fails here, as
    // side 1 begins; the text is the same for every side.
    const std::int64_t perSide = ConvertStepCount(PinAssignment.StepsPerSide, StepsPerSideSource());
    const std::optional<std::int64_t> allSteps = DriveSteps(perSide);
    host::SetSignalBits(DriveSignalBits());
    host::BeginDrive(allSteps.value_or(std::numeric_limits<std::int64_t>::max()));
    int stop = 0;
    try {
        for (int side = 0; side < kSideCount && stop == 0; ++side)
            stop = DriveSide(pulses, side, perSide);
        // Stopped between pulses, the pattern of the last pulse still holds the
        // motors' lines high until this write; before the first write the port
        // library is not even loaded and nothing is on. The last step pulse
        // gets its time, as every other did in its pause.
        if (StepsDriven > 0) SpinUntil(PatternWrittenMs + kLowPhaseMs);
        SideNow = kSideCount;
        if (stop == 0 || StepsDriven > 0) WritePort(0);
        ShowPortNote();
    } catch (...) {
        // A failure after a non-zero write (memory for the progress text, the
        // drive window, a port write between a pulse's two) would leave lines
        // on. The switch-off's own failure must not hide the one being reported.
        if (PortValue != 0) {
            try {
                WritePort(0);
            } catch (...) {  // NOLINT(bugprone-empty-catch): the failure already under way is the one reported
            }
        }
        host::EndDrive();  // the failure report must not stand behind the drive window
        throw;
    }
    host::EndDrive();
    if (stop == 0) {
        host::ReportDone("Fertig: " + wording::Steps(StepsDriven) + " gefahren, alle Datenleitungen auf 0" +
                         ReadBackWords() + ".");
        SayIfStepsCameLate();
        return 0;
    }
    if (StepsDriven == 0) {
        host::ReportStop("Fahrt abgebrochen vor dem ersten Schritt; es wurde nichts auf den Port geschrieben.");
    } else {
        host::ReportStop("Fahrt abgebrochen nach " + std::to_string(StepsDriven) + " von " + DriveStepsText(perSide) +
                         " Schritten; alle Datenleitungen auf 0.");
    }
    SayIfStepsCameLate();
    return stop;
}

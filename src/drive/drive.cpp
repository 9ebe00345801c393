#include "drive/drive.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "config/pin_assignment.h"
#include "connector.h"
#include "drive/inputs.h"
#include "drive/read_back.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "text/wording.h"

namespace {

// Everything one drive keeps, made anew as it begins: DriveTestRectangle's
// one way out reads it to switch off and to say how the drive ended.
struct DriveRecord {
    // Pattern writes done. The two writes of a pulse follow each other without
    // an event pass between them, so a stop always falls between pulses.
    std::int64_t stepsDriven = 0;
    double patternWrittenMs = 0;  // when the last pattern was written, on the host's clock in ms
    std::int64_t lateSteps = 0;   // pulses whose pause lasted more than 15 ms + kLateByMs
    double longestPauseMs = 0;
    // What the port reads back, for the end's word and for a value it did not take.
    bool canReadBack = true;       // the port library has Inp32, as the read before the first write showed
    bool readBackCompared = true;  // kReadBackVariable is not "aus"
    std::int64_t writesDone = 0;
    std::int64_t valuesReadBack = 0;
    std::int64_t valuesDiffering = 0;  // read back otherwise than written, where not compared
    unsigned linesFollowed = 0;        // lines that read 1 where 1 was written
    int readBeforeFirstWrite = host::kCannotRead;
    std::string portNote;  // for the next host::ShowPortNote, after the pulse
    // Where the drive stands, for the report of a value not taken and the place of an input's change.
    int sideNow = 0;
    std::int64_t stepNow = 0;  // pulses done on this side
    std::int64_t perSide = 0;
    // The inputs, read with the first read and then once in every pause.
    bool inputsTried = false;  // the first read has come
    bool inputsRead = false;   // and the library could read them
    std::vector<std::size_t> notBegunBy;  // the stop inputs active at the first read
    int trippedBy = -1;                   // the stop input that stopped the drive
    std::string trippedAt;
};
DriveRecord Drive;

double LastPauseMs = 0;  // Pause's own: how long the last pause lasted, first to last clock reading

// "beim 2. Schreibzugriff (Seite 1/4 nach vorne, Schritt 1)".
std::string WhenText() {
    const std::string write = "beim " + std::to_string(Drive.writesDone) + ". Schreibzugriff";
    if (Drive.sideNow >= kSideCount) return write + ", dem letzten, der alle Leitungen abschaltet";
    return write + " (Seite " + std::to_string(Drive.sideNow + 1) + "/" + std::to_string(kSideCount) + " " +
           kSides[Drive.sideNow].name + ", Schritt " + std::to_string(Drive.stepNow + 1) + ")";
}

// The lines that read 1 before the first write, where that shows a port whose
// driver works: not 255, which no port at all reads, nor the address' low
// byte, which a dead driver reads.
unsigned SeenBeforeFirstWrite(std::int16_t address) {
    const int before = Drive.readBeforeFirstWrite;
    if (before <= 0 || before == 0xFF || before == (address & 0xFF)) return 0;
    return static_cast<unsigned>(before);
}

// The port must hold what was written: a value it did not take ends the drive
// here, before anything else is written but the 0 that switches off.
void CheckReadBack(std::int16_t address, int written, int read) {
    ++Drive.valuesReadBack;
    const unsigned lines = static_cast<unsigned>(written) & 0xFFu;  // a ninth bit (pin 9 twice) reaches no line
    const auto got = static_cast<unsigned>(read);
    if (got != lines) {
        if (Drive.readBackCompared)
            throw PortDidNotTake({static_cast<std::uint16_t>(address), lines, got, Drive.linesFollowed, WhenText(),
                                  written != 0, SeenBeforeFirstWrite(address)},
                                 DriveSignalBits(), PinAssignment.PortAddress);
        ++Drive.valuesDiffering;
    }
    Drive.linesFollowed |= lines & got;
    if (Drive.writesDone == 1 && Drive.readBeforeFirstWrite > 0)
        Drive.portNote = HighBeforeNote(static_cast<unsigned>(Drive.readBeforeFirstWrite), lines, DriveSignalBits());
}

// The port's address from the wiring file, converted at every use, so that a
// bad one fails at the first read or write.
std::int16_t PortAddress() { return ConvertPortAddress(PinAssignment.PortAddress, PortAddressSource()); }

void WritePort(int value) {
    const std::int16_t address = PortAddress();
    host::Out32(address, static_cast<short>(value));
    ++Drive.writesDone;
    if (Drive.canReadBack) CheckReadBack(address, value, host::Inp32(address));
}

void ShowPortNote() {
    if (Drive.portNote.empty()) return;
    host::ShowPortNote(Drive.portNote);
    Drive.portNote.clear();
}

// "bei Seite 2/4 nach rechts, Schritt 10": where the carriages stand, after the last pulse done.
std::string PlaceText() {
    if (Drive.stepsDriven == 0) return "vor dem ersten Schritt";
    int side = std::min(Drive.sideNow, kSideCount - 1);
    std::int64_t step = Drive.sideNow >= kSideCount ? Drive.perSide : Drive.stepNow;
    if (step == 0) {
        --side;
        step = Drive.perSide;
    }
    return "bei Seite " + std::to_string(side + 1) + "/" + std::to_string(kSideCount) + " " + kSides[side].name +
           ", Schritt " + std::to_string(step);
}

// The five inputs' levels at the port, as port::kInputPins orders them; nothing where the library cannot read.
std::optional<unsigned> ReadInputs(std::int16_t address) {
    const int status = host::ReadStatus(address);
    if (status == host::kCannotRead) return std::nullopt;
    return port::InputLevels(static_cast<unsigned>(status));
}

void ShowInputsIfChanged() {
    for (const std::string& name : NewMarks()) host::MarkOnWay(Drive.stepsDriven, name);
    if (InputsChanged()) host::ShowInputs(InputLines(), false);
}

// Before the first write: what the port holds, which a BIOS or the kernel's
// probe often leaves on, and the inputs. Returns kStoppedByInput where a stop
// input is active then: nothing is written.
int ReadBeforeFirstWrite() {
    const std::int16_t address = PortAddress();
    Drive.readBeforeFirstWrite = host::Inp32(address);
    Drive.canReadBack = Drive.readBeforeFirstWrite != host::kCannotRead;
    Drive.inputsTried = true;
    const std::optional<unsigned> levels = Drive.canReadBack ? ReadInputs(address) : std::nullopt;
    if (!levels) {
        if (StopInputs.empty()) return 0;
        std::vector<std::string> named(StopInputs.size());
        std::transform(StopInputs.begin(), StopInputs.end(), named.begin(), [](const StopInput& input) {
            return input.name + " an Pin " + std::to_string(input.pin) + " (Zeile " + std::to_string(input.line) + ")";
        });
        throw Failure{FailureKind::InputsCannotBeRead,
                      "Die Portbibliothek hat kein Inp32 und kann die Eingänge nicht lesen: die Stoppeingänge aus " +
                          std::string(kPinAssignmentFileName) + " (" + wording::Listed(named) +
                          ") könnten nicht anhalten. Es wurde nichts auf den Port geschrieben.\nAbhilfe: eine "
                          "Portbibliothek mit Inp32 nehmen (jede inpout32.dll hat es), oder die Einträge nach Zeile 24 "
                          "entfernen, um ohne sie zu fahren."};
    }
    Drive.inputsRead = true;
    Drive.notBegunBy = FirstInputs(*levels);
    ShowInputsIfChanged();
    return Drive.notBegunBy.empty() ? 0 : kStoppedByInput;
}

int PauseUntil(double start, double end);

// Once in every pause, at its start: the inputs. A stop input that reads
// active is read again kConfirmInputMs later, still in the pause: still active,
// it stops the drive before the next pulse; else it was a spike.
int WatchInputs(double start) {
    if (!Drive.inputsRead) return 0;
    const std::int16_t address = PortAddress();
    const std::string place = PlaceText();
    std::optional<unsigned> levels = ReadInputs(address);
    const int active = levels ? ActiveStopInput(*levels) : -1;
    if (active >= 0) {
        if (const int stop = PauseUntil(start, start + kConfirmInputMs)) return stop;
        levels = ReadInputs(address);
        if (!levels) return 0;
        if (ActiveStopInput(*levels) == active) {
            TakeInputs(*levels, place);
            ShowInputsIfChanged();
            Drive.trippedBy = active;
            Drive.trippedAt = place;
            return kStoppedByInput;
        }
        for (const std::string& note : TakeSpike(static_cast<std::size_t>(active), place)) host::ShowPortNote(note);
    }
    if (levels)
        for (const std::string& note : TakeInputs(*levels, place)) host::ShowPortNote(note);
    ShowInputsIfChanged();
    return 0;
}

// The end's word on what the port read back.
std::string ReadBackWords() {
    if (!Drive.canReadBack)
        return "; die Portbibliothek kann nicht zurücklesen (kein Inp32), ob die Werte am Port ankamen, ist nicht geprüft";
    const std::string values = Drive.valuesReadBack == 1 ? "1 Wert" : std::to_string(Drive.valuesReadBack) + " Werte";
    if (!Drive.readBackCompared)
        return "; " + values + " vom Port zurückgelesen, " +
               (Drive.valuesDiffering == 0 ? std::string("alle wie geschrieben")
                                           : std::to_string(Drive.valuesDiffering) + " anders als geschrieben") +
               " (nicht verglichen: " + kReadBackVariable + "=aus)";
    return std::string("; ") + (Drive.valuesReadBack == 1 ? "" : "alle ") + values + " vom Port zurückgelesen";
}

// Reads the clock over and over, with no event pass: a stop waits for the next pause.
void SpinUntil(double endMs) {
    while (host::ClockMilliseconds() < endMs) {
    }
}

int StepPulse(const PlannedPulse& pulse) {
    const double start = host::ClockMilliseconds();
    if (const int stop = WatchInputs(start)) return stop;
    if (const int stop = PauseUntil(start, start + StepPauseMs)) return stop;
    if (LastPauseMs > StepPauseMs + kLateByMs) ++Drive.lateSteps;
    Drive.longestPauseMs = std::max(Drive.longestPauseMs, LastPauseMs);
    if (Drive.writesDone == 0)
        if (const int stop = ReadBeforeFirstWrite()) return stop;
    WritePort(pulse.low);
    SpinUntil(host::ClockMilliseconds() + kLowPhaseMs);
    WritePort(pulse.pattern);
    Drive.patternWrittenMs = host::ClockMilliseconds();
    ++Drive.stepsDriven;
    ShowPortNote();
    return 0;
}

int DriveSide(const DrivePulses& sides, int side, std::int64_t steps) {
    const std::string prefix = "Seite " + std::to_string(side + 1) + "/" + std::to_string(kSideCount) + " " +
                               kSides[side].name + ": Schritt ";
    const std::string suffix = " von " + std::to_string(steps);
    std::string progress = prefix;  // its buffer is reused from step to step
    Drive.sideNow = side;
    for (std::int64_t done = 0; done < steps; ++done) {
        Drive.stepNow = done;
        if (const int stop = StepPulse(PlanPulse(sides, side, done))) return stop;
        // After the pulse, never inside the pause, whose 15 ms it must not shorten.
        progress.resize(prefix.size());
        progress += std::to_string(done + 1);
        progress += suffix;
        host::ShowProgress(progress, Drive.stepsDriven);
    }
    return 0;
}

// A busy machine shows in late steps; the user should learn why the rectangle may not close.
void SayIfStepsCameLate() {
    if (Drive.lateSteps == 0) return;
    host::ReportLateSteps("Achtung: " + std::to_string(Drive.lateSteps) + " von " + std::to_string(Drive.stepsDriven) +
                          (Drive.stepsDriven == 1 ? " Schritt" : " Schritten") + (Drive.lateSteps == 1 ? " kam" : " kamen") +
                          " mehr als " + wording::Decimal(kLateByMs, 1, true) + " ms zu spät (längste Pause " +
                          wording::Decimal(Drive.longestPauseMs, 1) +
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

DrivePulses SidePulses() {
    DrivePulses pulses;
    for (int side = 0; side < kSideCount; ++side) pulses[static_cast<std::size_t>(side)] = SidePulse(kSides[side]);
    return pulses;
}

PlannedPulse PlanPulse(const DrivePulses& sides, int side, std::int64_t index) {
    // What the port holds: this side's pattern after its first pulse, before it the last side's (or nothing).
    const PulseWrites& pulse = sides[static_cast<std::size_t>(side)];
    const int before = index > 0 ? pulse.pattern : side > 0 ? sides[static_cast<std::size_t>(side) - 1].pattern : 0;
    return {StepLinesOff(pulse, before), pulse.pattern};
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
    return PauseUntil(start, start + ms);
}

namespace {

// Pause from `start` on, until `end` on the same clock.
int PauseUntil(double start, double end) {
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

}  // namespace

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

namespace {

// The end of every drive, the one way out: the last pulse gets its time, as
// every other did in its pause, and a write of 0 switches every line off;
// before the first write the port library is not even loaded and nothing is
// on. After a failure, the 0 only where the port holds anything else (a
// failure after a non-zero write: memory for the progress text, the drive
// window, a value the port did not take), written as the host's port knows it
// and never failing, so that the first failure is the one reported.
void SwitchOff(int stop, bool failed) {
    if (!failed) {
        if (Drive.stepsDriven > 0) SpinUntil(Drive.patternWrittenMs + kLowPhaseMs);
        Drive.sideNow = kSideCount;
        if (stop == 0 || Drive.writesDone > 0) WritePort(0);
        ShowPortNote();
        return;
    }
    host::SwitchPortOff();
}

}  // namespace

void WatchInputsAfterDrive() {
    if (!Drive.inputsRead) return;
    const std::optional<unsigned> levels = ReadInputs(PortAddress());
    if (!levels) return;
    TakeInputs(*levels, "nach der Fahrt");
    NewMarks();  // the carriages stand still: no place on the way
    if (InputsChanged()) host::ShowInputs(InputLines(), false);
}

int DriveTestRectangle() {
    Drive = DriveRecord{};
    std::string ignored;  // the wiring summary has said it
    Drive.readBackCompared = CompareReadBack(ignored);
    const DrivePulses pulses = SidePulses();
    // Read once, before the drive shows itself: a bad step count fails here, as
    // side 1 begins; the text is the same for every side.
    const std::int64_t perSide = ConvertStepCount(PinAssignment.StepsPerSide, StepsPerSideSource());
    const std::optional<std::int64_t> allSteps = DriveSteps(perSide);
    Drive.perSide = perSide;
    host::SetSignalBits(DriveSignalBits());
    // From here on there is one way out, whatever ends the drive: every line
    // off, then the host gives back what the drive took (its session), then the
    // drive's end is said or its failure passed on, which the host's boxes
    // then show without the drive window in front.
    int stop = 0;
    std::exception_ptr failure;
    try {
        host::BeginDrive(allSteps.value_or(std::numeric_limits<std::int64_t>::max()));
        for (int side = 0; side < kSideCount && stop == 0; ++side) stop = DriveSide(pulses, side, perSide);
        // A drive of no steps reads before its one write, the final 0.
        if (stop == 0 && Drive.writesDone == 0) stop = ReadBeforeFirstWrite();
        SwitchOff(stop, false);
    } catch (...) {
        failure = std::current_exception();
        SwitchOff(stop, true);
    }
    host::EndDrive();
    if (failure) std::rethrow_exception(failure);
    if (stop == 0) {
        host::ReportDone("Fertig: " + wording::Steps(Drive.stepsDriven) + " gefahren, alle Datenleitungen auf 0" +
                         ReadBackWords() + ".");
    } else if (!Drive.notBegunBy.empty()) {
        host::ReportStop(NotBegunText(Drive.notBegunBy));
    } else if (Drive.trippedBy >= 0) {
        host::ReportStop("Fahrt angehalten nach " + std::to_string(Drive.stepsDriven) + " von " +
                         DriveStepsText(perSide) + " Schritten: " +
                         TrippedText(static_cast<std::size_t>(Drive.trippedBy), Drive.trippedAt) +
                         "; alle Datenleitungen auf 0.");
    } else if (Drive.stepsDriven == 0) {
        host::ReportStop("Fahrt abgebrochen vor dem ersten Schritt; es wurde nichts auf den Port geschrieben.");
    } else {
        host::ReportStop("Fahrt abgebrochen nach " + std::to_string(Drive.stepsDriven) + " von " +
                         DriveStepsText(perSide) + " Schritten; alle Datenleitungen auf 0.");
    }
    if (Drive.inputsRead)
        host::ShowInputs(InputLines(), true);
    else if (Drive.inputsTried)
        host::ShowInputs("Eingänge: nicht gelesen, die Portbibliothek kann nicht lesen (kein Inp32).", true);
    SayIfStepsCameLate();
    return stop;
}

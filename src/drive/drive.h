#pragma once
// Step output: the pause, the step pulses and the test rectangle on the port.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "port_library.h"

// The pause before every step pulse, in milliseconds.
constexpr std::int16_t StepPauseMs = 15;

// A pause more than this over StepPauseMs, in ms, may already cost a stepper motor its step.
constexpr double kLateByMs = 1.0;

// How long the step lines stay low between a pulse's two writes, and the last
// pattern stands before the final 0, in ms on the host's clock: LinuxCNC's
// 200 us for a driver it does not know, beyond a TB6560's 30 us and its
// optocouplers' 18 us.
constexpr double kLowPhaseMs = 0.2;

// The sides of the test rectangle, in the order driven.
struct Side {
    const char* name;     // which way the user sees the carriage go: "nach vorne"
    char axis;            // 'X' or 'Y'
    bool withDirection;   // the pattern holds the axis' direction bit besides its step bit
};
constexpr Side kSides[] = {
    {"nach vorne", 'Y', true}, {"nach rechts", 'X', true}, {"zurück", 'Y', false}, {"nach links", 'X', false}};
constexpr int kSideCount = static_cast<int>(sizeof kSides / sizeof kSides[0]);

// The pattern every pulse of a side writes, from PinAssignment: the step bit
// of its axis plus, with withDirection, the direction bit. A sum, not an OR:
// two entries naming the same pin add up to the next higher bit (256 past D7),
// as the wiring file says; an empty bit counts as 0.
int SidePattern(const Side& side);

// The data-line bit of each signal as the patterns use them, from PinAssignment;
// 0 for a pin off the data lines.
port::SignalBits DriveSignalBits();

// The two writes of a side's pulses. The first switches off only the step lines
// of X and Y and keeps every direction line as the port holds it, but the moving
// axis' own, which it sets as the side needs: so no direction line ever changes
// in a write where its axis' step line has an edge, and a driver reads the step's
// direction wherever it takes the step, on the rising edge or the falling one.
// Where two of the four signals share a data line, masking one would switch
// the other; the first write is then 0.
struct PulseWrites {
    int pattern = 0;  // the second write: SidePattern
    int cleared = 0;  // the bits the first write clears of what the port holds: the step bits and the
                      // moving axis' direction bit, or all of them
    int set = 0;      // and then sets: that direction bit on sides with direction
};
PulseWrites SidePulse(const Side& side);

// The writes of every side's pulses, SidePulse of each in the order driven:
// what the drive and its plan are made from.
using DrivePulses = std::array<PulseWrites, kSideCount>;
DrivePulses SidePulses();

// The first write of a pulse when the port holds `before`.
int StepLinesOff(const PulseWrites& pulse, int before);

// The drive as planned, pulse by pulse: what DriveTestRectangle writes, and
// what the expected way is decoded from. Pulse `index` (from 0) of side `side`
// (0 to 3) writes `low` StepPauseMs after the last pattern (or the drive's
// start), and `pattern` kLowPhaseMs later; the port then holds the pattern.
// The final 0 comes kLowPhaseMs after the last pattern, or at the start when
// there is no pulse. Times here are nominal: the drive's are never shorter.
struct PlannedPulse {
    int low = 0;      // StepLinesOff of what the port holds before the pulse
    int pattern = 0;  // SidePattern
};
PlannedPulse PlanPulse(const DrivePulses& sides, int side, std::int64_t index);

// One pulse, from the end of the last pattern to the end of its own, in ms.
constexpr double kPulseMs = StepPauseMs + kLowPhaseMs;

// The steps of the whole drive with perSide steps a side: 4 × perSide, 0 when
// perSide is below 1, nothing when it is beyond the 64-bit range.
std::optional<std::int64_t> DriveSteps(std::int64_t perSide);

// How long the drive's pauses take with perSide steps a side, in ms (0 below 1).
double DriveDurationMs(std::int64_t perSide);

// The same as the user reads it: "400", or "4 × 9223372036854775807" beyond 64 bits.
std::string DriveStepsText(std::int64_t perSide);

// The variable that, set to "aus", drives without comparing what the port reads
// back with what was written: for a port that reads its lines rather than its
// register. The values are still read and counted.
constexpr const char* kReadBackVariable = "PLOTTERTEST_READBACK";

// Whether the drive compares what the port reads back, from kReadBackVariable:
// not for "aus"; for anything else, with `problem` naming a value that is
// neither empty nor "aus" ("" otherwise).
bool CompareReadBack(std::string& problem);

// Waits until at least ms milliseconds have passed on the host's monotonic
// clock, letting pending events be processed between clock readings: it waits
// for events (host::WaitForEvents) while the end is far, then reads the clock
// over and over for the last stretch, so that it never returns early and
// hardly ever late. Even a pause of 0 or less makes one event pass and reads
// the clock twice. Returns 0, or at once the signal number of an event pass
// that asks to stop.
int Pause(double ms);

// Drives the test rectangle with the settings in PinAssignment, which
// LoadPinAssignment must have filled: StepsPerSide pulses forward (Y step and
// direction), to the right (X step and direction), back (Y step) and to the
// left (X step); every pulse is a 15 ms pause, a write that switches the step
// lines off (StepLinesOff), kLowPhaseMs of spinning and a write of the side's
// pattern. A last write of 0, kLowPhaseMs after the last pattern, switches
// every data line off.
// The host's drive begins before the first write and ends after the last,
// however the drive ends; after every pulse it is shown the progress ("Seite
// 2/4 nach rechts: Schritt 37 von 100"); at the end a console line says the
// drive is done. When any pause lasted more than 1 ms over its 15 ms (a busy
// machine), the host is then told how many and the longest (host::ReportLateSteps).
//
// Every value is read back right after its write (host::Inp32), and once before
// the first write; lines that stood high then are said beside the progress
// (host::ShowPortNote) with what the first write does to them. The end's word
// says how many values were read back, or that the library cannot read.
//
// The five inputs (pins 10, 11, 12, 13, 15) are read with the read before the
// first write, and once at the start of every later pause; each change is kept
// with its place, said beside the progress for an input that is no stop input
// (host::ShowPortNote) and shown live (host::ShowInputs); the end names each
// input with its levels and where it changed. A stop input of the wiring file
// (StopInputs) that is active at the first read keeps the drive from writing
// anything („Fahrt nicht begonnen“); one that reads active in a pause and again
// kConfirmInputMs later stops the drive before the next pulse, and one read
// alone is a spike, which the end names.
//
// Returns 0 after the whole drive. When a pause is asked to stop (a stop key,
// the drive window, a stop signal) or a stop input stops it, no further pulse
// follows: if anything has been written, one write of 0 to the same address
// switches every line off; then the host reports how far the drive came.
// Returns that signal's number then, or kStoppedByInput.
//
// Failures, each after one write of 0 if the port holds anything else (a
// failure of that write is dropped, so that the first one is reported):
//   TypeMismatch/Overflow - StepsPerSide is not a whole number, raised when the
//                           drive begins, before any pause or write
//   TypeMismatch/Overflow - PortAddress is not a port address, raised at the
//                           first port write
//   PortLibraryNotFound/EntryPointNotFound - from the first port write
//   PortRejectsValues   - the port read back another value than was written,
//                         at once after that write, unless kReadBackVariable
//                         says otherwise: no further pattern, a write of 0
//                         where the value not taken was not 0 itself
//   InputsCannotBeRead  - the wiring file names stop inputs and the port
//                         library has no Inp32, at the first read: nothing written
int DriveTestRectangle();

// What DriveTestRectangle returns when a stop input stopped it or kept it from
// beginning; never a signal's number.
constexpr int kStoppedByInput = -1;

// After the drive, with every line off, while the window that shows its end
// stands (host::EndShown): reads the inputs once, where the drive could read
// them, and shows them as they are (host::ShowInputs), so that each switch can
// be pressed by hand and seen at both levels. A change here is no note.
void WatchInputsAfterDrive();

// How often WatchInputsAfterDrive reads the inputs, in ms: a switch pressed by
// hand shows at once to the eye.
constexpr double kInputsAfterDriveMs = 50;

#pragma once
// The machine's wiring as read from "Pinbelegung.txt" beside the program.

#include <cstdint>
#include <string>
#include <vector>

#include "config/conversions.h"

struct PinAssignmentRecord {
    BitValue XStepBit;  // the axis driven "nach rechts" and back
    BitValue XDirBit;
    double XDecimal = 0.0;
    BitValue YStepBit;  // the axis driven "nach vorne" and back
    BitValue YDirBit;
    double YDecimal = 0.0;
    BitValue ZStepBit;  // the Z axis: loaded, never moved by the test run
    BitValue ZDirBit;
    double ZDecimal = 0.0;
    std::string TextEntry;     // as read, never interpreted
    std::string PortAddress;   // as read; converted at every port write
    std::string StepsPerSide;  // as read; converted once, when the drive begins
};

// Filled by LoadPinAssignment, read by the drive for the rest of the run.
extern PinAssignmentRecord PinAssignment;

// Pins 2 to 9 of the 25-pin connector are the data lines D0 to D7, which the
// port's data register drives; no other pin reaches one.
constexpr std::int32_t kFirstDataPin = 2;
constexpr std::int32_t kLastDataPin = 9;
constexpr bool IsDataPin(std::int32_t pin) { return pin >= kFirstDataPin && pin <= kLastDataPin; }

// The data line of a data pin: "D0" for pin 2 ... "D7" for pin 9.
std::string DataLineName(std::int32_t pin);

// "Pin 11 (BUSY)": an input pin by its number and its signal's name.
std::string InputPinName(std::int32_t pin);

// An input the wiring file names after line 24 that stops the drive: an
// entry of a caption (the input's name) and a value "PIN LEVEL", one of the
// five status pins (10, 11, 12, 13, 15) and the connector level at which it
// is active (a switch that closes to ground is active at 0).
struct StopInput {
    std::string name;  // the caption, made fit to show (UTF-8, no control bytes)
    std::int32_t pin = 0;
    int activeLevel = 0;
    int line = 0;  // of its value
};

// Filled by LoadPinAssignment, in file order; each pin at most once. Empty for a file of 24 lines.
extern std::vector<StopInput> StopInputs;

// What LoadPinAssignment found after line 24 that is no stop input and is
// not used: "Achtung: Pinbelegung.txt, Zeile 26, …", for the wiring summary.
extern std::vector<std::string> StopInputProblems;

// The connector pins of the six pin entries as read (0..17), so that the user
// can be told what each reaches; the drive uses only the bits in PinAssignment.
struct ConnectorPinsRecord {
    std::int32_t XStep = 0, XDir = 0, YStep = 0, YDir = 0, ZStep = 0, ZDir = 0;
};
extern ConnectorPinsRecord ConnectorPins;

// The path the wiring was read from, as LoadPinAssignment found it.
extern std::string PinAssignmentPath;

// The name of the file, which lies in the program's directory.
extern const char* const kPinAssignmentFileName;

// Reads the 24 lines of "Pinbelegung.txt" in the program's directory as 12
// caption/value entries and fills PinAssignment; then any further lines, in
// pairs, as stop inputs (StopInputs). A further entry that names no input, a
// pin named before, a level other than 0 or 1, or a caption without a value
// is not used, and is named in StopInputProblems; it never fails the load.
// The file is closed on return, also when a failure is thrown.
//
// Failures:
//   PinAssignmentMissing - no file (or a directory of that name); the detail is the path searched
// and, each with the line, the entry's name, the text read and what it accepts:
//   FileCannotBeOpened  - the file vanished after the existence test, or access is refused
//   InputPastEndOfFile  - fewer than 24 lines
//   TypeMismatch        - a pin value that is not a whole number (empty included)
//   Overflow            - a pin value beyond 32 bits, a decimal beyond double
//   SubscriptOutOfRange - a pin number outside 0..17
//   OutOfMemory         - a line too long for the memory there is, also after line 24
// PortAddress and StepsPerSide are not converted here.
void LoadPinAssignment();

// Where entries 11 and 12 come from and what they accept, for the conversions
// in the drive.
const ValueSource& PortAddressSource();
const ValueSource& StepsPerSideSource();

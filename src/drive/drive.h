#pragma once
// Step output: the pause, the step pulses and the test rectangle on the port.

#include <cstdint>

// The pause before every step pulse, in milliseconds.
constexpr std::int16_t StepPauseMs = 15;

// Busy-waits until at least ms milliseconds have passed on the host's monotonic
// clock, letting pending events be processed between clock readings. Even a
// pause of 0 or less makes one event pass and reads the clock twice.
void Pause(double ms);

// Drives the test rectangle with the settings in PinAssignment, which
// LoadPinAssignment must have filled: StepsPerSide pulses forward (Y step and
// direction), to the right (X step and direction), back (Y step) and to the
// left (X step); every pulse is a 15 ms pause, a write of 0 and a write of the
// side's pattern. A last write of 0 switches every data line off.
//
// Failures, each leaving the port as last written:
//   TypeMismatch/Overflow - StepsPerSide is not a whole number, raised when a
//                           side begins (side 1: before any pause or write)
//   TypeMismatch/Overflow - PortAddress is not a port address, raised at the
//                           first port write
//   PortLibraryNotFound/EntryPointNotFound - from the first port write
void DriveTestRectangle();

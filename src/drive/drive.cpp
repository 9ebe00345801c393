#include "drive/drive.h"

#include "config/pin_assignment.h"
#include "platform/platform.h"

namespace {

void WritePort(int value) {
    // The address is converted at every write, so a bad one fails at the first.
    const std::int16_t address = ConvertPortAddress(PinAssignment.PortAddress, PortAddressSource());
    host::Out32(address, static_cast<short>(value));
}

void StepPulse(int pattern) {
    Pause(StepPauseMs);
    WritePort(0);
    WritePort(pattern);
}

void DriveSide(int pattern) {
    const std::int64_t steps = ConvertStepCount(PinAssignment.StepsPerSide, StepsPerSideSource());
    for (std::int64_t done = 0; done < steps; ++done) StepPulse(pattern);
}

}  // namespace

void Pause(double ms) {
    // Milliseconds as double on a monotonic clock: exact to well below a
    // microsecond for years of uptime, and never thrown back by midnight.
    const double start = host::ClockMilliseconds();
    do {
        host::ProcessPendingEvents();
    } while (host::ClockMilliseconds() < start + ms);
}

void DriveTestRectangle() {
    // The pattern is the sum of two bit values, not their OR: two entries naming
    // the same pin add up to the next higher bit, as the wiring file says.
    const PinAssignmentRecord& pins = PinAssignment;
    DriveSide(BitOf(pins.YStepBit) + BitOf(pins.YDirBit));  // forward
    DriveSide(BitOf(pins.XStepBit) + BitOf(pins.XDirBit));  // right
    DriveSide(BitOf(pins.YStepBit));                        // back
    DriveSide(BitOf(pins.XStepBit));                        // left
    WritePort(0);
}

#pragma once
// What the user is told of the wiring before anything moves: which pin and
// data line each signal uses, the port and the length of the drive, and each
// wiring that cannot work as meant. Information only: the drive does not read it.

#include "platform/platform.h"

// Made from PinAssignment and ConnectorPins, which LoadPinAssignment must have
// filled, for host::ShowWiring. The warnings: one "Achtung: …" for each signal
// that never reaches the port, each pin shared by two signals, a step count
// that drives nothing, a port address or step count that the drive will not
// be able to convert (the failure itself still comes when the drive converts
// it), a port address typed as Device Manager shows it (with what is meant),
// a PLOTTERTEST_DRIVER_US that is not four times, and PLOTTERTEST_READBACK
// set; none for a plain wiring. Where the step count reads, also the expected
// way's lines (ExpectedWayLines) and its picture: the rising edge's corners,
// a sample of its unclean steps and where each side should end. Throws nothing
// a value of the file can cause.
host::WiringFacts DescribeWiring();

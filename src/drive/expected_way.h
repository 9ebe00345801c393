#pragma once
// What the machine should draw, known before anything moves: the drive as
// planned (PlanPulse), with its nominal times, decoded as a stepper driver
// would take it, by the same decoder that reads the simulated port's writes.

#include <cstdint>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "way/way.h"

struct ExpectedWays {
    way::Way rising, falling;            // for a driver that steps on the rising edge, or on the falling one
    way::Point afterSide[kSideCount + 1];  // where the rising edge's way stands after 0, 1, ... 4 sides
};

// The ways of the drive with the wiring in PinAssignment and perSide pulses a
// side (none below 1), judged against `driver`. Any 64-bit perSide takes a few
// dozen pulses' work and the memory of a few: a side's first pulses are decoded
// one by one, the pulses between its last two repeat the one before them
// (way::Repeat), and its last pulse and the final 0 are decoded again.
ExpectedWays ExpectWays(std::int64_t perSide, const way::DriverTimes& driver);

// For the user before the confirmation: one line "Erwarteter Weg: …" in the
// simulated port's words, and where a step is not clean for the driver, its
// "Signal: …" line too.
std::vector<std::string> ExpectedWayLines(const ExpectedWays& ways);

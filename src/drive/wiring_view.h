#pragma once
// What the user is told of the wiring before anything moves: which pin and
// data line each signal uses, the port and the length of the drive, and each
// wiring that cannot work as meant. Information only: the drive does not read it.

#include <string>
#include <vector>

struct WiringView {
    // "Verdrahtung aus <path>:", a line each for X, Y and Z, then the port and the steps.
    std::vector<std::string> summary;
    // The pins and the port in one line: "X: Pin 2 (D0) / Pin 3 (D1) · Y: Pin 4 (D2) / Pin 5 (D3) · Port 0x378".
    std::string brief;
    // One line "Achtung: …" for each signal that never reaches the port, each
    // pin shared by two signals, a step count that drives nothing, and a port
    // address or step count that the drive will not be able to convert (the
    // failure itself still comes when the drive converts it). None for a plain wiring.
    std::vector<std::string> warnings;
};

// Made from PinAssignment and ConnectorPins, which LoadPinAssignment must have
// filled. Throws nothing a value of the file can cause.
WiringView DescribeWiring();

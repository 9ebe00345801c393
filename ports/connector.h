#pragma once
// The 25-pin connector of a PC's parallel port: which register and bit each
// signal pin is, whether the port's hardware inverts it, and which way it
// goes. The program's wiring reader, its wiring summary, its drive and the
// simulated port all read this one table. Pins 18 to 25 are ground.
//
// Every level here is the level at the connector: 1 is high (about 5 V), 0 is
// low. A register bit of an inverted pin reads the opposite.

#include <cstdint>

namespace port {

enum class Register : std::uint8_t { Data, Status, Control };  // at base address + 0, + 1, + 2

struct ConnectorPin {
    int pin;
    Register reg;
    int bit;         // in its register
    bool inverted;   // the register holds the opposite of the connector's level
    bool input;      // the PC reads it (the status lines); else the PC drives it
    const char* signal;  // "D0", "BUSY": as references to the port name it
};

constexpr ConnectorPin kConnector[] = {
    {1, Register::Control, 0, true, false, "STROBE"},  {2, Register::Data, 0, false, false, "D0"},
    {3, Register::Data, 1, false, false, "D1"},        {4, Register::Data, 2, false, false, "D2"},
    {5, Register::Data, 3, false, false, "D3"},        {6, Register::Data, 4, false, false, "D4"},
    {7, Register::Data, 5, false, false, "D5"},        {8, Register::Data, 6, false, false, "D6"},
    {9, Register::Data, 7, false, false, "D7"},        {10, Register::Status, 6, false, true, "ACK"},
    {11, Register::Status, 7, true, true, "BUSY"},     {12, Register::Status, 5, false, true, "PAPER-OUT"},
    {13, Register::Status, 4, false, true, "SELECT"},  {14, Register::Control, 1, true, false, "AUTOFEED"},
    {15, Register::Status, 3, false, true, "ERROR"},   {16, Register::Control, 2, false, false, "INIT"},
    {17, Register::Control, 3, true, false, "SELECT-IN"},
};

// The pin's row, or nullptr for a pin without a signal (0, ground, beyond 25).
constexpr const ConnectorPin* FindPin(int pin) {
    for (const ConnectorPin& row : kConnector)
        // cppcheck-suppress useStlAlgorithm ; constexpr, which std::find_if is not before C++20
        if (row.pin == pin) return &row;
    return nullptr;
}

// The five status lines the PC reads, in the order of their pins.
constexpr int kInputCount = 5;
constexpr int kInputPins[kInputCount] = {10, 11, 12, 13, 15};

// The index of an input pin in kInputPins, or -1 for any other pin.
constexpr int InputIndex(int pin) {
    for (int i = 0; i < kInputCount; ++i)
        if (kInputPins[i] == pin) return i;
    return -1;
}

// The connector's level (0 or 1) of an input pin in a status register byte.
constexpr int LevelIn(const ConnectorPin& row, unsigned registerByte) {
    return static_cast<int>(((registerByte >> row.bit) & 1u) ^ (row.inverted ? 1u : 0u));
}

// The status register byte that these connector levels of the five inputs
// (bit i of levels for kInputPins[i]) read as; the bits of no input are 0.
constexpr unsigned StatusByte(unsigned levels) {
    unsigned byte = 0;
    for (int i = 0; i < kInputCount; ++i) {
        const ConnectorPin* row = FindPin(kInputPins[i]);
        const unsigned level = (levels >> i) & 1u;
        byte |= (level ^ (row->inverted ? 1u : 0u)) << row->bit;
    }
    return byte;
}

// The five connector levels (bit i for kInputPins[i]) that a status byte reads as.
constexpr unsigned InputLevels(unsigned registerByte) {
    unsigned levels = 0;
    for (int i = 0; i < kInputCount; ++i)
        levels |= static_cast<unsigned>(LevelIn(*FindPin(kInputPins[i]), registerByte)) << i;
    return levels;
}

static_assert(InputLevels(StatusByte(0x1F)) == 0x1F && InputLevels(StatusByte(0x0A)) == 0x0A);

}  // namespace port

#pragma once
// What the port reads back after the drive's writes, in the user's words: a
// value it did not take, with the lines that differ and what most likely keeps
// the port from it, and the lines that stood high before the first write.

#include <cstdint>
#include <string>

#include "platform/failure.h"
#include "port_library.h"

// Why a port does not take its values, judged by what it read back.
enum class ReadBackCause : std::uint8_t {
    NoPort,      // every line reads 1 (255): nothing answers at the address, or the port is off in the BIOS
    DriverDead,  // while no line has ever read 1: the address' low byte, or 0 after several lines written:
                 // the library's driver writes nothing
    LineOrDriver,  // 0 after one line alone was written, while no line has ever read 1: that line held low
                   // by the wiring, or a dead driver; a drive with the plug pulled tells them apart
    LinesHeld,   // some lines follow the writes and these do not, or lines written stay off on a port that
                 // read 1 before the first write: what is connected to them holds them
    PortMode,    // anything else: a port mode (ECP) whose data register does not drive the lines
};

// The cause for `read` after `written` (the data lines, low eight bits) at
// `address`; `followed` holds the lines that read 1 where 1 was written, in
// this drive before, and shows that the port takes values on those;
// `seenBefore` the lines that read 1 before the first write (but 255 and the
// address' low byte, which a missing port and a dead driver read), which show
// that the port can be read, so that its driver works.
ReadBackCause CauseOf(unsigned written, unsigned read, std::uint16_t address, unsigned followed,
                      unsigned seenBefore = 0);

// A value the port did not take, for the failure report.
struct NotTaken {
    std::uint16_t address = 0;
    unsigned written = 0, read = 0;  // the data lines, low eight bits
    unsigned followed = 0;           // lines that read 1 where 1 was written
    std::string when;                // "beim 2. Schreibzugriff (Seite 1/4 nach vorne, Schritt 1)"
    bool zeroFollows = true;         // the drive writes 0 after it: it was not 0 itself
    unsigned seenBefore = 0;         // as CauseOf takes it
};

// The PortRejectsValues failure: the port as the wiring summary names it, the
// value written and read, each line that differs by pin, data line and signal
// (from `bits`), the cause with what to do (addressText is the port address as
// the file holds it, for a hexadecimal address typed without 0x), and how to
// drive a port that reads its lines rather than its register.
Failure PortDidNotTake(const NotTaken& what, const port::SignalBits& bits, const std::string& addressText);

// Lines that stood high before the first write (`before`, as read) and what
// the first write (`first`) does to them: each line by its pin, and the axes
// whose step line falls, on which a driver acting on the falling edge takes a
// step. "" when no line stood high.
std::string HighBeforeNote(unsigned before, unsigned first, const port::SignalBits& bits);

// "Pin 2 (D0, X-Schritt)", "Pin 9 (D7)": a data line and the signals on it.
std::string DataLineText(int line, const port::SignalBits& bits);

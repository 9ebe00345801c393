#pragma once
// A real parallel port through the kernel's ppdev driver. The port address that
// the program passes to Out32 is matched against the ports the kernel knows
// (/proc/sys/dev/parport/*/base-addr) to find /dev/parportN; only that device
// is ever written, so a mistyped address cannot reach other hardware.

#include <string>
#include <vector>

namespace parport {

struct KnownPort {
    std::string name;   // e.g. "parport0", also the name of its device in /dev
    unsigned base = 0;  // its I/O base address
};

// The parallel ports the kernel knows, by name; empty when the parport driver is not loaded.
// root is prepended to /proc and /dev, so that tests can point at a tree of their own.
std::vector<KnownPort> KnownPorts(const std::string& root);

// Opens and claims, for this process alone, the ppdev device of the port at
// address (taken as an unsigned 16-bit value: -6144 is E800h) and sets its data
// lines to output. Returns the file descriptor, or -1 with message set to a
// German explanation for the user: the address, the device looked for or tried,
// the reason, the remedy, and the ports that do exist.
int ClaimPort(short address, const std::string& root, std::string& message);

}  // namespace parport

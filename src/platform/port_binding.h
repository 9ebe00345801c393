#pragma once
// The binding of the port library, which each host does its own way
// (posix/port.cpp, win32/port.cpp); port.cpp keeps what is bound, for both.

#include "port_library.h"

namespace host {

// What the program calls of a bound port library; `in` is nullptr for a
// library without Inp32.
struct BoundPort {
    port::Out32Function out = nullptr;
    port::Inp32Function in = nullptr;
    port::PortErrorFunction error = nullptr;  // nullptr for a library without PortError
};

// Loads the port library, looks up Out32 and Inp32 and, where the library
// exports it, hands SetSignalBits the bits. Throws as host::Out32 says (platform.h).
BoundPort BindPortLibrary(const port::SignalBits& bits);

// Before the library is bound: makes this drive the only one on the port at
// address, until EndDrive. Throws PortInUse, naming the port, while another
// copy of the program drives it. On Linux the ppdev library claims its port
// itself, exclusively, and this does nothing.
void ClaimPort(short address);

}  // namespace host

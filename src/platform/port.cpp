// The port library, bound by the host at the first write and kept.

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/port_binding.h"

namespace host {

namespace {
BoundPort Bound;
SignalBits Signals{};
short LastAddress = 0;
short LastValue = 0;

void Bind(short address) {
    if (Bound.out != nullptr) return;
    ClaimPort(address);
    Bound = BindPortLibrary(Signals);
}

// A library that says why its last call failed (PortError): the failure, as
// the program's own, so that the drive switches off and reports it.
void ThrowIfFailed() {
    if (Bound.error == nullptr) return;
    if (const char* why = Bound.error()) throw Failure{FailureKind::PortFailed, why};
}
}  // namespace

void SetSignalBits(const SignalBits& bits) { Signals = bits; }

void Out32(short address, short value) {
    Bind(address);
    Bound.out(address, value);
    LastAddress = address;
    LastValue = value;
    ThrowIfFailed();
}

void SwitchPortOff() {
    if (Bound.out == nullptr || LastValue == 0) return;
    Bound.out(LastAddress, 0);
    LastValue = 0;
}

namespace {
// The register at `at` of the port whose data register is at `address`.
int ReadRegister(short address, short at) {
    Bind(address);
    if (Bound.in == nullptr) return kCannotRead;
    const int read = Bound.in(at) & 0xFF;
    ThrowIfFailed();
    return read;
}
}  // namespace

int Inp32(short address) { return ReadRegister(address, address); }

int ReadStatus(short address) { return ReadRegister(address, static_cast<short>(address + 1)); }

}  // namespace host

// The port library, bound by the host at the first write and kept.

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
}  // namespace

void SetSignalBits(const SignalBits& bits) { Signals = bits; }

void Out32(short address, short value) {
    Bind(address);
    Bound.out(address, value);
    LastAddress = address;
    LastValue = value;
}

void SwitchPortOff() {
    if (Bound.out == nullptr || LastValue == 0) return;
    Bound.out(LastAddress, 0);
    LastValue = 0;
}

int Inp32(short address) {
    Bind(address);
    return Bound.in != nullptr ? Bound.in(address) & 0xFF : kCannotRead;
}

int ReadStatus(short address) {
    Bind(address);
    return Bound.in != nullptr ? Bound.in(static_cast<short>(address + 1)) & 0xFF : kCannotRead;
}

}  // namespace host

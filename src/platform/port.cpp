// The port library, bound by the host at the first write and kept.

#include "platform/platform.h"
#include "platform/port_binding.h"

namespace host {

namespace {
BoundPort Bound;
SignalBits Signals{};

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
}

int Inp32(short address) {
    Bind(address);
    return Bound.in != nullptr ? Bound.in(address) & 0xFF : kCannotRead;
}

}  // namespace host

// The port library, bound by the host at the first write and kept.

#include "platform/platform.h"
#include "platform/port_binding.h"

namespace host {

namespace {
port::Out32Function BoundOut32 = nullptr;
SignalBits Signals{};
}  // namespace

void SetSignalBits(const SignalBits& bits) { Signals = bits; }

void Out32(short address, short value) {
    if (BoundOut32 == nullptr) {
        ClaimPort(address);
        BoundOut32 = BindPortLibrary(Signals);
    }
    BoundOut32(address, value);
}

}  // namespace host

// Out32 and Inp32 over ppdev: the first call of either claims the port, with
// its data lines set to output, every Out32 writes the data register, and
// Inp32 reads it, or the status register (the five inputs) at the address + 1
// (nothing else: never the control register), and the end of the process
// releases it. When the port cannot be had, or a write or read fails, PortError
// says why at once, and the program's drive switches off and reports it: a
// write that does not reach the plotter must never pass unnoticed.

#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "parport.h"
#include "port_library.h"

namespace {

struct ClaimedPort {
    int fd = -1;
    short address = 0;

    ~ClaimedPort() {
        if (fd < 0) return;
        ioctl(fd, PPRELEASE);
        close(fd);
    }
};

ClaimedPort Claimed;  // the port this process writes to

// Why the last call failed, for PortError: Out32 returns nothing, so a failure
// cannot travel back in it.
std::string Failed;

void Fail(const std::string& message) { Failed = message; }

// The port at address, claimed at the first call; `what` names the access for
// a message. False, with the failure kept, where it cannot be had.
bool Claim(short address, const char* what) {
    if (Claimed.fd < 0) {
        std::string message;
        Claimed.fd = parport::ClaimPort(address, "", message);
        if (Claimed.fd < 0) {
            Fail(message);
            return false;
        }
        Claimed.address = address;
    } else if (address != Claimed.address) {
        Fail(std::string("Parallelport: ") + what + " auf Adresse " +
             std::to_string(static_cast<unsigned short>(address)) + ", belegt ist aber " +
             std::to_string(static_cast<unsigned short>(Claimed.address)) + ".");
        return false;
    }
    return true;
}

}  // namespace

PORT_EXPORT void PORT_CALL Out32(short address, short value) {
    if (!Claim(address, "Schreibzugriff")) return;
    // The data register has eight lines; a ninth bit (two entries on pin 9) reaches none.
    unsigned char data = static_cast<unsigned char>(value & 0xFF);
    if (ioctl(Claimed.fd, PPWDATA, &data) != 0)
        Fail(std::string("Parallelport: Schreiben fehlgeschlagen (PPWDATA): ") + std::strerror(errno));
}
static_assert(std::is_same_v<decltype(&Out32), port::Out32Function>);

PORT_EXPORT short PORT_CALL Inp32(short address) {
    const bool status = Claimed.fd >= 0 && address == static_cast<short>(Claimed.address + 1);
    if (!status && !Claim(address, "Lesezugriff")) return 0;
    unsigned char data = 0;
    if (ioctl(Claimed.fd, status ? PPRSTATUS : PPRDATA, &data) != 0)
        Fail(std::string("Parallelport: Lesen fehlgeschlagen (") + (status ? "PPRSTATUS" : "PPRDATA") +
             "): " + std::strerror(errno));
    return data;
}

// Why the last Out32 or Inp32 failed, once: nullptr where none did.
PORT_EXPORT const char* PORT_CALL PortError() {
    static std::string said;
    if (Failed.empty()) return nullptr;
    said = std::exchange(Failed, {});
    return said.c_str();
}
static_assert(std::is_same_v<decltype(&PortError), port::PortErrorFunction>);
static_assert(std::is_same_v<decltype(&Inp32), port::Inp32Function>);

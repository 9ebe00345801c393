#include "parport.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace parport {

namespace {

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string Explain(unsigned address, const std::string& reason, const std::string& sought, const std::string& remedy,
                    const std::vector<KnownPort>& ports) {
    std::string message = "Parallelport an Adresse " + std::to_string(address) + " (" + Hex(address) +
                          ") nicht verfügbar: " + reason + "\n  Gesucht: " + sought + "\n  Abhilfe: " + remedy +
                          "\n  Vorhandene Parallelports: ";
    if (ports.empty()) message += "keine";
    for (std::size_t i = 0; i < ports.size(); ++i)
        message += (i ? ", " : "") + ports[i].name + " an " + Hex(ports[i].base) + " (" +
                   std::to_string(ports[i].base) + ")";
    return message + "\nEs wurde nichts auf den Port geschrieben.";
}

// The first USB printer adapter (/dev/usb/lp0 ...), or nothing.
std::string UsbPrinter(const std::string& root) {
    std::vector<std::string> printers;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root + "/dev/usb", error))
        if (entry.path().filename().string().rfind("lp", 0) == 0) printers.push_back("/dev/usb/" + entry.path().filename().string());
    std::sort(printers.begin(), printers.end());
    return printers.empty() ? std::string() : printers.front();
}

}  // namespace

std::vector<KnownPort> KnownPorts(const std::string& root) {
    std::vector<KnownPort> ports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root + "/proc/sys/dev/parport", error)) {
        const std::string name = entry.path().filename().string();
        std::ifstream baseAddress(entry.path() / "base-addr");
        unsigned base = 0;
        // "888\t1912": the base address, then the extended one.
        if (name.rfind("parport", 0) == 0 && baseAddress >> base) ports.push_back({name, base});
    }
    std::sort(ports.begin(), ports.end(), [](const KnownPort& a, const KnownPort& b) { return a.name < b.name; });
    return ports;
}

int ClaimPort(short address, const std::string& root, std::string& message) {
    const unsigned wanted = static_cast<unsigned short>(address);
    const std::string table = "/proc/sys/dev/parport";
    const std::vector<KnownPort> ports = KnownPorts(root);
    const auto port =
        std::find_if(ports.begin(), ports.end(), [&](const KnownPort& known) { return known.base == wanted; });
    if (port == ports.end()) {
        // With no port at all, the drivers are missing, not the address wrong;
        // unless what is plugged in is a USB printer adapter, which no driver
        // turns into a port.
        const std::string printer = UsbPrinter(root);
        if (ports.empty() && !printer.empty()) {
            message = Explain(wanted,
                              "der Kernel kennt keinen Parallelport; " + printer +
                                  " ist ein USB-Druckeradapter. Er gibt nur Druckdaten weiter und kann keine "
                                  "einzelnen Datenleitungen schalten.",
                              "ein Port mit dieser Adresse in " + table + "/*/base-addr",
                              "einen echten Parallelport verwenden: den der Hauptplatine oder eine PCI- bzw. "
                              "PCIe-Karte. Kein Treiber macht aus dem USB-Druckeradapter einen Parallelport.",
                              ports);
        } else if (ports.empty()) {
            message = Explain(wanted, "der Kernel kennt keinen Parallelport.",
                              "ein Port mit dieser Adresse in " + table + "/*/base-addr",
                              "die Treiber laden: sudo modprobe parport_pc && sudo modprobe ppdev", ports);
        } else {
            message = Explain(wanted, "kein Parallelport des Kernels hat diese Adresse.",
                              "ein Port mit dieser Adresse in " + table + "/*/base-addr",
                              "die Portadresse in Pinbelegung.txt auf einen vorhandenen Port setzen.", ports);
        }
        return -1;
    }

    const std::string device = "/dev/" + port->name;
    const int fd = open((root + device).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            message = Explain(wanted, device + " fehlt.", device, "den ppdev-Treiber laden: sudo modprobe ppdev", ports);
        else if (error == EACCES || error == EPERM)
            message = Explain(wanted, "keine Berechtigung für " + device + ".", device,
                              "den Benutzer in die Gruppe lp aufnehmen: sudo usermod -aG lp $USER, dann neu anmelden.",
                              ports);
        else
            message = Explain(wanted, device + ": " + std::strerror(error), device,
                              "den ppdev-Treiber prüfen: sudo modprobe ppdev", ports);
        return -1;
    }

    // Exclusive: no printer driver may take the port between two steps.
    int forward = 0;  // the data lines drive the connector
    const char* failed = nullptr;
    if (ioctl(fd, PPEXCL) != 0) failed = "PPEXCL";
    else if (ioctl(fd, PPCLAIM) != 0) failed = "PPCLAIM";
    else if (ioctl(fd, PPDATADIR, &forward) != 0) failed = "PPDATADIR";
    if (failed != nullptr) {
        const int error = errno;
        close(fd);
        // ENXIO from PPCLAIM: the kernel refuses to register a second device on
        // a port that another holds exclusively, as another copy of this program does.
        if (error == EBUSY || (error == ENXIO && std::string(failed) == "PPCLAIM"))
            message = Explain(wanted, device + " wird von einem anderen Treiber oder Programm benutzt.", device,
                              "den Druckertreiber entladen (sudo rmmod lp) und andere Programme am Port beenden.",
                              ports);
        else if (error == ENOTTY || error == EINVAL)
            message = Explain(wanted, device + " ist kein ppdev-Gerät (" + failed + ").", device,
                              "den ppdev-Treiber laden: sudo modprobe ppdev", ports);
        else
            message = Explain(wanted, device + ": " + failed + ": " + std::strerror(error), device,
                              "den Port in den BIOS-Einstellungen und mit dmesg prüfen.", ports);
        return -1;
    }
    return fd;
}

}  // namespace parport

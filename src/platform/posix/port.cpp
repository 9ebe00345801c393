// The port library, bound with dlopen at the first write.

#include <dlfcn.h>

#include <fstream>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/library_file.h"
#include "platform/platform.h"
#include "platform/port_binding.h"

namespace host {

namespace {

// The first bytes of a file; nothing when it cannot be read.
std::optional<std::string> FirstBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes(kLibraryHeaderBytes, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

std::string Kind(const LibraryFile& file) {
    return (file.bits != 0 ? std::to_string(file.bits) + "-Bit-Bibliothek" : std::string("Bibliothek")) +
           (file.machine.empty() ? "" : " für " + file.machine);
}

// Why the library beside the program did not load: what the file is, where
// that is not what this program needs, else what the loader said.
Failure WhyNotLoaded(const std::string& path, const std::string& loaderSaid) {
    // A file that cannot be read says nothing of what it is: the loader's own reason then.
    const std::optional<std::string> bytes = FirstBytes(path);
    if (!bytes) return {FailureKind::PortLibraryNotLoadable, path + " lässt sich nicht lesen: " + loaderSaid};
    const LibraryFile file = ReadLibraryHeader(*bytes);
    const LibraryFile own = OwnLibraryKind();
    const std::string rightFile = "; dieses Programm braucht eine " + Kind(own) +
                                  ", etwa libinpout32.so aus seinem eigenen Paket.";
    if (file.format != LibraryFile::Format::Elf)
        return {FailureKind::PortLibraryNotLoadable, path + " ist keine Bibliothek (kein ELF-Programmcode)" + rightFile};
    if (file.bits != own.bits || file.machine != own.machine)
        return {FailureKind::PortLibraryNotLoadable, path + " ist eine " + Kind(file) + rightFile};
    return {FailureKind::PortLibraryNotLoadable, path + ": " + loaderSaid};
}

}  // namespace

void ClaimPort(short) {}

BoundPort BindPortLibrary(const port::SignalBits& bits) {
    // The library beside the program wins, so that a copy of the program directory
    // brings its own port; else the system's library path is searched.
    const std::string besideProgram = PathInProgramDirectory("libinpout32.so");
    const bool beside = IsOrdinaryFile(besideProgram);
    const std::string name = beside ? besideProgram : "libinpout32.so";
    void* library = dlopen(name.c_str(), RTLD_NOW);
    if (library == nullptr) {
        const char* error = dlerror();
        const std::string said = error ? error : "unbekannter Fehler";
        if (beside) throw WhyNotLoaded(name, said);
        // dlopen names the file it skipped in the library path only in its
        // message; one it did not find at all is "No such file".
        throw Failure{said.find("No such file") != std::string::npos ? FailureKind::PortLibraryNotFound
                                                                    : FailureKind::PortLibraryNotLoadable,
                      "libinpout32.so: gesucht neben dem Programm (" + besideProgram +
                          ") und im Bibliothekspfad des Systems: " + said};
    }
    dlerror();
    void* entry = dlsym(library, port::kOut32);
    if (entry == nullptr) {
        const char* error = dlerror();
        throw Failure{FailureKind::EntryPointNotFound, name + ": Out32: " + (error ? error : "nicht vorhanden")};
    }
    if (void* tell = dlsym(library, port::kSetSignalBits))
        port::TellSignalBits(reinterpret_cast<port::SetSignalBitsFunction>(tell), bits);
    return {reinterpret_cast<port::Out32Function>(entry),
            reinterpret_cast<port::Inp32Function>(dlsym(library, port::kInp32)),
            reinterpret_cast<port::PortErrorFunction>(dlsym(library, port::kPortError))};
}

std::string PortAddressHelp() {
    return "Die Adressen der Parallelports, die der Kernel kennt: cat /proc/sys/dev/parport/*/base-addr (die erste "
           "Zahl, dezimal). Bis 32767 steht sie so in Pinbelegung.txt, darüber hexadezimal: eine Karte an 59392 als "
           "0xE800, was printf '0x%X\\n' 59392 ausrechnet.";
}

std::string PortDriverHelp() {
    return "Abhilfe: prüfen, welche libinpout32.so neben dem Programm liegt; für einen echten Port die ppdev-Bibliothek "
           "(parport/libinpout32.so) mit geladenen Treibern (lsmod | grep -e parport_pc -e ppdev; Meldungen mit dmesg).";
}

}  // namespace host

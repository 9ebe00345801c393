// The port library, bound with dlopen at the first write.

#include <dlfcn.h>

#include <string>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/port_binding.h"

namespace host {

port::Out32Function BindPortLibrary(const port::SignalBits& bits) {
    // The library beside the program wins, so that a copy of the program directory
    // brings its own port; else the system's library path is searched.
    const std::string besideProgram = PathInProgramDirectory("libinpout32.so");
    const bool beside = IsOrdinaryFile(besideProgram);
    const std::string name = beside ? besideProgram : "libinpout32.so";
    void* library = dlopen(name.c_str(), RTLD_NOW);
    if (library == nullptr) {
        const char* error = dlerror();
        throw Failure{FailureKind::PortLibraryNotFound,
                      (beside ? name : "libinpout32.so: gesucht neben dem Programm (" + besideProgram +
                                           ") und im Bibliothekspfad des Systems") +
                          ": " + (error ? error : "unbekannter Fehler")};
    }
    dlerror();
    void* entry = dlsym(library, port::kOut32);
    if (entry == nullptr) {
        const char* error = dlerror();
        throw Failure{FailureKind::EntryPointNotFound, name + ": Out32: " + (error ? error : "nicht vorhanden")};
    }
    if (void* tell = dlsym(library, port::kSetSignalBits))
        port::TellSignalBits(reinterpret_cast<port::SetSignalBitsFunction>(tell), bits);
    return reinterpret_cast<port::Out32Function>(entry);
}

}  // namespace host

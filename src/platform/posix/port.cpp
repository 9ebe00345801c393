// The port library, bound with dlopen at the first write.

#include <dlfcn.h>

#include <string>

#include "platform/failure.h"
#include "platform/platform.h"

namespace host {

namespace {

using Out32Function = void (*)(short, short);
using SignalBitsFunction = void (*)(short, short, short, short, short, short);
Out32Function BoundOut32 = nullptr;
SignalBits Signals{};

Out32Function BindOut32() {
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
    void* entry = dlsym(library, "Out32");
    if (entry == nullptr) {
        const char* error = dlerror();
        throw Failure{FailureKind::EntryPointNotFound, name + ": Out32: " + (error ? error : "nicht vorhanden")};
    }
    if (void* tell = dlsym(library, "SetSignalBits"))
        reinterpret_cast<SignalBitsFunction>(tell)(Signals.xStep, Signals.xDir, Signals.yStep, Signals.yDir,
                                                   Signals.zStep, Signals.zDir);
    return reinterpret_cast<Out32Function>(entry);
}

}  // namespace

void SetSignalBits(const SignalBits& bits) { Signals = bits; }

void Out32(short address, short value) {
    if (BoundOut32 == nullptr) BoundOut32 = BindOut32();
    BoundOut32(address, value);
}

}  // namespace host

// inpout32.dll, loaded at the first write from beside the program or the system directory.

#include <string>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace host {

namespace {

using Out32Function = void(__stdcall*)(short, short);
using IsDriverOpenFunction = BOOL(__stdcall*)();
using SignalBitsFunction = void(__stdcall*)(short, short, short, short, short, short);
Out32Function BoundOut32 = nullptr;
SignalBits Signals{};

Out32Function BindOut32() {
    // Only beside the program and in the system directory: never the working
    // directory or PATH, where any inpout32.dll that happens to lie there (a
    // download folder, a shortcut's "Start in") would be run.
    HMODULE library =
        LoadLibraryExW(L"inpout32.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) {
        const DWORD error = GetLastError();
        std::wstring system(MAX_PATH, L'\0');
        system.resize(GetSystemDirectoryW(system.data(), MAX_PATH));
        throw Failure{FailureKind::PortLibraryNotFound,
                      "inpout32.dll: gesucht neben dem Programm (" + PathInProgramDirectory("inpout32.dll") +
                          ") und im Systemverzeichnis (" + win32::Utf8(system) +
                          "\\inpout32.dll): " + win32::SystemMessage(error)};
    }
    FARPROC entry = GetProcAddress(library, "Out32");
    if (entry == nullptr)
        throw Failure{FailureKind::EntryPointNotFound, "inpout32.dll: Out32: " + win32::SystemMessage(GetLastError())};
    // The library opens its kernel driver when it is loaded. When that fails,
    // its Out32 does nothing and says nothing, and a drive would pass for done
    // with nothing at the connector. Current builds say so through this export;
    // older ones, without it, are used as they are.
    if (FARPROC isOpen = GetProcAddress(library, "IsInpOutDriverOpen");
        isOpen != nullptr && reinterpret_cast<IsDriverOpenFunction>(reinterpret_cast<void*>(isOpen))() == FALSE)
        throw Failure{FailureKind::PortDriverNotOpen,
                      "Der Treiber von inpout32.dll ist nicht geöffnet; es wurde nichts auf den Port geschrieben.\n"
                      "Abhilfe: plottertest einmal als Administrator starten (Rechtsklick auf plottertest.exe, „Als "
                      "Administrator ausführen“). Das richtet den Treiber für alle späteren Starts ein.\n"
                      "Hilft das nicht, sperrt Windows den Treiber: die Speicherintegrität (Windows-Sicherheit → "
                      "Gerätesicherheit → Kernisolierung → Speicherintegrität) oder die Sperrliste für anfällige "
                      "Treiber, oder eine Anti-Cheat-Software eines Spiels."};
    if (FARPROC tell = GetProcAddress(library, "SetSignalBits"))
        reinterpret_cast<SignalBitsFunction>(reinterpret_cast<void*>(tell))(
            Signals.xStep, Signals.xDir, Signals.yStep, Signals.yDir, Signals.zStep, Signals.zDir);
    return reinterpret_cast<Out32Function>(reinterpret_cast<void*>(entry));
}

}  // namespace

void SetSignalBits(const SignalBits& bits) { Signals = bits; }

void Out32(short address, short value) {
    if (BoundOut32 == nullptr) BoundOut32 = BindOut32();
    BoundOut32(address, value);
}

}  // namespace host

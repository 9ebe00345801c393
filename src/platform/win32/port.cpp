// inpout32.dll, loaded at the first write from beside the program or the system directory.

#include <string>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/port_binding.h"
#include "platform/win32/win32.h"

namespace host {

port::Out32Function BindPortLibrary(const port::SignalBits& bits) {
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
    FARPROC entry = GetProcAddress(library, port::kOut32);
    if (entry == nullptr)
        throw Failure{FailureKind::EntryPointNotFound, "inpout32.dll: Out32: " + win32::SystemMessage(GetLastError())};
    // The library opens its kernel driver when it is loaded. When that fails,
    // its Out32 does nothing and says nothing, and a drive would pass for done
    // with nothing at the connector. Current builds say so through this export;
    // older ones, without it, are used as they are.
    if (FARPROC isOpen = GetProcAddress(library, port::kIsInpOutDriverOpen);
        isOpen != nullptr && reinterpret_cast<port::IsInpOutDriverOpenFunction>(reinterpret_cast<void*>(isOpen))() == 0)
        throw Failure{FailureKind::PortDriverNotOpen,
                      "Der Treiber von inpout32.dll ist nicht geöffnet; es wurde nichts auf den Port geschrieben.\n"
                      "Abhilfe: plottertest einmal als Administrator starten (Rechtsklick auf plottertest.exe, „Als "
                      "Administrator ausführen“). Das richtet den Treiber für alle späteren Starts ein.\n"
                      "Hilft das nicht, sperrt Windows den Treiber: die Speicherintegrität (Windows-Sicherheit → "
                      "Gerätesicherheit → Kernisolierung → Speicherintegrität) oder die Sperrliste für anfällige "
                      "Treiber, oder eine Anti-Cheat-Software eines Spiels."};
    if (FARPROC tell = GetProcAddress(library, port::kSetSignalBits))
        port::TellSignalBits(reinterpret_cast<port::SetSignalBitsFunction>(reinterpret_cast<void*>(tell)), bits);
    return reinterpret_cast<port::Out32Function>(reinterpret_cast<void*>(entry));
}

}  // namespace host

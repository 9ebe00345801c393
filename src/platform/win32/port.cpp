// inpout32.dll, loaded at the first write from beside the program or the system directory.

#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/library_file.h"
#include "platform/platform.h"
#include "platform/port_binding.h"
#include "platform/win32/win32.h"
#include "text/wording.h"

namespace host {

namespace {

// The first bytes of a file; nothing when it cannot be read (another program
// holds it without sharing it for reading, no right to read it).
std::optional<std::string> FirstBytes(const std::string& path) {
    HANDLE file = CreateFileW(win32::LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes(kLibraryHeaderBytes, '\0');
    DWORD got = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

// What a user takes instead of the wrong file: the port library's download
// holds a Win32 and an x64 folder, and this program needs the one of its own word size.
std::string RightFile() {
    return OwnLibraryKind().bits == 32
               ? "dieses Programm braucht die 32-Bit-Datei inpout32.dll (aus dem Ordner Win32 im ZIP-Archiv der "
                 "Portbibliothek)"
               : "dieses Programm braucht eine 64-Bit-DLL namens inpout32.dll";
}

// The two places inpout32.dll is loaded from, in this order: beside the
// program and in the system directory. Never the working directory or PATH,
// where any inpout32.dll that happens to lie there (a download folder, a
// shortcut's "Start in") would be run.
struct Places {
    std::string beside, inSystem;
};

Places LibraryPlaces() {
    // Named as the user finds it in Explorer: the system directory of a 32-bit
    // program on 64-bit Windows is SysWOW64, where its System32 leads.
    std::wstring systemDirectory(MAX_PATH, L'\0');
    const bool thirtyTwoBit = OwnLibraryKind().bits == 32;
    UINT length = thirtyTwoBit ? GetSystemWow64DirectoryW(systemDirectory.data(), MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH) length = GetSystemDirectoryW(systemDirectory.data(), MAX_PATH);
    systemDirectory.resize(length < MAX_PATH ? length : 0);
    return {PathInProgramDirectory("inpout32.dll"), win32::Utf8(systemDirectory) + "\\inpout32.dll"};
}

HMODULE LoadPortLibrary() {
    if (win32::HasSearchFlags())
        return LoadLibraryExW(L"inpout32.dll", nullptr,
                              LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // XP, and Vista and 7 without that update, know no search flags: the same
    // places by their full paths, the library's own DLLs searched beside it.
    const Places places = LibraryPlaces();
    const std::string& path = IsOrdinaryFile(places.beside) ? places.beside : places.inSystem;
    if (IsOrdinaryFile(path)) return LoadLibraryExW(win32::Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// Why inpout32.dll did not load, as a failure: none there, or the one found and what is wrong with it.
Failure WhyNotLoaded(DWORD error) {
    const Places places = LibraryPlaces();
    const std::string& beside = places.beside;
    const std::string& inSystem = places.inSystem;
    const std::string found = IsOrdinaryFile(beside) ? beside : IsOrdinaryFile(inSystem) ? inSystem : "";
    if (found.empty()) {
        std::string detail = "inpout32.dll: gesucht neben dem Programm (" + beside + ") und im Systemverzeichnis (" +
                             inSystem + "): " + win32::SystemMessage(error, "inpout32.dll");
        if (IsOrdinaryFile(PathInProgramDirectory("inpoutx64.dll")))
            detail += "\nNeben dem Programm liegt inpoutx64.dll: das ist die 64-Bit-Datei der Portbibliothek; " +
                      RightFile() + ", neben plottertest.exe.";
        return {FailureKind::PortLibraryNotFound, detail};
    }
    const std::optional<std::string> bytes = FirstBytes(found);
    const LibraryFile file = ReadLibraryHeader(bytes.value_or(""));
    const LibraryFile own = OwnLibraryKind();
    std::string why;
    if (!bytes) {
        // It says nothing of what it is: the loader's own reason then.
        why = " lässt sich nicht lesen: " + win32::SystemMessage(error, found);
    } else if (file.format != LibraryFile::Format::Pe) {
        why = " ist keine DLL (kein Windows-Programmcode); " + RightFile() + ".";
    } else if (file.bits != own.bits || (!file.machine.empty() && file.machine != own.machine)) {
        why = " ist eine " + (file.bits != 0 ? std::to_string(file.bits) + "-Bit-" : std::string()) + "DLL" +
              (file.machine.empty() || file.machine == "x86" || file.machine == "x86-64" ? "" : " für " + file.machine) +
              "; " + RightFile() + ".";
    } else if (error == ERROR_MOD_NOT_FOUND) {
        why = " braucht eine weitere DLL, die nicht zu finden ist: " + win32::SystemMessage(error, found);
    } else {
        why = ": " + win32::SystemMessage(error, found);
    }
    return {FailureKind::PortLibraryNotLoadable, found + why};
}

// Held from the first write until EndDrive; the system releases it should the program be killed.
HANDLE PortMutex = nullptr;

}  // namespace

void ClaimPort(short address) {
    // Global\: one physical port serves every session on the PC, so a copy in
    // another user's session (fast user switching, remote desktop) counts too.
    const auto port = static_cast<unsigned short>(address);
    const std::wstring name = L"Global\\plottertest-port-" + std::to_wstring(port);
    PortMutex = CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    const std::string named = wording::Port(port);
    if (PortMutex != nullptr) {
        // WAIT_ABANDONED: a copy that was killed left it; the port is free again.
        const DWORD got = WaitForSingleObject(PortMutex, 0);
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) return;
        CloseHandle(PortMutex);
        PortMutex = nullptr;
    } else if (error != ERROR_ACCESS_DENIED) {  // refused access: another user's copy made it and drives
        throw Failure{FailureKind::Unexpected,
                      "Die Sperre für " + named + " ließ sich nicht anlegen: " + win32::SystemMessage(error)};
    }
    throw Failure{FailureKind::PortInUse,
                  named + " wird gerade von einem anderen plottertest gefahren; es wurde nichts geschrieben.\n"
                          "Abhilfe: die andere Testfahrt zu Ende fahren oder anhalten, dann diese neu starten."};
}

void win32::ReleasePort() {
    if (PortMutex == nullptr) return;
    ReleaseMutex(PortMutex);
    CloseHandle(PortMutex);
    PortMutex = nullptr;
}

namespace {

// Which library drives: a user who tried the simulated port and forgot to put
// the real one back would otherwise watch a standing machine and blame the wiring.
std::string PortLibraryText(HMODULE library) {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(library, path.data(), static_cast<DWORD>(path.size())));
    const std::string file = win32::Utf8(path);
    FARPROC files = GetProcAddress(library, port::kSimulatedPortFiles);
    if (files == nullptr) return "Portbibliothek: " + file;
    const std::string where = reinterpret_cast<port::SimulatedPortFilesFunction>(reinterpret_cast<void*>(files))();
    std::wstring wide(where.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, where.data(), static_cast<int>(where.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
    std::string lines = win32::Utf8(wide);
    for (std::size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at + 2)) lines.insert(at, "\r");
    return "Portbibliothek: der simulierte Port; es bewegt sich keine Hardware.\r\n" + file +
           "\r\nSignalverlauf und Bild des Weges nach der Fahrt:\r\n" + lines;
}

}  // namespace

std::string PortAddressHelp() {
    return "Die richtige Adresse zeigt der Geräte-Manager: „Anschlüsse (COM & LPT)“ → der LPT-Anschluss → "
           "„Ressourcen“ → der erste „E/A-Bereich“, etwa 0378-037F. Die erste Zahl ist hexadezimal: in Pinbelegung.txt "
           "mit 0x davor, also 0x378. Eine PCI- oder PCIe-Karte liegt oft zwischen D000 und EFFF, etwa 0xE010.";
}

std::string PortDriverHelp() {
    return "Abhilfe: plottertest einmal als Administrator starten (Rechtsklick auf plottertest.exe, „Als "
           "Administrator ausführen“). Das richtet den Treiber für alle späteren Starts ein.\n"
           "Hilft das nicht, sperrt Windows den Treiber: die Speicherintegrität (Windows-Sicherheit → "
           "Gerätesicherheit → Kernisolierung → Speicherintegrität) oder die Sperrliste für anfällige "
           "Treiber, oder eine Anti-Cheat-Software eines Spiels.";
}

BoundPort BindPortLibrary(const port::SignalBits& bits) {
    HMODULE library = LoadPortLibrary();
    if (library == nullptr) throw WhyNotLoaded(GetLastError());
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
                      "Der Treiber von inpout32.dll ist nicht geöffnet; es wurde nichts auf den Port geschrieben.\n" +
                          PortDriverHelp()};
    if (FARPROC tell = GetProcAddress(library, port::kSetSignalBits))
        port::TellSignalBits(reinterpret_cast<port::SetSignalBitsFunction>(reinterpret_cast<void*>(tell)), bits);
    win32::ShowPortLibrary(PortLibraryText(library));
    return {reinterpret_cast<port::Out32Function>(reinterpret_cast<void*>(entry)),
            reinterpret_cast<port::Inp32Function>(reinterpret_cast<void*>(GetProcAddress(library, port::kInp32))),
            reinterpret_cast<port::PortErrorFunction>(reinterpret_cast<void*>(GetProcAddress(library, port::kPortError)))};
}

}  // namespace host

// The Windows host: message boxes, the executable's directory, a
// performance-counter clock, the message queue, and inpout32.dll.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/textfile.h"

namespace host {

namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

// A path for the wide file functions; a path past MAX_PATH gets the \\?\ prefix
// that lifts the limit, so a deeply nested program directory still works.
std::wstring WidePath(const std::string& path) {
    std::wstring wide = Wide(path);
    if (wide.size() < MAX_PATH || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
    if (wide.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + wide.substr(2);
    return L"\\\\?\\" + wide;
}

// The system's text for an error code, in the user's language.
std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr) LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return Utf8(message) + " (Fehler " + std::to_string(code) + ")";
}

using Out32Function = void(__stdcall*)(short, short);
Out32Function BoundOut32 = nullptr;

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
                          ") und im Systemverzeichnis (" + Utf8(system) + "\\inpout32.dll): " + SystemMessage(error)};
    }
    FARPROC entry = GetProcAddress(library, "Out32");
    if (entry == nullptr)
        throw Failure{FailureKind::EntryPointNotFound, "inpout32.dll: Out32: " + SystemMessage(GetLastError())};
    return reinterpret_cast<Out32Function>(reinterpret_cast<void*>(entry));
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    UINT style = buttons == Buttons::Ok ? MB_OK : MB_OKCANCEL | MB_DEFBUTTON1;
    if (icon == Icon::Critical) style |= MB_ICONERROR;
    const int chosen = MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(), style);
    if (buttons == Buttons::Ok) return kOk;
    // A box that could not be shown answers as closed: nothing moves unconfirmed.
    return chosen == IDOK ? kOk : kCancel;
}

std::string PathInProgramDirectory(const std::string& name) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return name;  // cannot happen for the running program; the working directory then
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // "C:\plottertest.exe" gives "C:" + "\Pinbelegung.txt": no doubled backslash at a drive root.
    const std::size_t separator = path.find_last_of(L"\\/");
    path.resize(separator == std::wstring::npos ? 0 : separator);
    return Utf8(path) + "\\" + name;
}

bool IsOrdinaryFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

TextFile* OpenTextFile(const std::string& path) {
    // CreateFileW rather than _wfopen, so the failure carries the system's own reason.
    HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw Failure{FailureKind::FileCannotBeOpened, path + ": " + SystemMessage(GetLastError())};
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    std::FILE* stream = descriptor == -1 ? nullptr : _fdopen(descriptor, "rb");
    if (stream == nullptr) {
        if (descriptor == -1) CloseHandle(handle); else _close(descriptor);
        throw Failure{FailureKind::FileCannotBeOpened, path + ": keine Dateinummer frei"};
    }
    return textfile::Adopt(stream);
}

bool ReadTextLine(TextFile* file, std::string& line) { return textfile::ReadLine(file, line); }

void CloseTextFile(TextFile* file) { textfile::Close(file); }

double ClockMilliseconds() {
    // The performance counter is monotonic; at 10 MHz its count stays exact in a
    // double for 28 years of uptime.
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

int ProcessPendingEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// A GUI program: no arguments are read, and there is no console to write to.
std::vector<std::string> ProgramArguments() { return {}; }

void ShowProgress(const std::string&) {}

void ConsoleLine(Channel, const std::string&) {}

void EndProgram(int status) { ExitProcess(static_cast<UINT>(status)); }

void ReportFailure(const std::string& report) {
    MessageBoxW(nullptr, Wide(report).c_str(), L"plottertest", MB_OK | MB_ICONERROR);
}

void Out32(short address, short value) {
    if (BoundOut32 == nullptr) BoundOut32 = BindOut32();
    BoundOut32(address, value);
}

}  // namespace host

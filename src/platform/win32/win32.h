#pragma once
// What the parts of the Windows host share; callers see only platform.h.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace host::win32 {

// UTF-8, as the program's texts are, to and from the wide text of the W functions.
std::wstring Wide(const std::string& text);
std::string Utf8(const std::wstring& wide);

// A path for the wide file functions: one past MAX_PATH gets the \\?\ prefix
// that lifts the limit, so a deeply nested program directory still works.
std::wstring LongPath(const std::string& path);

// The system's text for an error code, in the user's language, with the code.
// A placeholder in it (%1 of "Bad EXE format for %1.") is filled with insert,
// or with „die Datei“ when there is none: a text never shows a bare %1.
std::string SystemMessage(DWORD code, const std::string& insert = "");

// A function of a system DLL the program has loaded (kernel32.dll, user32.dll,
// or one loaded from the system directory) that older Windows lack, looked up
// so that the program still starts there: nullptr where it is missing.
template <typename Function>
Function SystemFunction(HMODULE dll, const char* name) {
    return dll == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
    return SystemFunction<Function>(GetModuleHandleW(dll), name);
}

// Whether LoadLibraryExW knows the LOAD_LIBRARY_SEARCH_* flags: where kernel32
// exports AddDllDirectory, Microsoft's documented test for them (Windows 8
// and later, Vista and 7 with update KB2533623).
inline bool HasSearchFlags() { return SystemFunction<FARPROC>(L"kernel32.dll", "AddDllDirectory") != nullptr; }

// ---- window.cpp: the program's window, from the wiring file to the end ------------
// The drive's phase of the window: "Testfahrt läuft" with the progress and
// „Anhalten“, its stop keys and the end of the session heard; then "Testfahrt
// beendet" with the count where the drive ended. Opens the window if there is
// none (WindowCannotBeOpened).
void EnterDrivePhase(long long totalSteps);
void LeaveDrivePhase();
// A message box, owned by the window while there is one and placed beside its
// picture; keys typed before it count for nothing. Returns MessageBoxW's answer.
int Box(const std::string& text, const std::wstring& title, UINT style);
// Names the port library in the window, from the next event pass on.
void ShowPortLibrary(const std::string& text);

// ---- port.cpp: the port, held by this drive alone from its first write ------------
void ReleasePort();

// ---- process.cpp: the drive's priority, raised for it and put back afterwards -----
void RaisePriority();
void RestorePriority();

// ---- wait.cpp: the timer of the pause's waits, for the drive ----------------------
// A high-resolution timer where Windows has one (10 1803 and later), else
// OpenPlainWaitTimer's: a plain timer with the system's timer period raised to
// 1 ms for the drive (XP to 10 1709, Wine). CloseWaitTimer puts it back.
void OpenWaitTimer();
void OpenPlainWaitTimer();
void CloseWaitTimer();


}  // namespace host::win32

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

// The system's text for an error code, in the user's language, with the code.
std::string SystemMessage(DWORD code);

// ---- process.cpp: the drive's priority, raised for it and put back afterwards -----
void RaisePriority();
void RestorePriority();

// ---- wait.cpp: the timer of the pause's waits, for the drive ----------------------
void OpenWaitTimer();
void CloseWaitTimer();


}  // namespace host::win32

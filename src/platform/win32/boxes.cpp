// The message boxes, and the texts shared by the Windows host.

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace host {

std::wstring win32::Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string win32::Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

std::string win32::SystemMessage(DWORD code, const std::string& insert) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr) LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    // FORMAT_MESSAGE_IGNORE_INSERTS leaves %1 ... %99 as they stand.
    std::string text = Utf8(message), filled;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
            filled += insert.empty() ? "die Datei" : insert;
        } else {
            filled += text[i];
        }
    }
    return filled + " (Fehler " + std::to_string(code) + ")";
}

int ShowMessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    UINT style = buttons == Buttons::Ok ? MB_OK : MB_OKCANCEL | MB_DEFBUTTON1;
    if (icon == Icon::Critical) style |= MB_ICONERROR;
    const int chosen = win32::Box(text, win32::Wide(title), style);
    if (buttons == Buttons::Ok) return kOk;
    // A box that could not be shown answers as closed: nothing moves unconfirmed.
    return chosen == IDOK ? kOk : kCancel;
}

void ReportStop(const std::string& text) { win32::Box(text, L"Testfahrt abgebrochen", MB_OK | MB_ICONINFORMATION); }

// After a drive that looked clean, the user would blame the wiring for a rectangle that does not close.
void ReportLateSteps(const std::string& text) {
    win32::Box(text + "\rRechenintensive Programme schließen und die Fahrt wiederholen.",
               L"Testfahrt: Schritte zu sp\u00e4t", MB_OK | MB_ICONWARNING);
}

void ReportFailure(const std::string& report) {
    win32::Box(report, L"plottertest", MB_OK | MB_ICONERROR);
}

}  // namespace host

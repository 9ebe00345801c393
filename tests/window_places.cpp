// Prints where Windows (here Wine) has put the windows on the screen, for the
// Windows program's layout tests: the work area of each monitor, then each
// visible top-level window and each of its visible children, a line each:
//   work LEFT TOP RIGHT BOTTOM
//   window CLASS LEFT TOP RIGHT BOTTOM TITLE
//   child CLASS LEFT TOP RIGHT BOTTOM TEXT
// in screen coordinates, texts in UTF-8.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* wide) {
    char text[1024];
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return length > 0 ? std::string(text) : std::string();
}

void Print(const char* kind, HWND window) {
    wchar_t name[256] = L"", text[256] = L"";
    GetClassNameW(window, name, 256);
    GetWindowTextW(window, text, 256);
    RECT at;
    GetWindowRect(window, &at);
    std::printf("%s %s %ld %ld %ld %ld %s\n", kind, Utf8(name).c_str(), at.left, at.top, at.right, at.bottom,
                Utf8(text).c_str());
}

BOOL CALLBACK EachMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        std::printf("work %ld %ld %ld %ld\n", info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom);
    return TRUE;
}

BOOL CALLBACK EachChild(HWND child, LPARAM) {
    if (IsWindowVisible(child)) Print("child", child);
    return TRUE;
}

BOOL CALLBACK EachWindow(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    Print("window", window);
    EnumChildWindows(window, EachChild, 0);
    return TRUE;
}

}  // namespace

int main() {
    // Aware of the DPI as the program is, so that Windows reports the pixels it gave the program.
    using SetAwareFunction = BOOL(WINAPI*)();
    if (const auto aware = reinterpret_cast<SetAwareFunction>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware"))))
        aware();
    EnumDisplayMonitors(nullptr, nullptr, EachMonitor, 0);
    EnumWindows(EachWindow, 0);
    return 0;
}

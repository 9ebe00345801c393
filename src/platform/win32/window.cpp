// The drive window "Testfahrt läuft": the progress line, a progress bar, the
// wiring with its warnings, and the button „Anhalten“. It has no message loop of its own: the pause's event
// passes dispatch its messages on the program's only thread, and a stop asked
// for here reaches the drive from ProcessPendingEvents, as a stop key does on
// Linux.

#include "platform/win32/win32.h"  // windows.h, which commctrl.h needs first

#include <commctrl.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/platform.h"

namespace host {

namespace {

constexpr int kStopButton = 100;  // the button's control id
constexpr int kBarRange = 1000;   // the bar's steps, whatever the drive's count
// Each redraw costs the program the time Windows (or Wine, through X) takes to
// paint; a few a second are enough to read.
constexpr double kRedrawEveryMs = 200;
constexpr wchar_t kClassName[] = L"plottertestDriveWindow";

HWND DriveWindow = nullptr;
HWND ProgressLabel = nullptr;
HWND ProgressBar = nullptr;
HFONT WindowFont = nullptr;
bool StopAsked = false;
long long TotalSteps = 0;
double NextRedrawMs = 0;
std::string WiringBrief;     // from ShowWiring, shown under the progress
std::wstring WiringWarnings;  // one "Achtung: …" a line
std::string ProgressText;  // what the next event pass draws, if ProgressPending
long long ProgressSteps = 0;
bool ProgressPending = false;

LRESULT CALLBACK DriveWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // The button (a click, space), and from IsDialogMessage Enter (IDOK) and Esc (IDCANCEL).
        if (LOWORD(wParam) == kStopButton || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) StopAsked = true;
        return 0;
    case WM_CLOSE:
        // The close button and Alt+F4 stop the drive; the drive closes the window
        // once every line is off.
        StopAsked = true;
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND Child(const wchar_t* windowClass, const wchar_t* text, DWORD style, RECT at, int id) {
    HWND child = CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, at.left, at.top,
                                 at.right - at.left, at.bottom - at.top, DriveWindow,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont), FALSE);
    return child;
}

void OpenDriveWindow() {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DriveWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);  // fails harmlessly when the class is there already

    // Laid out in pixels at 96 dpi, scaled to the screen's (the manifest declares the program DPI-aware).
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    const auto px = [dpi](int at96) { return MulDiv(at96, dpi, 96); };
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    WindowFont = CreateFontIndirectW(&metrics.lfMessageFont);

    // The wiring's lines wrap at the window's width; their height decides where the button goes.
    const int textWidth = px(456);
    const auto heightOf = [&](const std::wstring& text) {
        if (text.empty()) return 0;
        RECT measured{0, 0, textWidth, 0};
        HDC measuring = GetDC(nullptr);
        HGDIOBJ before = SelectObject(measuring, WindowFont);
        DrawTextW(measuring, text.c_str(), -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(measuring, before);
        ReleaseDC(nullptr, measuring);
        return static_cast<int>(measured.bottom);
    };
    const std::wstring brief = win32::Wide(WiringBrief);
    const int briefTop = px(72), briefHeight = heightOf(brief);
    const int warningsTop = briefTop + briefHeight + px(6), warningsHeight = heightOf(WiringWarnings);
    const int buttonTop = warningsTop + warningsHeight + px(8);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, px(480), buttonTop + px(42)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    DriveWindow = CreateWindowExW(0, kClassName, L"Testfahrt l\u00e4uft", style,
                             (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
                             width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (DriveWindow == nullptr)
        throw Failure{FailureKind::WindowCannotBeOpened,
                      "Das Fenster „Testfahrt läuft“ ließ sich nicht öffnen; ohne es könnte die Fahrt nicht "
                      "angehalten werden. Es wurde nichts auf den Port geschrieben: " +
                          win32::SystemMessage(GetLastError())};
    ProgressLabel = Child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, {px(12), px(12), px(468), px(32)}, 0);
    ProgressBar = Child(PROGRESS_CLASSW, nullptr, 0, {px(12), px(40), px(468), px(62)}, 0);
    SendMessageW(ProgressBar, PBM_SETRANGE32, 0, kBarRange);
    // Whoever sees an axis stand still reads here why, and can stop the drive.
    HWND wiring = Child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, {px(12), briefTop, px(12) + textWidth, briefTop + briefHeight}, 0);
    SetWindowTextW(wiring, brief.c_str());
    if (!WiringWarnings.empty()) {
        HWND warnings = Child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX,
                              {px(12), warningsTop, px(12) + textWidth, warningsTop + warningsHeight}, 0);
        SetWindowTextW(warnings, WiringWarnings.c_str());
    }
    HWND button = Child(L"BUTTON", L"Anhalten", WS_TABSTOP | BS_DEFPUSHBUTTON,
                        {px(368), buttonTop, px(468), buttonTop + px(30)}, kStopButton);
    ShowWindow(DriveWindow, SW_SHOW);
    // The user's next key must reach this window: Esc, Enter and space stop.
    SetForegroundWindow(DriveWindow);
    SetFocus(button);
    UpdateWindow(DriveWindow);
}

// Only EndDrive closes it; the drive calls EndDrive before any report, so no
// box stands behind the window.
void CloseDriveWindow() {
    if (DriveWindow == nullptr) return;
    DestroyWindow(DriveWindow);
    DriveWindow = ProgressLabel = ProgressBar = nullptr;
    DeleteObject(WindowFont);
    WindowFont = nullptr;
}

}  // namespace

void ShowWiring(const WiringFacts& wiring) {
    // One line under the progress: whoever sees an axis stand still reads here why.
    WiringBrief = "X: " + wiring.x.step + " / " + wiring.x.dir + " · Y: " + wiring.y.step + " / " + wiring.y.dir +
                  " · " + wiring.portShort;
    WiringWarnings.clear();
    for (const std::string& warning : wiring.warnings) WiringWarnings += (WiringWarnings.empty() ? L"" : L"\r\n") + win32::Wide(warning);
}

void BeginDrive(long long totalSteps) {
    StopAsked = false;
    TotalSteps = totalSteps;
    NextRedrawMs = 0;
    ProgressPending = false;
    OpenDriveWindow();
    win32::RaisePriority();
    win32::OpenWaitTimer();
}

void EndDrive() {
    win32::ReleasePort();  // after the final 0, which EndDrive follows on every way out
    win32::CloseWaitTimer();
    win32::RestorePriority();
    CloseDriveWindow();
}

void ShowProgress(const std::string& text, long long stepsDone) {
    if (DriveWindow == nullptr) return;
    const double now = ClockMilliseconds();
    if (now < NextRedrawMs) return;
    NextRedrawMs = now + kRedrawEveryMs;
    // Drawn by the next event pass, which comes at the start of the next pause:
    // the paint then takes from the 15 ms the pause waits anyway instead of
    // delaying the next step. Drawn at once after the pulse, the redraws made
    // one pause in a hundred 2 to 5 ms late under Wine (bench/wine_step_timing.sh).
    ProgressText = text;
    ProgressSteps = stepsDone;
    ProgressPending = true;
}

int ProcessPendingEvents() {
    if (ProgressPending) {
        ProgressPending = false;
        SetWindowTextW(ProgressLabel, win32::Wide(ProgressText).c_str());
        const double share =
            TotalSteps > 0 ? static_cast<double>(ProgressSteps) / static_cast<double>(TotalSteps) : 1.0;
        SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(share * kBarRange), 0);
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // As in a dialog: Esc and Enter reach the window as commands, space the button.
        if (DriveWindow != nullptr && IsDialogMessageW(DriveWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return StopAsked ? SIGINT : 0;
}

}  // namespace host

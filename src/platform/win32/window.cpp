// The program's one window, from the moment the wiring file has been read to
// the end: first "Testfahrt vorbereiten", with the wiring, its warnings, the
// expected way as a line and as a picture, and the confirmation box beside the
// picture; on OK the same window becomes "Testfahrt läuft", with the progress,
// a button „Anhalten“, the port library in use, and a mark on the picture
// where the carriages should be now. It has no message loop of its own: the
// boxes' loops and the pause's event passes dispatch its messages on the
// program's only thread, and a stop asked for here reaches the drive from
// ProcessPendingEvents, as a stop key does on Linux.

#include "platform/win32/win32.h"  // windows.h, which commctrl.h needs first

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/port_binding.h"

namespace host {

namespace {

constexpr int kStopButton = 100;  // the button's control id
constexpr int kBarRange = 1000;   // the bar's steps, whatever the drive's count
// Each redraw costs the program the time Windows (or Wine, through X) takes to
// paint; a few a second are enough to read.
constexpr double kRedrawEveryMs = 200;
constexpr wchar_t kClassName[] = L"plottertestWindow";

enum class Phase : std::uint8_t { Preparing, Driving, Ended };

HWND Window = nullptr;
HWND ProgressLabel = nullptr;
HWND ProgressBar = nullptr;
HWND StopButton = nullptr;
HWND PortLabel = nullptr;
HFONT WindowFont = nullptr;
Phase State = Phase::Preparing;
int Dpi = 96;
RECT PictureArea{};  // in the window's client coordinates
WayPicture Picture;
long long MarkSteps = -1;  // the mark stands where the carriages should be after so many steps; -1: no mark
HWND ShownBox = nullptr;   // the box on screen, owned by the window
HHOOK BoxHook = nullptr;

int StopAsked = 0;  // the signal a stop asks for: SIGINT, or SIGTERM at the end of the session
long long TotalSteps = 0;
double NextRedrawMs = 0;
std::string ProgressText;  // what the next event pass draws, if ProgressPending
long long ProgressSteps = 0;
bool ProgressPending = false;
std::string PortText;  // the port library, for the next event pass, if PortPending
bool PortPending = false;

// Pixels at the screen's DPI for a length laid out at 96 dpi (the manifest declares the program DPI-aware).
int Px(int at96) { return MulDiv(at96, Dpi, 96); }

// ---- The picture ---------------------------------------------------------------

// From steps to the picture's pixels: the whole way and every side's end fit,
// centred, in the same scale on both axes; forward, toward the user, is down.
struct Frame {
    double minX = 0, minY = 0, scale = 1, left = 0, top = 0;
    POINT At(const WayPicture::Spot& spot) const {
        return {static_cast<LONG>(std::lround(left + (spot.x - minX) * scale)),
                static_cast<LONG>(std::lround(top + (spot.y - minY) * scale))};
    }
};

Frame FrameOf(const RECT& area) {
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    const auto reach = [&](const WayPicture::Spot& spot) {
        minX = std::min(minX, spot.x);
        maxX = std::max(maxX, spot.x);
        minY = std::min(minY, spot.y);
        maxY = std::max(maxY, spot.y);
    };
    for (const WayPicture::Spot& spot : Picture.path) reach(spot);
    for (const WayPicture::Spot& spot : Picture.afterSide) reach(spot);
    const double inner = static_cast<double>(area.right - area.left - 2 * Px(60));
    Frame frame;
    frame.minX = minX;
    frame.minY = minY;
    frame.scale = inner / std::max({maxX - minX, maxY - minY, 1.0});
    frame.left = area.left + Px(60) + (inner - (maxX - minX) * frame.scale) / 2;
    frame.top = area.top + Px(60) + (inner - (maxY - minY) * frame.scale) / 2;
    return frame;
}

// Where the carriages should be after `steps` of the drive: each side runs
// straight from one side's end to the next.
WayPicture::Spot SpotAfter(long long steps) {
    if (Picture.perSide <= 0) return Picture.afterSide[0];
    const long long side = steps / Picture.perSide;
    if (side >= 4) return Picture.afterSide[4];
    const double share = static_cast<double>(steps - side * Picture.perSide) / static_cast<double>(Picture.perSide);
    const WayPicture::Spot& from = Picture.afterSide[side];
    const WayPicture::Spot& to = Picture.afterSide[side + 1];
    return {from.x + (to.x - from.x) * share, from.y + (to.y - from.y) * share};
}

void Disc(HDC dc, POINT at, int radius, COLORREF fill, COLORREF line, int width) {
    HPEN pen = CreatePen(PS_SOLID, width, line);
    HBRUSH brush = fill == CLR_NONE ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)) : CreateSolidBrush(fill);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    Ellipse(dc, at.x - radius, at.y - radius, at.x + radius + 1, at.y + radius + 1);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    if (fill != CLR_NONE) DeleteObject(brush);
}

void Label(HDC dc, const wchar_t* text, RECT at, UINT format, COLORREF color) {
    SetTextColor(dc, color);
    DrawTextW(dc, text, -1, &at, format | DT_SINGLELINE | DT_NOPREFIX);
}

// The way as the simulated port draws it: the path with an arrow on each
// stretch, start and end marked, the steps that are not clean circled in red,
// the directions named as the user stands at the machine, and during the
// drive where the carriages should be.
void DrawPicture(HDC dc, const RECT& area) {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, WindowFont);
    SetBkMode(dc, TRANSPARENT);
    const COLORREF grey = RGB(85, 85, 85), blue = RGB(31, 95, 191), green = RGB(42, 157, 58), red = RGB(192, 57, 43);
    const int pad = Px(44);
    Label(dc, L"hinten", {area.left, area.top + Px(4), area.right, area.top + pad}, DT_CENTER | DT_TOP, grey);
    Label(dc, L"vorne", {area.left, area.bottom - pad, area.right, area.bottom - Px(4)}, DT_CENTER | DT_BOTTOM, grey);
    Label(dc, L"links", {area.left + Px(4), area.top, area.left + pad, area.bottom}, DT_LEFT | DT_VCENTER, grey);
    Label(dc, L"rechts", {area.right - pad - Px(8), area.top, area.right - Px(4), area.bottom}, DT_RIGHT | DT_VCENTER,
          grey);

    const Frame frame = FrameOf(area);
    std::vector<POINT> points(Picture.path.size());
    std::transform(Picture.path.begin(), Picture.path.end(), points.begin(),
                   [&](const WayPicture::Spot& spot) { return frame.At(spot); });
    HPEN pen = CreatePen(PS_SOLID, Px(3), blue);
    HBRUSH brush = CreateSolidBrush(blue);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    if (points.size() > 1) Polyline(dc, points.data(), static_cast<int>(points.size()));
    // Which way each stretch runs: an arrow at its middle, for the first few dozen.
    for (std::size_t i = 1; i < points.size() && i <= 50; ++i) {
        const double dx = points[i].x - points[i - 1].x, dy = points[i].y - points[i - 1].y;
        const double length = std::hypot(dx, dy);
        if (length < Px(16)) continue;
        const double ux = dx / length, uy = dy / length, size = Px(7);
        const double mx = points[i - 1].x + dx / 2, my = points[i - 1].y + dy / 2;
        const auto at = [](double x, double y) { return POINT{static_cast<LONG>(std::lround(x)), static_cast<LONG>(std::lround(y))}; };
        const POINT arrow[] = {at(mx + ux * size, my + uy * size), at(mx - ux * size - uy * size, my - uy * size + ux * size),
                               at(mx - ux * size + uy * size, my - uy * size - ux * size)};
        Polygon(dc, arrow, 3);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);

    for (const WayPicture::Spot& spot : Picture.unclean) Disc(dc, frame.At(spot), Px(6), CLR_NONE, RGB(221, 17, 17), Px(2));
    const POINT start = frame.At(Picture.afterSide[0]), end = frame.At(Picture.afterSide[4]);
    Disc(dc, start, Px(7), green, green, 1);
    Disc(dc, end, Px(9), CLR_NONE, red, Px(3));
    // Where the way closes, one label says both.
    const bool closes = std::abs(start.x - end.x) < Px(4) && std::abs(start.y - end.y) < Px(4);
    Label(dc, closes ? L"Start und Ende" : L"Start", {start.x - Px(200), start.y - Px(30), start.x + Px(200), start.y - Px(10)},
          DT_CENTER | DT_BOTTOM, closes ? grey : green);
    if (!closes) Label(dc, L"Ende", {end.x - Px(100), end.y + Px(12), end.x + Px(100), end.y + Px(30)}, DT_CENTER | DT_TOP, red);
    if (MarkSteps >= 0) Disc(dc, frame.At(SpotAfter(MarkSteps)), Px(7), RGB(243, 156, 18), RGB(0, 0, 0), 1);
    SelectObject(dc, oldFont);
}

// Drawn off screen and put up at once, so that the moving mark does not flicker.
void PaintPicture(HDC dc) {
    const int width = PictureArea.right - PictureArea.left, height = PictureArea.bottom - PictureArea.top;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    if (memory == nullptr || bitmap == nullptr) {
        DrawPicture(dc, PictureArea);
    } else {
        HGDIOBJ old = SelectObject(memory, bitmap);
        DrawPicture(memory, {0, 0, width, height});
        BitBlt(dc, PictureArea.left, PictureArea.top, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    HBRUSH frame = CreateSolidBrush(RGB(160, 160, 160));
    FrameRect(dc, &PictureArea, frame);
    DeleteObject(frame);
}

// ---- The window ------------------------------------------------------------------

using ShutdownBlockReasonCreateFunction = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownBlockReasonDestroyFunction = BOOL(WINAPI*)(HWND);

// A logoff, a restart for updates or a shutdown asks every window first
// (WM_QUERYENDSESSION) and then tells it (WM_ENDSESSION); once a window has
// answered the second, its process may end at any moment. So every line is
// off before either is answered, whatever the session then does, and the
// drive stops; where a desktop remains, it says so as after any stop. For the
// moment the lines take, Windows (Vista and later) is told why the program
// holds the session up.
void EndOfSession(HWND window) {
    if (State != Phase::Driving) return;
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto create = reinterpret_cast<ShutdownBlockReasonCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "ShutdownBlockReasonCreate")));
    const auto destroy = reinterpret_cast<ShutdownBlockReasonDestroyFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "ShutdownBlockReasonDestroy")));
    const bool told = create != nullptr && destroy != nullptr &&
                      create(window, L"Testfahrt: alle Datenleitungen werden abgeschaltet.") != FALSE;
    SwitchPortOff();
    if (told) destroy(window);
    if (StopAsked == 0) StopAsked = SIGTERM;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // The button (a click, space), and from IsDialogMessage Enter (IDOK) and Esc (IDCANCEL).
        if (State == Phase::Driving && StopAsked == 0 &&
            (LOWORD(wParam) == kStopButton || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
            StopAsked = SIGINT;
        return 0;
    case WM_CLOSE:
        // The close button and Alt+F4: before OK they answer the confirmation
        // with Cancel; during the drive they stop it, and the window stays
        // until every line is off.
        if (State == Phase::Preparing && ShownBox != nullptr) PostMessageW(ShownBox, WM_COMMAND, IDCANCEL, 0);
        if (State == Phase::Driving && StopAsked == 0) StopAsked = SIGINT;
        return 0;
    case WM_QUERYENDSESSION:
        EndOfSession(window);
        return TRUE;  // nothing is held up once every line is off
    case WM_ENDSESSION:
        EndOfSession(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        PaintPicture(dc);
        EndPaint(window, &paint);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND Child(const wchar_t* windowClass, const wchar_t* text, DWORD style, RECT at, int id = 0) {
    HWND child = CreateWindowExW(0, windowClass, text, WS_CHILD | style, at.left, at.top, at.right - at.left,
                                 at.bottom - at.top, Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
    if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont), FALSE);
    return child;
}

// The height of a text wrapped at `width` in the window's font.
int HeightOf(const std::wstring& text, int width) {
    if (text.empty()) return 0;
    RECT measured{0, 0, width, 0};
    HDC measuring = GetDC(nullptr);
    HGDIOBJ before = SelectObject(measuring, WindowFont);
    DrawTextW(measuring, text.c_str(), -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(measuring, before);
    ReleaseDC(nullptr, measuring);
    return static_cast<int>(measured.bottom);
}

// "Zeile 1\r\nZeile 2".
std::wstring Lines(const std::vector<std::string>& lines) {
    std::wstring joined;
    for (const std::string& line : lines) joined += (joined.empty() ? L"" : L"\r\n") + win32::Wide(line);
    return joined;
}

void OpenWindow(const WiringFacts& wiring) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);  // fails harmlessly when the class is there already

    HDC screen = GetDC(nullptr);
    Dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    WindowFont = CreateFontIndirectW(&metrics.lfMessageFont);

    // The texts across the top, each as high as it wraps; below them the
    // picture on the left, and on its right what the drive shows, where the
    // confirmation box stands before it.
    const std::wstring brief = win32::Wide("X: " + wiring.x.step + " / " + wiring.x.dir + " · Y: " + wiring.y.step +
                                           " / " + wiring.y.dir + " · " + wiring.portShort);
    const std::wstring texts[] = {brief, Lines(wiring.warnings), Lines(wiring.way)};
    const int textWidth = Px(696);
    int top = Px(12);
    RECT textAt[3];
    for (int i = 0; i < 3; ++i) {
        const int height = HeightOf(texts[i], textWidth);
        textAt[i] = {Px(12), top, Px(12) + textWidth, top + height};
        if (height > 0) top += height + Px(6);
    }
    PictureArea = {Px(12), top + Px(4), Px(12) + Px(340), top + Px(4) + Px(340)};
    const int column = PictureArea.right + Px(16), columnEnd = Px(708), bottom = PictureArea.bottom;

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, Px(720), bottom + Px(12)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Window = CreateWindowExW(0, kClassName, L"Testfahrt vorbereiten", style,
                             std::max(work.left, work.left + (work.right - work.left - width) / 2),
                             std::max(work.top, work.top + (work.bottom - work.top - height) / 2), width, height,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (Window == nullptr)
        throw Failure{FailureKind::WindowCannotBeOpened,
                      "Das Fenster „Testfahrt vorbereiten“ ließ sich nicht öffnen; ohne es könnte die Fahrt nicht "
                      "angehalten werden. Es wurde nichts auf den Port geschrieben: " +
                          win32::SystemMessage(GetLastError())};
    for (int i = 0; i < 3; ++i) {
        if (texts[i].empty()) continue;
        HWND text = Child(L"STATIC", L"", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, textAt[i]);
        SetWindowTextW(text, texts[i].c_str());
    }
    PortLabel = Child(L"STATIC", L"", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL,
                      {column, PictureArea.top, columnEnd, bottom - Px(120)});
    ProgressLabel = Child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, {column, bottom - Px(110), columnEnd, bottom - Px(88)});
    ProgressBar = Child(PROGRESS_CLASSW, nullptr, 0, {column, bottom - Px(80), columnEnd, bottom - Px(58)});
    SendMessageW(ProgressBar, PBM_SETRANGE32, 0, kBarRange);
    StopButton = Child(L"BUTTON", L"Anhalten", WS_TABSTOP | BS_DEFPUSHBUTTON,
                       {columnEnd - Px(100), bottom - Px(30), columnEnd, bottom}, kStopButton);
    ShowWindow(Window, SW_SHOW);
    SetForegroundWindow(Window);
    UpdateWindow(Window);
}

// Keys and clicks that wait for the program: typed before a box or before the
// drive, they must not answer the one or stop the other.
void DropPendingInput() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

// Beside the picture, on its right where the screen has room, else on its
// left, else below it: a box must not hide the way the user compares with.
void PlaceBesidePicture(HWND box) {
    RECT boxAt;
    GetWindowRect(box, &boxAt);
    const int width = boxAt.right - boxAt.left, height = boxAt.bottom - boxAt.top;
    RECT picture = PictureArea;
    MapWindowPoints(Window, nullptr, reinterpret_cast<POINT*>(&picture), 2);
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int left = picture.left, right = picture.right, workLeft = work.left, workRight = work.right;
    int x = std::min(right + Px(16), workRight - width);
    int y = picture.top + Px(24);
    if (x < right) x = left - Px(16) - width;
    if (x < workLeft) {
        x = std::max(workLeft, left);
        y = picture.bottom + Px(8);
    }
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Moves the box as it first becomes active, before it is drawn.
LRESULT CALLBACK PlaceBox(int code, WPARAM wParam, LPARAM lParam) {
    const LRESULT next = CallNextHookEx(BoxHook, code, wParam, lParam);
    wchar_t kind[16] = L"";
    HWND box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && BoxHook != nullptr && GetClassNameW(box, kind, 16) > 0 &&
        std::wstring(kind) == L"#32770") {
        UnhookWindowsHookEx(BoxHook);
        BoxHook = nullptr;
        ShownBox = box;
        PlaceBesidePicture(box);
    }
    return next;
}

}  // namespace

int win32::Box(const std::string& text, const std::wstring& title, UINT style) {
    DropPendingInput();
    if (Window != nullptr) BoxHook = SetWindowsHookExW(WH_CBT, PlaceBox, nullptr, GetCurrentThreadId());
    const int chosen = MessageBoxW(Window, win32::Wide(text).c_str(), title.c_str(), style);
    if (BoxHook != nullptr) UnhookWindowsHookEx(BoxHook);
    BoxHook = nullptr;
    ShownBox = nullptr;
    return chosen;
}

void win32::ShowPortLibrary(const std::string& text) {
    // Told inside the first write: drawn by the next event pass, never between a pulse's two writes.
    PortText = text;
    PortPending = true;
}

void ShowWiring(const WiringFacts& wiring) {
    Picture = wiring.picture;
    OpenWindow(wiring);
}

void win32::EnterDrivePhase(long long totalSteps) {
    StopAsked = 0;
    TotalSteps = totalSteps;
    NextRedrawMs = 0;
    ProgressPending = false;
    ProgressText.clear();
    ProgressSteps = 0;
    if (Window == nullptr) OpenWindow({});
    State = Phase::Driving;
    SetWindowTextW(Window, L"Testfahrt l\u00e4uft");
    for (HWND control : {ProgressLabel, ProgressBar, StopButton}) ShowWindow(control, SW_SHOW);
    MarkSteps = 0;
    InvalidateRect(Window, &PictureArea, FALSE);
    // The key that answered the confirmation, and any typed before it, count for nothing.
    DropPendingInput();
    SetForegroundWindow(Window);
    SetFocus(StopButton);
    UpdateWindow(Window);
}

namespace {

// The progress as ShowProgress last had it, on the window now.
void DrawProgress() {
    ProgressPending = false;
    SetWindowTextW(ProgressLabel, win32::Wide(ProgressText).c_str());
    const double share = TotalSteps > 0 ? static_cast<double>(ProgressSteps) / static_cast<double>(TotalSteps) : 1.0;
    SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(share * kBarRange), 0);
    MarkSteps = ProgressSteps;
    InvalidateRect(Window, &PictureArea, FALSE);
}

}  // namespace

void win32::LeaveDrivePhase() {
    if (Window == nullptr) return;
    // The count where the drive ended, not where the last redraw left it up to 200 ms before.
    if (!ProgressText.empty()) DrawProgress();
    // The window stays for the boxes after the drive, which it owns; nothing in it acts any more.
    State = Phase::Ended;
    SetWindowTextW(Window, L"Testfahrt beendet");
    EnableWindow(StopButton, FALSE);
    UpdateWindow(Window);
}

void ReportDone(const std::string& text) {
    if (Window == nullptr) return;
    // The drive is over: drawn at once, the last thing the window shows.
    ProgressPending = false;
    SetWindowTextW(ProgressLabel, win32::Wide(text).c_str());
    SendMessageW(ProgressBar, PBM_SETPOS, kBarRange, 0);
    MarkSteps = TotalSteps;
    InvalidateRect(Window, &PictureArea, FALSE);
    UpdateWindow(Window);
}

void ShowPortNote(const std::string& text) {
    // Below the port library's name, drawn by the next event pass as that is.
    PortText += "\r\n\r\n" + text;
    PortPending = true;
}

void ShowProgress(const std::string& text, long long stepsDone) {
    if (Window == nullptr) return;
    // Kept at every step, for the drive's end; drawn a few times a second.
    ProgressText = text;
    ProgressSteps = stepsDone;
    const double now = ClockMilliseconds();
    if (now < NextRedrawMs) return;
    NextRedrawMs = now + kRedrawEveryMs;
    // Drawn by the next event pass, which comes at the start of the next pause:
    // the paint then takes from the 15 ms the pause waits anyway instead of
    // delaying the next step. Drawn at once after the pulse, the redraws made
    // one pause in a hundred 2 to 5 ms late under Wine (bench/wine_step_timing.sh).
    ProgressPending = true;
}

int ProcessPendingEvents() {
    if (ProgressPending) DrawProgress();
    if (PortPending) {
        PortPending = false;
        SetWindowTextW(PortLabel, win32::Wide(PortText).c_str());
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // A key held down since before the drive repeats; only a new press stops it.
        if (message.message == WM_KEYDOWN && (message.lParam & (1L << 30)) != 0) continue;
        // As in a dialog: Esc and Enter reach the window as commands, space the button.
        if (Window != nullptr && IsDialogMessageW(Window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return StopAsked;
}

}  // namespace host

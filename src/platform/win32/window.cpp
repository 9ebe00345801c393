// The program's one window, from the moment the wiring file has been read to
// the end: first "Testfahrt vorbereiten", with the wiring, its warnings, the
// expected way as a line and as a picture, and the confirmation box beside the
// picture; on OK the same window becomes "Testfahrt läuft", with the progress,
// a button „Anhalten“, the port library in use, the inputs, and a mark on the
// picture where the carriages should be now; after the drive it becomes
// "Testfahrt beendet" with the end's words and a button „Schließen“, and
// stays until the user closes it. It has no message loop of its own: the
// boxes' loops and the pause's event passes dispatch its messages on the
// program's only thread, and a stop asked for here reaches the drive from
// ProcessPendingEvents, as a stop key does on Linux.

#include "platform/win32/win32.h"  // windows.h, which commctrl.h needs first

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/port_binding.h"
#include "platform/win32/layout.h"

namespace host {

namespace {

constexpr int kStopButton = 100;  // the button's control id
constexpr int kBarRange = 1000;   // the bar's steps, whatever the drive's count
// Each redraw costs the program the time Windows (or Wine, through X) takes to
// paint; a few a second are enough to read.
constexpr double kRedrawEveryMs = 200;
constexpr wchar_t kClassName[] = L"plottertestWindow";
constexpr wchar_t kPictureClassName[] = L"plottertestPicture";
constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED: Windows 8.1 and later, which the XP headers do not name

// A function of user32 that older Windows lack (ShutdownBlockReasonCreate:
// Vista; the *ForDpi and GetDpiForWindow: Windows 10 1607).
template <typename Function>
Function User32(const char* name) {
    return win32::SystemFunction<Function>(L"user32.dll", name);
}

// Ended: the drive is over and its boxes may follow; Closing: the window
// stands with the drive's end until the user closes it (EndShown).
enum class Phase : std::uint8_t { Preparing, Driving, Ended, Closing };

HWND Window = nullptr;
HWND ProgressLabel = nullptr;
HWND ProgressBar = nullptr;
HWND StopButton = nullptr;
HWND PortLabel = nullptr;
HWND InputsLabel = nullptr;  // the inputs, at the top of the column that PortLabel shares
RECT ColumnArea{};           // that column, in the window's client coordinates
HWND PictureView = nullptr;
HFONT WindowFont = nullptr;
Phase State = Phase::Preparing;
int Dpi = 96;
RECT PictureArea{};  // in the window's client coordinates
WayPicture Picture;
long long MarkSteps = -1;  // the mark stands where the carriages should be after so many steps; -1: no mark
HWND ShownBox = nullptr;   // the box on screen, owned by the window
HHOOK BoxHook = nullptr;

int StopAsked = 0;  // the signal a stop asks for: SIGINT, or SIGTERM at the end of the session
bool EndClosed = false;  // the user closed the window that shows the drive's end, or the session ended
long long TotalSteps = 0;
double NextRedrawMs = 0;
std::string ProgressText;  // what the next event pass draws, if ProgressPending
long long ProgressSteps = 0;
bool ProgressPending = false;
std::string PortText;  // the port library and the port's findings, for the next event pass, if PortPending
std::string InputsText;  // the inputs as last read, for the next event pass, if InputsPending
bool PortPending = false;
bool InputsPending = false;

// Pixels at the window's DPI for a length laid out at 96 dpi (the manifest
// declares the program aware of each monitor's DPI).
int Px(int at96) { return layout::Px(at96, Dpi); }

// ---- The picture ---------------------------------------------------------------

// From the plan's unit square to the picture's pixels, within the margin that
// holds the directions' names; forward, toward the user, is down.
struct Frame {
    double left = 0, top = 0, side = 1;
    POINT At(const way::PictureSpot& spot) const {
        return {static_cast<LONG>(std::lround(left + spot.x * side)), static_cast<LONG>(std::lround(top + spot.y * side))};
    }
};

// The margin holds the directions' names, as wide as the widest of them in
// the window's font (selected into dc) at this DPI, and no more than a
// quarter of a small picture.
Frame FrameOf(HDC dc, const RECT& area) {
    const double side = static_cast<double>(area.right - area.left);
    int widest = 0;
    for (const wchar_t* name : {L"links", L"rechts", L"hinten"}) {
        SIZE extent{};
        GetTextExtentPoint32W(dc, name, static_cast<int>(wcslen(name)), &extent);
        widest = std::max(widest, static_cast<int>(extent.cx));
    }
    const double margin = std::min(static_cast<double>(widest + Px(14)), side / 4);
    return {area.left + margin, area.top + margin, side - 2 * margin};
}

// Where the carriages should be after `steps` of the drive: each side runs
// straight from one side's end to the next.
way::PictureSpot SpotAfter(long long steps) {
    const std::vector<way::PictureSpot>& ends = Picture.plan.also;
    if (ends.size() != 5) return Picture.plan.start;
    if (Picture.perSide <= 0) return ends[0];
    const long long side = steps / Picture.perSide;
    if (side >= 4) return ends[4];
    const double share = static_cast<double>(steps - side * Picture.perSide) / static_cast<double>(Picture.perSide);
    const way::PictureSpot& from = ends[static_cast<std::size_t>(side)];
    const way::PictureSpot& to = ends[static_cast<std::size_t>(side) + 1];
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

// The plan of the way (way::PlanPicture), as the simulated port's SVG draws
// it: the path with its arrows, start and end marked, Z steps in orange,
// steps that are not clean circled in red, the directions named as the user
// stands at the machine, and during the drive where the carriages should be.
void DrawPicture(HDC dc, const RECT& area) {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, WindowFont);
    SetBkMode(dc, TRANSPARENT);
    const COLORREF grey = RGB(85, 85, 85), blue = RGB(31, 95, 191), green = RGB(42, 157, 58), red = RGB(192, 57, 43);
    const Frame frame = FrameOf(dc, area);
    const int pad = static_cast<int>(frame.left - area.left);
    Label(dc, L"hinten", {area.left, area.top + Px(4), area.right, area.top + pad}, DT_CENTER | DT_TOP, grey);
    Label(dc, L"vorne", {area.left, area.bottom - pad, area.right, area.bottom - Px(4)}, DT_CENTER | DT_BOTTOM, grey);
    Label(dc, L"links", {area.left + Px(4), area.top, area.left + pad, area.bottom}, DT_LEFT | DT_VCENTER, grey);
    Label(dc, L"rechts", {area.right - pad, area.top, area.right - Px(4), area.bottom}, DT_RIGHT | DT_VCENTER, grey);

    const way::PicturePlan& plan = Picture.plan;
    std::vector<POINT> points(plan.path.size());
    std::transform(plan.path.begin(), plan.path.end(), points.begin(),
                   [&](const way::PictureSpot& spot) { return frame.At(spot); });
    HPEN pen = CreatePen(PS_SOLID, Px(3), blue);
    HBRUSH brush = CreateSolidBrush(blue);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    if (points.size() > 1) Polyline(dc, points.data(), static_cast<int>(points.size()));
    for (const way::PicturePlan::Arrow& arrow : plan.arrows) {
        const POINT mid = frame.At(arrow.at);
        const double ux = arrow.dx, uy = arrow.dy, size = Px(7);
        const auto at = [&](double x, double y) {
            return POINT{static_cast<LONG>(std::lround(mid.x + x)), static_cast<LONG>(std::lround(mid.y + y))};
        };
        const POINT head[] = {at(ux * size, uy * size), at(-ux * size - uy * size, -uy * size + ux * size),
                              at(-ux * size + uy * size, -uy * size - ux * size)};
        Polygon(dc, head, 3);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);

    for (const way::PictureSpot& spot : plan.zSteps) Disc(dc, frame.At(spot), Px(3), RGB(230, 126, 34), RGB(230, 126, 34), 1);
    for (const way::PictureSpot& spot : plan.unclean) Disc(dc, frame.At(spot), Px(6), CLR_NONE, RGB(221, 17, 17), Px(2));
    const POINT start = frame.At(plan.start), end = frame.At(plan.end);
    Disc(dc, start, Px(7), green, green, 1);
    Disc(dc, end, Px(9), CLR_NONE, red, Px(3));
    // Where the way closes, one label says both.
    Label(dc, plan.closes ? L"Start und Ende" : L"Start",
          {start.x - Px(200), start.y - Px(30), start.x + Px(200), start.y - Px(10)}, DT_CENTER | DT_BOTTOM,
          plan.closes ? grey : green);
    if (!plan.closes) Label(dc, L"Ende", {end.x - Px(100), end.y + Px(12), end.x + Px(100), end.y + Px(30)}, DT_CENTER | DT_TOP, red);
    // Where an input changed or a stop input tripped, with its name.
    const COLORREF purple = RGB(142, 68, 173);
    for (const way::PicturePlan::Named& place : plan.named) {
        const POINT at = frame.At(place.at);
        const POINT diamond[] = {{at.x, at.y - Px(6)}, {at.x + Px(6), at.y}, {at.x, at.y + Px(6)}, {at.x - Px(6), at.y}};
        HBRUSH fill = CreateSolidBrush(purple);
        HGDIOBJ before = SelectObject(dc, fill);
        Polygon(dc, diamond, 4);
        SelectObject(dc, before);
        DeleteObject(fill);
        Label(dc, win32::Wide(place.name).c_str(), {at.x + Px(9), at.y - Px(18), area.right, at.y}, DT_LEFT | DT_BOTTOM,
              purple);
    }
    if (MarkSteps >= 0) Disc(dc, frame.At(SpotAfter(MarkSteps)), Px(7), RGB(243, 156, 18), RGB(0, 0, 0), 1);
    SelectObject(dc, oldFont);
}

// Drawn off screen and put up at once, so that the moving mark does not flicker.
void PaintPicture(HDC dc) {
    const int width = PictureArea.right - PictureArea.left, height = PictureArea.bottom - PictureArea.top;
    const RECT area{0, 0, width, height};
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    if (memory == nullptr || bitmap == nullptr) {
        DrawPicture(dc, area);
    } else {
        HGDIOBJ old = SelectObject(memory, bitmap);
        DrawPicture(memory, area);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    HBRUSH frame = CreateSolidBrush(RGB(160, 160, 160));
    FrameRect(dc, &area, frame);
    DeleteObject(frame);
}

// The picture is a window of its own, so that it is repainted alone and
// shows as a control of its class to whoever asks where it stands.
LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintPicture(dc);
    EndPaint(window, &paint);
    return 0;
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
// holds the session up: for as long as the drive runs, which is when Windows
// shows the reason (set in EnterDrivePhase, taken back in LeaveDrivePhase).
// After the drive every line is off, and the window that shows its end closes.
void EndOfSession() {
    if (State == Phase::Closing) EndClosed = true;
    if (State != Phase::Driving) return;
    SwitchPortOff();
    if (StopAsked == 0) StopAsked = SIGTERM;
}

// Why the program holds the session up, shown by Windows (Vista and later) for
// the length of the drive.
void TellWhyTheSessionWaits(bool driving) {
    if (driving) {
        if (const auto create = User32<ShutdownBlockReasonCreateFunction>("ShutdownBlockReasonCreate"))
            create(Window, L"Testfahrt: alle Datenleitungen werden abgeschaltet.");
    } else if (const auto destroy = User32<ShutdownBlockReasonDestroyFunction>("ShutdownBlockReasonDestroy")) {
        destroy(Window);
    }
}

void FollowDpi(int dpi, const RECT& suggested);

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // The button (a click, space), and from IsDialogMessage Enter (IDOK) and Esc (IDCANCEL).
        if (LOWORD(wParam) == kStopButton || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            if (State == Phase::Driving && StopAsked == 0) StopAsked = SIGINT;
            if (State == Phase::Closing) EndClosed = true;
        }
        return 0;
    case WM_CLOSE:
        // The close button and Alt+F4: before OK they answer the confirmation
        // with Cancel; during the drive they stop it, and the window stays
        // until every line is off.
        if (State == Phase::Preparing && ShownBox != nullptr) PostMessageW(ShownBox, WM_COMMAND, IDCANCEL, 0);
        if (State == Phase::Driving && StopAsked == 0) StopAsked = SIGINT;
        if (State == Phase::Closing) EndClosed = true;
        return 0;
    case WM_QUERYENDSESSION:
        EndOfSession();
        return TRUE;  // nothing is held up once every line is off
    case WM_ENDSESSION:
        EndOfSession();
        return 0;
    case kDpiChanged:
        FollowDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND Child(const wchar_t* windowClass, DWORD style, int id = 0) {
    HWND child = CreateWindowExW(0, windowClass, L"", WS_CHILD | style, 0, 0, 0, 0, Window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
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

// ---- The layout, for the monitor the window stands on and its DPI ---------------

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

std::wstring Texts[3];    // the wiring line, the warnings, the way's lines
HWND TextLabels[3] = {};  // nullptr for an empty text

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using SystemParametersInfoForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi;
}

// The DPI of a monitor: its own where Windows knows one per monitor (8.1 and
// later, GetDpiForMonitor of shcore.dll, loaded from the system directory
// only), else the system's.
int MonitorDpi(HMONITOR monitor) {
    static const auto forMonitor = [] {
        if (!win32::HasSearchFlags()) return GetDpiForMonitorFunction{};
        return win32::SystemFunction<GetDpiForMonitorFunction>(
            LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "GetDpiForMonitor");
    }();
    UINT x = 0, y = 0;
    if (forMonitor != nullptr && forMonitor(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y) == S_OK && y > 0)
        return static_cast<int>(y);
    return SystemDpi();
}

// The window's font, the system's message font at `dpi`.
HFONT FontAt(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (const auto forDpi = User32<SystemParametersInfoForDpiFunction>("SystemParametersInfoForDpi");
        forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi)))
        return CreateFontIndirectW(&metrics.lfMessageFont);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

layout::Frame FrameAt(int dpi) {
    RECT frame{0, 0, 0, 0};
    if (const auto forDpi = User32<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi"))
        forDpi(&frame, kWindowStyle, FALSE, 0, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    return {-frame.left, -frame.top, frame.right, frame.bottom};
}

layout::Rect WorkAreaOf(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor != nullptr && GetMonitorInfoW(monitor, &info))
        return {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {work.left, work.top, work.right, work.bottom};
}

HMONITOR WindowMonitor() {
    return Window != nullptr ? MonitorFromWindow(Window, MONITOR_DEFAULTTONEAREST)
                             : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
}

RECT Native(const layout::Rect& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

void Move(HWND control, const layout::Rect& at) {
    if (control != nullptr) MoveWindow(control, at.left, at.top, at.Width(), at.Height(), FALSE);
}

// The column beside the picture: the inputs at its top, as high as they wrap
// but at most a little over half of it, and the port library below them.
void PlaceColumn() {
    const int width = ColumnArea.right - ColumnArea.left, height = ColumnArea.bottom - ColumnArea.top;
    const int inputs = std::min(HeightOf(win32::Wide(InputsText), width), height * 11 / 20);
    const int gap = inputs > 0 ? Px(8) : 0;
    Move(InputsLabel, {ColumnArea.left, ColumnArea.top, ColumnArea.right, ColumnArea.top + inputs});
    Move(PortLabel, {ColumnArea.left, ColumnArea.top + inputs + gap, ColumnArea.right, ColumnArea.bottom});
}

// The inputs as ShowInputs last had them, on the window now.
void DrawInputs() {
    InputsPending = false;
    SetWindowTextW(InputsLabel, win32::Wide(InputsText).c_str());
    PlaceColumn();
    InvalidateRect(Window, &ColumnArea, TRUE);
}

// Lays the window out anew for `monitor` at the window's DPI, with room for a
// box of `box`'s size beside or below the picture, at `at` (else where it
// stands, else centred), and puts everything there.
layout::Layout Arrange(HMONITOR monitor, layout::Size box, std::optional<layout::Point> at = std::nullopt) {
    const layout::Screen screen{WorkAreaOf(monitor), Dpi, FrameAt(Dpi)};
    const int width = layout::TextWidth(screen);
    const int heights[3] = {HeightOf(Texts[0], width), HeightOf(Texts[1], width), HeightOf(Texts[2], width)};
    if (!at && Window != nullptr) {
        RECT now;
        GetWindowRect(Window, &now);
        at = layout::Point{now.left, now.top};
    }
    const layout::Layout placed = layout::LayOut(screen, heights, box, at);
    if (Window == nullptr) return placed;
    SetWindowPos(Window, nullptr, placed.window.left, placed.window.top, placed.window.Width(), placed.window.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    for (int i = 0; i < 3; ++i) Move(TextLabels[i], placed.texts[i]);
    PictureArea = Native(placed.picture);
    Move(PictureView, placed.picture);
    ColumnArea = Native(placed.portLabel);
    PlaceColumn();
    Move(ProgressLabel, placed.progress);
    Move(ProgressBar, placed.bar);
    Move(StopButton, placed.button);
    RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return placed;
}

// The font at the window's DPI, for the window and every control in it.
void UseFontAt(int dpi) {
    HFONT previous = WindowFont;
    WindowFont = FontAt(dpi);
    for (HWND control : {TextLabels[0], TextLabels[1], TextLabels[2], PortLabel, InputsLabel, ProgressLabel, StopButton})
        if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont), FALSE);
    if (previous != nullptr) DeleteObject(previous);
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
    windowClass.lpfnWndProc = PictureProc;
    windowClass.hIcon = nullptr;
    windowClass.hbrBackground = nullptr;  // PaintPicture covers it whole
    windowClass.lpszClassName = kPictureClassName;
    RegisterClassExW(&windowClass);

    // The texts across the top, each as high as it wraps; below them the
    // picture on the left, and on its right what the drive shows, where the
    // confirmation box stands before it.
    Texts[0] = win32::Wide("X: " + wiring.x.step + " / " + wiring.x.dir + " · Y: " + wiring.y.step + " / " +
                           wiring.y.dir + " · " + wiring.portShort);
    // The stop inputs in one line: on a small screen every line the texts take is the picture's.
    if (!wiring.inputsLine.empty()) Texts[0] += L"\r\n" + win32::Wide(wiring.inputsLine);
    Texts[1] = Lines(wiring.warnings);
    Texts[2] = Lines(wiring.way);
    // Made on the primary monitor at its DPI; once it is there, at the DPI Windows gives it.
    const HMONITOR monitor = WindowMonitor();
    Dpi = MonitorDpi(monitor);
    UseFontAt(Dpi);
    const layout::Layout first = Arrange(monitor, {});
    Window = CreateWindowExW(0, kClassName, L"Testfahrt vorbereiten", kWindowStyle, first.window.left, first.window.top,
                             first.window.Width(), first.window.Height(), nullptr, nullptr, GetModuleHandleW(nullptr),
                             nullptr);
    if (Window == nullptr)
        throw Failure{FailureKind::WindowCannotBeOpened,
                      "Das Fenster „Testfahrt vorbereiten“ ließ sich nicht öffnen; ohne es könnte die Fahrt nicht "
                      "angehalten werden. Es wurde nichts auf den Port geschrieben: " +
                          win32::SystemMessage(GetLastError())};
    if (const auto forWindow = User32<GetDpiForWindowFunction>("GetDpiForWindow")) {
        const int given = static_cast<int>(forWindow(Window));
        if (given > 0 && given != Dpi) {
            Dpi = given;
            UseFontAt(Dpi);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (Texts[i].empty()) continue;
        TextLabels[i] = Child(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL);
        SetWindowTextW(TextLabels[i], Texts[i].c_str());
    }
    PictureView = Child(kPictureClassName, WS_VISIBLE);
    PortLabel = Child(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL);
    InputsLabel = Child(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL);
    ProgressLabel = Child(L"STATIC", SS_LEFT | SS_NOPREFIX);
    ProgressBar = Child(PROGRESS_CLASSW, 0);
    SendMessageW(ProgressBar, PBM_SETRANGE32, 0, kBarRange);
    StopButton = Child(L"BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, kStopButton);
    SetWindowTextW(StopButton, L"Anhalten");
    Arrange(WindowMonitor(), {});
    ShowWindow(Window, SW_SHOW);
    SetForegroundWindow(Window);
    UpdateWindow(Window);
}

// Moved to another monitor, or its scale changed: laid out anew at the new
// DPI, in the place Windows suggests, fonts and picture too; a box on the
// screen is placed beside the picture again.
void FollowDpi(int dpi, const RECT& suggested) {
    Dpi = dpi;
    UseFontAt(Dpi);
    layout::Size box;
    RECT boxAt{};
    if (ShownBox != nullptr && GetWindowRect(ShownBox, &boxAt)) box = {boxAt.right - boxAt.left, boxAt.bottom - boxAt.top};
    const layout::Layout placed = Arrange(MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST), box,
                                          layout::Point{suggested.left, suggested.top});
    if (ShownBox != nullptr && placed.box)
        SetWindowPos(ShownBox, nullptr, placed.box->left, placed.box->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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

// Beside the picture, on its right where the monitor the window stands on has
// room, else below it, else on its left: a box must not hide the way the user
// compares with. Where there is no such room, the picture gives way.
void PlaceBesidePicture(HWND box) {
    RECT boxAt;
    GetWindowRect(box, &boxAt);
    const int width = boxAt.right - boxAt.left, height = boxAt.bottom - boxAt.top;
    const layout::Layout placed = Arrange(WindowMonitor(), {width, height});
    layout::Point at;
    if (placed.box) {
        at = {placed.box->left, placed.box->top};
    } else {
        // No room even beside the smallest picture: right of it, as far as the work area lets it stand.
        RECT picture = PictureArea;
        MapWindowPoints(Window, nullptr, reinterpret_cast<POINT*>(&picture), 2);
        const layout::Rect work = WorkAreaOf(WindowMonitor());
        at = {std::max(work.left, std::min(static_cast<int>(picture.right) + Px(16), work.right - width)),
              std::max(work.top, std::min(static_cast<int>(picture.top), work.bottom - height))};
    }
    SetWindowPos(box, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    InvalidateRect(PictureView, nullptr, FALSE);
    TellWhyTheSessionWaits(true);
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
    InvalidateRect(PictureView, nullptr, FALSE);
}

}  // namespace

void win32::LeaveDrivePhase() {
    if (Window == nullptr) return;
    // The count where the drive ended, not where the last redraw left it up to 200 ms before.
    if (!ProgressText.empty()) DrawProgress();
    TellWhyTheSessionWaits(false);
    // The window stays for the boxes after the drive, which it owns; nothing in it acts any more.
    // It is „Testfahrt beendet“ once those are answered and it waits to be closed (EndShown).
    State = Phase::Ended;
    SetWindowTextW(Window, L"Testfahrt endet");
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
    InvalidateRect(PictureView, nullptr, FALSE);
    UpdateWindow(Window);
}

void ShowPortNote(const std::string& text) {
    // Below the port library's name, drawn by the next event pass as that is.
    PortText += "\r\n\r\n" + text;
    PortPending = true;
}

void MarkOnWay(long long stepsDone, const std::string& name) {
    if (Window == nullptr || Picture.plan.named.size() >= way::kPlannedNames) return;
    Picture.plan.named.push_back({SpotAfter(stepsDone), name});
    InvalidateRect(PictureView, nullptr, FALSE);
}

void ShowInputs(const std::string& text, bool) {
    // Live in the window, above the port library and its findings, drawn by the next event pass.
    InputsText.clear();
    for (const char c : text) {
        if (c == '\n') InputsText += '\r';
        InputsText += c;
    }
    InputsPending = true;
    if (State == Phase::Ended) {
        // After the drive no event pass comes: drawn at once.
        DrawInputs();
        UpdateWindow(Window);
    }
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

namespace {

// What the drive's event passes would have drawn next.
void DrawPending() {
    if (ProgressPending) DrawProgress();
    if (PortPending) {
        PortPending = false;
        SetWindowTextW(PortLabel, win32::Wide(PortText).c_str());
    }
    if (InputsPending) DrawInputs();
}

// A key held down since before repeats; only a new press counts.
bool Repeated(const MSG& message) { return message.message == WM_KEYDOWN && (message.lParam & (1L << 30)) != 0; }

}  // namespace

bool EndShown(double waitMs) {
    if (Window == nullptr || EndClosed) return false;
    if (State != Phase::Closing) {
        State = Phase::Closing;
        // A box after the drive gives the window back disabled where it was closed from outside.
        EnableWindow(Window, TRUE);
        SetForegroundWindow(Window);
        SetWindowTextW(Window, L"Testfahrt beendet");
        SetWindowTextW(StopButton, L"Schlie\u00dfen");
        ShowWindow(StopButton, SW_SHOW);
        EnableWindow(StopButton, TRUE);
        SetFocus(StopButton);
    }
    // A note made after the last write, the inputs read since: drawn now.
    DrawPending();
    UpdateWindow(Window);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::max(0.0, waitMs)), QS_ALLINPUT);
    MSG message;
    while (!EndClosed && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (Repeated(message)) continue;
        // As in a dialog: Enter and Esc reach the window as commands, space the button.
        if (IsDialogMessageW(Window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return !EndClosed;
}

int ProcessPendingEvents() {
    DrawPending();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // A key held down since before the drive repeats; only a new press stops it.
        if (Repeated(message)) continue;
        // As in a dialog: Esc and Enter reach the window as commands, space the button.
        if (Window != nullptr && IsDialogMessageW(Window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return StopAsked;
}

}  // namespace host

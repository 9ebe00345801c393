#pragma once
// The program's window laid out, as arithmetic alone (no Windows call, so that
// the unit tests check it on any host): what stands where for the work area
// of the monitor the window is on, its DPI, the heights of the texts, and the
// box that must stand beside or below the picture, never over it.

#include <optional>

namespace host::layout {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

struct Size {
    int width = 0, height = 0;
};

struct Point {
    int x = 0, y = 0;
};

// What the window's frame adds on each side of its client area, its caption
// in `top`, in pixels at the window's DPI.
struct Frame {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct Screen {
    Rect work;  // the work area of the monitor the window stands on
    int dpi = 96;
    Frame frame;
};

// A length laid out at 96 dpi, at `dpi`.
int Px(int at96, int dpi);

// The width the texts wrap at: the window's client area as wide as the design
// asks (720 at 96 dpi) or the work area allows, less its margins.
int TextWidth(const Screen& screen);

struct Layout {
    Rect window;          // on the screen, frame included; wholly within the work area
    Rect texts[3];        // in the client area: the wiring line, the warnings, the way
    Rect picture;         // in the client area: a square
    Rect portLabel;       // beside the picture: the port library's name and the port's findings
    Rect progress, bar, button;  // at the foot of the column beside the picture: the drive's
    std::optional<Rect> box;     // on the screen: where the box stands, if one was given and has a place
};

// The smallest side the picture gives way to: it still shows the way's shape,
// its arrows and its start and end.
constexpr int kSmallestPicture96 = 160;

// The window for these texts (each as high as it wraps at TextWidth) on this
// screen: centred on the work area, or at `at` (its top left, moved as far as
// needed to lie within the work area). The picture is as large as the design
// asks (340 at 96 dpi) and the work area allows; where a box is given, it
// gives way, down to kSmallestPicture96, until the box has a place right of
// the picture, else below it, else left of it, within the work area.
Layout LayOut(const Screen& screen, const int (&textHeights)[3], Size box = {},
              std::optional<Point> at = std::nullopt);

// Where a box of `box`'s size stands on the work area beside a picture that
// is at `picture` on the screen: right of it, else below it, else left of it;
// nothing where none of these has room.
std::optional<Rect> BesidePicture(const Rect& work, const Rect& picture, Size box, int dpi);

}  // namespace host::layout

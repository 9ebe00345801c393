#include "platform/win32/layout.h"

#include <algorithm>
#include <iterator>

namespace host::layout {

namespace {

// The design at 96 dpi, in pixels.
constexpr int kClientWidth96 = 720;
constexpr int kMargin96 = 12;
constexpr int kTextGap96 = 6;
constexpr int kPictureGap96 = 4;     // between the texts and the picture
constexpr int kPicture96 = 340;
constexpr int kColumnGap96 = 16;     // between the picture and the column beside it
constexpr int kColumnWidth96 = 260;  // "Seite 2/4 nach rechts: Schritt 37 von 100" on one line
// The column's foot: the progress line, the bar and „Anhalten“, and above them
// room for a few lines of the port library's name.
constexpr int kColumnFoot96 = 120;
constexpr int kColumnHeight96 = 200;
constexpr int kBoxGap96 = 16;

bool Within(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool Overlap(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

int ClientWidth(const Screen& screen) {
    return std::min(Px(kClientWidth96, screen.dpi),
                    screen.work.Width() - screen.frame.left - screen.frame.right);
}

// The window with a picture of this side.
Layout WithPicture(const Screen& screen, const int (&textHeights)[3], int side, std::optional<Point> at) {
    const auto px = [&](int at96) { return Px(at96, screen.dpi); };
    const int width = ClientWidth(screen), margin = px(kMargin96);
    Layout layout;
    int top = margin;
    for (int i = 0; i < 3; ++i) {
        layout.texts[i] = {margin, top, width - margin, top + textHeights[i]};
        if (textHeights[i] > 0) top += textHeights[i] + px(kTextGap96);
    }
    layout.picture = {margin, top + px(kPictureGap96), margin + side, top + px(kPictureGap96) + side};
    const int column = layout.picture.right + px(kColumnGap96), columnEnd = width - margin;
    // The column as high as a few lines of the port library's name need, as far as the work area lets it.
    const int lowest = screen.work.Height() - screen.frame.top - screen.frame.bottom - margin;
    const int bottom = std::max({layout.picture.bottom, layout.picture.top + px(kColumnFoot96),
                                 std::min(layout.picture.top + px(kColumnHeight96), lowest)});
    layout.portLabel = {column, layout.picture.top, columnEnd, bottom - px(kColumnFoot96)};
    layout.progress = {column, bottom - px(110), columnEnd, bottom - px(88)};
    layout.bar = {column, bottom - px(80), columnEnd, bottom - px(58)};
    layout.button = {columnEnd - px(100), bottom - px(30), columnEnd, bottom};
    const Frame& frame = screen.frame;
    const Rect& work = screen.work;
    const int outerWidth = width + frame.left + frame.right, outerHeight = bottom + margin + frame.top + frame.bottom;
    const Point wanted = at.value_or(Point{work.left + (work.Width() - outerWidth) / 2,
                                           work.top + (work.Height() - outerHeight) / 2});
    // Within the work area, its top left first where the window is larger.
    const int left = std::max(work.left, std::min(wanted.x, work.right - outerWidth));
    const int topOnScreen = std::max(work.top, std::min(wanted.y, work.bottom - outerHeight));
    layout.window = {left, topOnScreen, left + outerWidth, topOnScreen + outerHeight};
    return layout;
}

Rect OnScreen(const Layout& layout, const Frame& frame, const Rect& client) {
    const int x = layout.window.left + frame.left, y = layout.window.top + frame.top;
    return {x + client.left, y + client.top, x + client.right, y + client.bottom};
}

}  // namespace

int Px(int at96, int dpi) { return static_cast<int>((static_cast<long long>(at96) * dpi + 48) / 96); }

int TextWidth(const Screen& screen) { return ClientWidth(screen) - 2 * Px(kMargin96, screen.dpi); }

std::optional<Rect> BesidePicture(const Rect& work, const Rect& picture, Size box, int dpi) {
    const int gap = Px(kBoxGap96, dpi);
    // Level with the picture's top where there is room, else as high as the work area lets it stand.
    const auto level = [&](int y) { return std::max(work.top, std::min(y, work.bottom - box.height)); };
    const int y = level(picture.top + Px(24, dpi));
    const int x = std::max(work.left, std::min(picture.left, work.right - box.width));
    const int under = picture.bottom + Px(8, dpi);
    const Rect candidates[] = {
        {picture.right + gap, y, picture.right + gap + box.width, y + box.height},  // right of it
        {x, under, x + box.width, under + box.height},                              // below it
        {picture.left - gap - box.width, y, picture.left - gap, y + box.height},    // left of it
    };
    const Rect* fits = std::find_if(std::begin(candidates), std::end(candidates), [&](const Rect& candidate) {
        return Within(candidate, work) && !Overlap(candidate, picture);
    });
    if (fits == std::end(candidates)) return std::nullopt;
    return *fits;
}

Layout LayOut(const Screen& screen, const int (&textHeights)[3], Size box, std::optional<Point> at) {
    const auto px = [&](int at96) { return Px(at96, screen.dpi); };
    // As large as the design asks, as high as the work area allows below the
    // texts, and as wide as leaves the column beside it its width.
    const int width = ClientWidth(screen);
    const Layout plain = WithPicture(screen, textHeights, 0, at);
    const int below = screen.work.Height() - screen.frame.top - screen.frame.bottom - plain.picture.top - px(kMargin96);
    const int beside = width - px(kMargin96) - px(kColumnGap96) - px(kColumnWidth96) - px(kMargin96);
    const int smallest = px(kSmallestPicture96);
    int side = std::max(smallest, std::min({px(kPicture96), below, beside}));
    for (;;) {
        Layout layout = WithPicture(screen, textHeights, side, at);
        if (box.width == 0 && box.height == 0) return layout;
        layout.box = BesidePicture(screen.work, OnScreen(layout, screen.frame, layout.picture), box, screen.dpi);
        if (layout.box || side == smallest) return layout;
        side = std::max(smallest, side * 9 / 10);
    }
}

}  // namespace host::layout

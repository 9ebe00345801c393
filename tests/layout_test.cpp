#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/win32/layout.h"

namespace {

using host::layout::Rect;

bool Within(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The window with the texts of a long wiring and the confirmation box as
// Windows makes them, where the Wine test cannot go (a second monitor, a box
// too large for the screen, a place off it), and one small screen: on the work area,
// the box beside or below the picture and never over it, the drive's controls
// within the window; the picture gives way where the screen is small.
TEST(Layout, TheWindowAndItsBoxFitTheWorkArea) {
    enum Where : std::uint8_t { Right, Below, Left, Nowhere };
    const struct {
        const char* name;
        Rect work;
        int dpi;
        int texts[3];
        host::layout::Size box;
        bool pictureGivesWay;
        Where boxStands;
    } cases[] = {
        {"800 x 600 at 120 dpi", {0, 0, 800, 600}, 120, {20, 40, 200}, {470, 190}, true, Right},
        {"a second monitor left of the first, with a taskbar", {-1280, 0, 0, 984}, 96, {16, 32, 96}, {370, 140}, false,
         Right},
        {"a box too large for any place", {0, 0, 1024, 600}, 96, {16, 32, 96}, {1000, 500}, true, Nowhere},
    };
    for (const auto& c : cases) {
        const host::layout::Frame frame{host::layout::Px(3, c.dpi), host::layout::Px(26, c.dpi),
                                        host::layout::Px(3, c.dpi), host::layout::Px(3, c.dpi)};
        const host::layout::Screen screen{c.work, c.dpi, frame};
        const host::layout::Layout placed = host::layout::LayOut(screen, c.texts, c.box);

        EXPECT_TRUE(Within(placed.window, c.work)) << c.name;
        const Rect client{0, 0, placed.window.Width() - frame.left - frame.right,
                          placed.window.Height() - frame.top - frame.bottom};
        for (const Rect& inside : {placed.picture, placed.progress, placed.bar, placed.button, placed.texts[2]})
            EXPECT_TRUE(Within(inside, client)) << c.name;
        EXPECT_EQ(placed.picture.Width() < host::layout::Px(340, c.dpi), c.pictureGivesWay) << c.name;
        EXPECT_GE(placed.picture.Width(), host::layout::Px(host::layout::kSmallestPicture96, c.dpi)) << c.name;
        ASSERT_EQ(placed.box.has_value(), c.boxStands != Nowhere) << c.name;
        if (!placed.box) continue;
        const Rect& box = *placed.box;
        const int x = placed.window.left + frame.left, y = placed.window.top + frame.top;
        const Rect picture{x + placed.picture.left, y + placed.picture.top, x + placed.picture.right,
                           y + placed.picture.bottom};
        EXPECT_TRUE(Within(box, c.work)) << c.name;
        const Where where = box.left >= picture.right ? Right : box.top >= picture.bottom ? Below
                            : box.right <= picture.left                                  ? Left
                                                                                         : Nowhere;
        EXPECT_EQ(where, c.boxStands) << c.name << ": the box covers the picture";
    }
    // Where Windows suggests a place off the work area (a monitor's new scale), the window stays on it.
    const host::layout::Screen screen{{0, 0, 800, 600}, 96, {3, 26, 3, 3}};
    const int texts[3] = {16, 32, 96};
    EXPECT_TRUE(Within(host::layout::LayOut(screen, texts, {}, host::layout::Point{700, 500}).window, screen.work));
}

}  // namespace

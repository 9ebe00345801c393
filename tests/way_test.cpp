#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "way.h"

namespace {

// The writes of a drive of n steps a side: each pulse a 0 and the side's
// pattern (forward, right, back, left), then a last 0.
std::vector<unsigned> RectangleWrites(const way::SignalBits& b, int n) {
    std::vector<unsigned> writes;
    for (const unsigned pattern : {b.yStep + b.yDir, b.xStep + b.xDir, b.yStep, b.xStep})
        for (int i = 0; i < n; ++i) writes.insert(writes.end(), {0u, pattern});
    writes.push_back(0);
    return writes;
}

TEST(Way, DecodesWhatAnIdealDriverWouldDo) {
    const way::SignalBits sample{1, 2, 4, 8, 16, 32};  // X on pins 2/3, Y on 4/5, Z on 6/7
    const struct {
        const char* name;
        way::SignalBits bits;
        int steps;
        std::string verdict;
    } cases[] = {
        {"the sample wiring", sample, 100,
         "Weg: Rechteck 100 × 100 Schritte (nach vorne × nach rechts), zurück am Start."},
        {"X and Y step on pin 2", {1, 2, 1, 8, 16, 32}, 20,
         "Weg: endet 40 Schritte links vom Start und 40 Schritte weiter hinten; das Rechteck schließt sich nicht."},
        {"X direction on pin 10", {1, 0, 4, 8, 16, 32}, 30,
         "Weg: endet 60 Schritte links vom Start; das Rechteck schließt sich nicht."},
        {"Z step on Y's step line", {1, 2, 4, 8, 4, 32}, 3,
         "Weg: Rechteck 3 × 3 Schritte (nach vorne × nach rechts), zurück am Start. Z-Achse: 6 Schritte, der Stift "
         "würde sich bewegen."},
        {"Y direction inverted", {1, 2, 4, 0, 16, 32}, 1, "Weg: endet 2 Schritte hinter dem Start; das Rechteck "
                                                          "schließt sich nicht."},
        {"X step on pin 12", {0, 2, 4, 8, 16, 32}, 5,
         "Weg: kein Rechteck, sondern 2 Teilstrecken über bis zu 5 Schritte vorne–hinten und 0 Schritte "
         "links–rechts; zurück am Start."},
        {"no step line on the port", {0, 2, 0, 8, 16, 32}, 5, "Weg: kein Schritt in X oder Y; die Schlitten blieben stehen."},
    };
    for (const auto& c : cases) {
        const way::Way decoded = way::Decode(c.bits, RectangleWrites(c.bits, c.steps));
        EXPECT_EQ(way::Verdict(decoded), c.verdict) << c.name;
        const std::string picture = way::Picture(decoded);
        EXPECT_NE(picture.find("<title>" + c.verdict + "</title>"), std::string::npos) << c.name;
        EXPECT_EQ(picture.find("nan"), std::string::npos) << c.name;
    }
}

TEST(Way, TheTraceNamesEachLineBySignal) {
    const way::SignalBits bits{1, 2, 1, 8, 0, 128};
    EXPECT_EQ(way::LineName(0, bits), "D0_X_Schritt_Y_Schritt");
    EXPECT_EQ(way::LineName(1, bits), "D1_X_Richtung");
    EXPECT_EQ(way::LineName(2, bits), "D2_Pin4");
    EXPECT_EQ(way::LineName(7, bits), "D7_Z_Richtung");
}

}  // namespace

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "way/way.h"

namespace {

// The writes of a drive of n steps a side at 15 ms a pulse: each pulse a low
// write and, lowNs later, the side's pattern (forward, right, back, left), then
// a last 0 lowNs after the last pattern. The low write is 0 (as before), or,
// with keepDirections, the port's value with only the step lines off and the
// moving axis' direction as its side needs it.
std::vector<way::TimedWrite> RectangleWrites(const way::SignalBits& b, int n, bool keepDirections = true,
                                             long long lowNs = 200'000) {
    std::vector<way::TimedWrite> writes;
    unsigned level = 0;
    long long ns = 0;
    const struct {
        int pattern, dir;
    } sides[] = {{b.yStep + b.yDir, b.yDir}, {b.xStep + b.xDir, b.xDir}, {b.yStep, b.yDir}, {b.xStep, b.xDir}};
    for (const auto& side : sides)
        for (int i = 0; i < n; ++i) {
            const int pattern = side.pattern, dir = side.dir;
            const unsigned off = level & ~unsigned(b.xStep | b.yStep);
            const bool dirHigh = (pattern & dir) != 0;
            const unsigned low = !keepDirections ? 0 : dirHigh ? off | unsigned(dir) : off & ~unsigned(dir);
            ns += 15'000'000;
            writes.push_back({low, ns});
            writes.push_back({level = unsigned(pattern), ns += lowNs});
        }
    writes.push_back({0, ns + lowNs});
    return writes;
}

TEST(Way, DecodesWhatADriverWouldDoAndJudgesTheSignal) {
    const way::SignalBits sample{1, 2, 4, 8, 16, 32};  // X on pins 2/3, Y on 4/5, Z on 6/7
    const std::string enough = "; genug für einen Treiber, der 10/10/200/200 µs verlangt";
    const struct {
        const char* name;
        way::SignalBits bits;
        int steps;
        std::string verdict;  // of the rising edge's way
        std::string signal;   // the summary's last line holds this
        bool keepDirections = true;
        long long lowNs = 200'000;
        way::DriverTimes driver = {};
    } cases[] = {
        {"the sample wiring", sample, 100,
         "Weg: Rechteck 100 × 100 Schritte (nach vorne × nach rechts), zurück am Start.",
         "Signal: Schrittleitung mindestens 0,20 ms high und 0,20 ms low, Richtung mindestens 0,20 ms vor und nach "
         "jeder Flanke fest" + enough + " (Impuls/Pause/Richtung fest vor/nach der Flanke)."},
        {"the pulse of 0 and the pattern, 1 us apart", sample, 100,
         "Weg: Rechteck 100 × 100 Schritte (nach vorne × nach rechts), zurück am Start.",
         "Signal: nicht sauber für einen Treiber, der 10/10/200/200 µs verlangt (Impuls/Pause/Richtung fest vor/nach "
         "der Flanke); bei steigender Flanke 398 von 400 Schritten: 200 „Richtung unbestimmt“, 396 „zu kurz“; bei "
         "fallender Flanke 399 von 400 Schritten: 200 „Richtung unbestimmt“, 397 „zu kurz“. Gemessen: "
         "Schrittleitung mindestens 1,0 µs high und 1,0 µs low, Richtung mindestens 0,0 µs",
         false, 1'000},
        {"a driver that wants 14 ms pulses", sample, 10,
         "Weg: Rechteck 10 × 10 Schritte (nach vorne × nach rechts), zurück am Start.",
         "Signal: nicht sauber für einen Treiber, der 14000/10/200/200 µs verlangt (Impuls/Pause/Richtung fest "
         "vor/nach der Flanke); bei steigender Flanke 1 von 40 Schritten: 1 „zu kurz“; bei fallender Flanke 36 von "
         "40 Schritten: 36 „zu kurz“.",
         true, 200'000, {14'000'000, 10'000, 200'000, 200'000}},
        {"a driver that wants the direction 5 ms before the edge", sample, 10,
         "Weg: Rechteck 10 × 10 Schritte (nach vorne × nach rechts), zurück am Start.",
         "Signal: nicht sauber für einen Treiber, der 10/10/5000/200 µs verlangt (Impuls/Pause/Richtung fest vor/nach "
         "der Flanke); bei steigender Flanke 2 von 40 Schritten: 2 „Richtung unbestimmt“; bei fallender Flanke jeder "
         "Schritt sauber.",
         true, 200'000, {10'000, 10'000, 5'000'000, 200'000}},
        {"X and Y step on pin 2", {1, 2, 1, 8, 16, 32}, 20,
         "Weg: endet 40 Schritte links vom Start und 40 Schritte weiter hinten; das Rechteck schließt sich nicht.",
         "Signal: nicht sauber", false},
        {"X direction on pin 10", {1, 0, 4, 8, 16, 32}, 30,
         "Weg: endet 60 Schritte links vom Start; das Rechteck schließt sich nicht.", enough},
        {"Z step on Y's step line", {1, 2, 4, 8, 4, 32}, 3,
         "Weg: Rechteck 3 × 3 Schritte (nach vorne × nach rechts), zurück am Start. Z-Achse: 6 Schritte, der Stift "
         "würde sich bewegen.", enough},
        {"Y direction off the port", {1, 2, 4, 0, 16, 32}, 1, "Weg: endet 2 Schritte hinter dem Start; das Rechteck "
                                                              "schließt sich nicht.", enough},
        {"X step on pin 12", {0, 2, 4, 8, 16, 32}, 5,
         "Weg: kein Rechteck, sondern 2 Teilstrecken über bis zu 5 Schritte vorne–hinten und 0 Schritte "
         "links–rechts; zurück am Start.", enough},
        {"no step line on the port", {0, 2, 0, 8, 16, 32}, 5,
         "Weg: kein Schritt in X oder Y; die Schlitten blieben stehen.", "Signal: Schrittleitung mindestens – high"},
    };
    for (const auto& c : cases) {
        const auto writes = RectangleWrites(c.bits, c.steps, c.keepDirections, c.lowNs);
        const way::Way rising = way::Decode(c.bits, writes, way::Edge::Rising, c.driver);
        const way::Way falling = way::Decode(c.bits, writes, way::Edge::Falling, c.driver);
        EXPECT_EQ(way::Verdict(rising), c.verdict) << c.name;
        const std::vector<std::string> summary = way::Summary(rising, falling);
        EXPECT_NE(summary.back().find(c.signal), std::string::npos) << c.name << ": " << summary.back();
        // An unclean signal never promises the way without saying it holds for an ideal driver only.
        const bool clean = rising.unclean == 0 && falling.unclean == 0;
        EXPECT_EQ(summary.front().rfind(clean ? "Weg: " : "Weg bei einem idealen Treiber", 0), 0u) << c.name;
        const std::string picture = way::Picture(rising, falling);
        EXPECT_NE(picture.find("<title>" + summary.front() + "</title>"), std::string::npos) << c.name;
        EXPECT_EQ(picture.find("nan"), std::string::npos) << c.name;
    }
}

// A drive of 9223372036854775807 steps a side makes four times as many: the
// carries between the halves of a count, both ways, and its digits.
TEST(Way, CountsPastSixtyFourBitsExactly) {
    const way::Count max = 9223372036854775807, least = -9223372036854775807 - 1;
    const struct {
        way::Count count;
        const char* text;
    } cases[] = {
        {0, "0"},
        {-1, "-1"},
        {max + 1, "9223372036854775808"},
        {least - 1, "-9223372036854775809"},
        {way::Times(max, 4), "36893488147419103228"},
        {-way::Times(max, 4), "-36893488147419103228"},
        {way::Times(max, 4) - way::Times(max, 3) - max, "0"},
        {way::Times(way::Times(max, 9223372036854775807), 2), "170141183460469231694793815568465002498"},
    };
    for (const auto& c : cases) EXPECT_EQ(way::ToText(c.count), c.text) << c.text;
    EXPECT_LT(-way::Times(max, 4), least);
    EXPECT_LT(least, way::Count(-1));
    EXPECT_DOUBLE_EQ(way::ToDouble(-way::Times(max, 4)), -4 * 9223372036854775807.0);
}

TEST(Way, DriverTimesAreFourNumbersInMicroseconds) {
    const struct {
        const char* text;
        std::optional<way::DriverTimes> times;
    } cases[] = {
        {"10,10,200,200", way::DriverTimes{}},
        {"2.5,0,0.5,35", way::DriverTimes{2'500, 0, 500, 35'000}},
        {"10,10,200", std::nullopt},   {"10,10,200,200,1", std::nullopt}, {"10;10;200;200", std::nullopt},
        {"-1,10,200,200", std::nullopt}, {"1e3,10,200,200", std::nullopt}, {"10,,200,200", std::nullopt},
        {" 10,10,200,200", std::nullopt}, {"1.2.3,10,200,200", std::nullopt}, {"99999999999,1,1,1", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parsed = way::ParseDriverTimes(c.text);
        ASSERT_EQ(parsed.has_value(), c.times.has_value()) << c.text;
        if (parsed && c.times) {
            EXPECT_EQ(way::DriverTimesText(*parsed), way::DriverTimesText(*c.times)) << c.text;
        }
    }
}

TEST(Way, AWayOfMoreTurnsThanKeptSaysSoAndCountsEveryTurn) {
    const way::SignalBits bits{1, 2, 4, 8, 0, 0};
    std::vector<way::TimedWrite> writes;  // X back and forth, one step each way, each step well timed
    for (long long i = 0; i <= static_cast<long long>(way::kMaxMarks) + 1; ++i) {
        const unsigned dir = i % 2 == 0 ? 2u : 0u;
        writes.insert(writes.end(), {{dir, 3'000'000 * i}, {dir | 1u, 3'000'000 * i + 1'000'000}});
    }
    writes.push_back({0, 3'000'000 * (static_cast<long long>(way::kMaxMarks) + 2)});
    const way::Way zigzag = way::Decode(bits, writes, way::Edge::Rising);
    EXPECT_EQ(way::Verdict(zigzag), "Weg: kein Rechteck, sondern 100002 Teilstrecken über bis zu 0 Schritte "
                                    "vorne–hinten und 1 Schritt links–rechts; zurück am Start. Mehr als 100000 "
                                    "Richtungswechsel: das Bild zeigt nur die ersten 100000.");
    EXPECT_EQ(zigzag.unclean, 0);

    // Decoded from its first periods and repeated, the same way as decoded whole,
    // cut only where it has more turns than kept.
    for (const long long periods : {25LL, static_cast<long long>(way::kMaxMarks) / 2 + 1}) {
        const auto period = [&](way::Way& way, long long p) {  // right, then left
            for (const way::TimedWrite& write : {way::TimedWrite{2, 6'000'000 * p}, {3, 6'000'000 * p + 1'000'000},
                                                 {0, 6'000'000 * p + 3'000'000}, {1, 6'000'000 * p + 4'000'000}})
                way::AddWrite(way, bits, write.value, write.ns);
        };
        way::Way whole, repeated;
        for (long long p = 0; p < periods; ++p) period(whole, p);
        period(repeated, 0);
        period(repeated, 1);
        const way::Way earlier = repeated;
        period(repeated, 2);
        way::Repeat(repeated, earlier, periods - 4);
        period(repeated, 3);
        for (way::Way* way : {&whole, &repeated}) {
            way::AddWrite(*way, bits, 0, 6'000'000 * (way == &whole ? periods : 4));
            way::Finish(*way);
        }
        EXPECT_EQ(way::Verdict(repeated), way::Verdict(whole)) << periods;
        EXPECT_EQ(repeated.cut, periods > static_cast<long long>(way::kMaxMarks) / 2) << periods;
        const std::vector<way::Point> got = way::Points(repeated), expected = way::Points(whole);
        ASSERT_EQ(got.size(), expected.size()) << periods;
        EXPECT_TRUE(got.back().x == expected.back().x && got.back().y == expected.back().y) << periods;
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

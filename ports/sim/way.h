#pragma once
// The way the carriages would take, decoded from the port's writes as an ideal
// stepper driver would: one step on each rising edge of an axis' step line, in
// the direction its direction line shows in that same write (high: to the
// right for X, forward for Y). The simulated port feeds it and, at its end,
// says the result and draws it.

#include <string>
#include <vector>

namespace way {

// The data-line bit of each signal, as the program's patterns use them; 0 for
// a pin off the data lines, whose signal never reaches the port.
struct SignalBits {
    unsigned xStep = 0, xDir = 0, yStep = 0, yDir = 0, zStep = 0, zDir = 0;
};

struct Point {
    long long x = 0;  // steps to the right of the start
    long long y = 0;  // steps forward of the start
};

struct Way {
    Point at;                        // where the carriages are now
    std::vector<Point> corners{{}};  // the start and every point where the way turns; `at` ends it
    int dx = 0, dy = 0;              // the direction of the last step
    long long steps = 0;             // writes that moved X, Y or both
    long long zSteps = 0;
    std::vector<Point> zAt;  // where Z stepped, each place once in a row, the first kMaxMarks
    unsigned level = 0;      // the data lines as last written
    bool cut = false;        // more turns than kMaxMarks: the picture shows the first of them
};

// How many turns and Z places a way keeps for its picture.
constexpr std::size_t kMaxMarks = 100000;

// Takes one write of the data register (its low eight bits reach the lines).
void AddWrite(Way& way, const SignalBits& bits, unsigned value);

// The way of a whole sequence of writes, from the start.
Way Decode(const SignalBits& bits, const std::vector<unsigned>& values);

// One line for the user, beginning "Weg:", e.g. "Weg: Rechteck 100 × 100
// Schritte (nach vorne × nach rechts), zurück am Start." The words "zurück am
// Start" appear exactly when the carriages moved and end where they began.
std::string Verdict(const Way& way);

// The way as an SVG picture in step units, scaled to fit: start and end
// marked, the directions named, the verdict as its title, the Z steps marked,
// and a caption saying what an ideal driver is assumed to do.
std::string Picture(const Way& way);

// The name of data line D<line> in a signal trace: "D0_X_Schritt",
// "D0_X_Schritt_Y_Schritt" for two signals, "D0_Pin2" for none.
std::string LineName(int line, const SignalBits& bits);

}  // namespace way

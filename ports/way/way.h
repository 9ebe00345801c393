#pragma once
// The way the carriages would take, decoded from the port's writes and their
// times as a stepper driver would: one step on each active edge of an axis'
// step line (rising or falling, as the driver's input is wired), in the
// direction its direction line shows in that same write (high: to the right
// for X, forward for Y). Each step is also judged against what the driver asks
// of the signal: a step line that did not stand long enough in either level is
// „zu kurz“, a direction line that changed too near the edge leaves the step's
// direction undefined. The simulated port feeds it and, at its end, says the
// result and draws it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "port_library.h"
#include "way/count.h"
#include "way/plan.h"

namespace way {

// The data-line bit of each signal, as SetSignalBits hands them over.
using SignalBits = port::SignalBits;

// What a driver asks of the signal, in ns: the step line at least pulseNs in
// its active level after the edge and spaceNs in the other before it; the
// direction line still for setupNs before the active edge and holdNs after it.
// The defaults are LinuxCNC's advice for a driver it does not know.
struct DriverTimes {
    long long pulseNs = 10'000, spaceNs = 10'000, setupNs = 200'000, holdNs = 200'000;
};

// "pulse,space,setup,hold" in microseconds, as PLOTTERTEST_DRIVER_US gives
// them: four numbers of at least 0, with a point for a fraction. Nothing when
// the text is not that.
std::optional<DriverTimes> ParseDriverTimes(const std::string& text);

// The figures of PLOTTERTEST_DRIVER_US in the environment, the program's and
// the simulated port's alike: the defaults where it is unset or empty, and
// where it is not four such numbers, with `problem` saying so and what is
// checked instead ("Der Wert „…“ von PLOTTERTEST_DRIVER_US nennt nicht vier
// Zeiten … geprüft wird für 10/10/200/200 µs."); `problem` is empty otherwise.
DriverTimes DriverTimesFromEnvironment(std::string& problem);

// "10/10/200/200 µs".
std::string DriverTimesText(const DriverTimes& driver);

enum class Edge : std::uint8_t { Rising, Falling };

struct Point {
    Count x = 0;  // steps to the right of the start
    Count y = 0;  // steps forward of the start
};

constexpr long long kNever = -1;  // a time that has not come

// How the X and Y lines were timed, whichever edge a driver takes.
struct Measured {
    long long highNs = kNever, lowNs = kNever;  // the shortest high and low phase of a step line
    long long dirGapNs = kNever;                // the least time between a direction change and its axis' step edge
};

// One axis' lines and the step whose judgement waits for what follows its edge.
struct AxisLines {
    long long stepChangeNs = kNever, dirChangeNs = kNever;
    bool pending = false;
    long long edgeNs = 0;
    Point at;                                     // where the pending step took the carriages
    bool tooShort = false, undefined = false;
    bool waitsForPulse = false, waitsForHold = false;
};

struct Way {
    Edge edge = Edge::Rising;
    DriverTimes driver;
    Point at;                        // where the carriages are now
    std::vector<Point> corners{{}};  // the start and every point where the way turns; `at` ends it
    int dx = 0, dy = 0;              // the direction of the last step
    Count steps = 0;                 // writes that moved X, Y or both
    Count turns = 0;                 // every turn, also those beyond kMaxMarks
    Point least, most;               // how far the way reached in each direction
    Count zSteps = 0;
    std::vector<Point> zAt;  // where Z stepped, each place once in a row, the first kMaxMarks
    unsigned level = 0;      // the data lines as last written
    bool cut = false;        // more turns than kMaxMarks: the picture shows the first of them
    // The check against the driver: steps it may not see, steps it may take
    // either way, and all steps with either (a step may have both).
    Count tooShort = 0, undefined = 0, unclean = 0;
    std::vector<Point> uncleanAt;  // where such steps took the carriages, the first kMaxMarks
    Measured measured;
    AxisLines x, y;
};

// How many turns, Z places and unclean steps a way keeps for its picture.
constexpr std::size_t kMaxMarks = 100000;

// Takes one write of the data register (its low eight bits reach the lines) at ns.
void AddWrite(Way& way, const SignalBits& bits, unsigned value, long long ns);

// Judges the steps still waiting for what follows their edge: nothing did.
void Finish(Way& way);

// Goes on as if what took the way from `earlier` (a copy of it, taken before
// some writes) to where it is now came `times` more times at once: a pulse
// written again and again at the same spacing moves the carriages and counts
// the same each time, so a long drive is decoded from its first few pulses. The
// times at which each line last changed stay as they were at the end of the
// stretch: the decoder reads a write's time only against those, so the next
// write takes the time it would have after that stretch, as if nothing had
// been left out.
// The marks along the stretch left out are spread over it evenly; its turns
// are those of the stretch repeated, shifted along, and are kept as AddWrite
// keeps them: the way is cut only beyond kMaxMarks of them.
void Repeat(Way& way, const Way& earlier, long long times);

struct TimedWrite {
    unsigned value;
    long long ns;
};

// The way of a whole sequence of writes, from the start, finished.
Way Decode(const SignalBits& bits, const std::vector<TimedWrite>& writes, Edge edge, const DriverTimes& driver = {});

// The start, every turn and where the way ends, to be joined by straight
// lines. A cut way ends at its last kept corner: a line from there to the end
// would be a way never taken.
std::vector<Point> Points(const Way& way);

// One line for the user, beginning "Weg:", e.g. "Weg: Rechteck 100 × 100
// Schritte (nach vorne × nach rechts), zurück am Start." The words "zurück am
// Start" appear exactly when the carriages moved and end where they began.
std::string Verdict(const Way& way);

// What the port says at the end, from the ways of both edges: the Weg line as
// Verdict says it when every step is clean for both, else with the words that
// it holds for an ideal driver only (and the falling edge's way where it ends
// elsewhere); then a line "Signal: …" with the measured times and the driver's,
// and how many steps are „zu kurz“ or „Richtung unbestimmt“.
std::vector<std::string> Summary(const Way& rising, const Way& falling);

// The picture of a way, planned (plan.h): the way and the places `also`
// scaled into the unit square, the larger extent filling it and both centred;
// an arrow on each of the first kPlannedArrows stretches that is long enough;
// an even sample of at most kPlannedMarks Z steps and unclean steps; start and
// end. A way without extent is a point in the middle.
// The places `named` with their names, the first kPlannedNames, lie in the
// same scale.
struct NamedPoint {
    Point at;
    std::string name;
};
PicturePlan PlanPicture(const Way& way, const std::vector<Point>& also = {}, const std::vector<NamedPoint>& named = {});

// The rising edge's way as an SVG picture, its plan drawn: start and end
// marked, the directions named, the summary's first line as its title, the Z
// steps and the steps that are not clean marked, and a caption saying what the
// driver is assumed to do and ask; the places `named` marked with their names.
std::string Picture(const Way& rising, const Way& falling, const std::vector<NamedPoint>& named = {});

// The name of data line D<line> in a signal trace: "D0_X_Schritt",
// "D0_X_Schritt_Y_Schritt" for two signals, "D0_Pin2" for none.
std::string LineName(int line, const SignalBits& bits);

}  // namespace way

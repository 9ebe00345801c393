#include "way/way.h"

#include "text/wording.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace way {

namespace {

// A signal's bit as the data register shows it.
unsigned Line(short bit) { return static_cast<unsigned>(bit) & 0xFFu; }

int Direction(unsigned level, unsigned dirBit) { return dirBit != 0 && (level & dirBit) != 0 ? 1 : -1; }

// "1 Schritt", "37 Schritte", for a count of any size.
std::string Steps(const Count& count) { return ToText(count) + (count == 1 ? " Schritt" : " Schritte"); }

void AtLeast(long long& least, long long value) {
    if (least == kNever || value < least) least = value;
}

// A step whose judgement is complete counts, when it is not clean.
void Judge(Way& way, AxisLines& axis) {
    axis.pending = false;
    if (!axis.tooShort && !axis.undefined) return;
    ++way.unclean;
    way.tooShort += axis.tooShort ? 1 : 0;
    way.undefined += axis.undefined ? 1 : 0;
    if (way.uncleanAt.size() < kMaxMarks) way.uncleanAt.push_back(axis.at);
}

// What a write after the edge tells of the axis' pending step: its pulse ends
// when the step line changes, its hold when the direction changes too early or
// the hold time has passed.
void Follow(Way& way, AxisLines& axis, bool stepChanged, bool dirChanged, long long ns) {
    if (!axis.pending) return;
    if (axis.waitsForHold && ns - axis.edgeNs >= way.driver.holdNs) {
        axis.waitsForHold = false;
    } else if (axis.waitsForHold && dirChanged) {
        axis.undefined = true;
        axis.waitsForHold = false;
    }
    if (axis.waitsForPulse && stepChanged) {
        axis.tooShort = axis.tooShort || ns - axis.edgeNs < way.driver.pulseNs;
        axis.waitsForPulse = false;
    }
    if (!axis.waitsForHold && !axis.waitsForPulse) Judge(way, axis);
}

void Measure(Measured& measured, const AxisLines& axis, bool stepChanged, bool stepWasHigh, bool dirChanged,
             long long ns) {
    if (stepChanged && axis.stepChangeNs != kNever) AtLeast(stepWasHigh ? measured.highNs : measured.lowNs, ns - axis.stepChangeNs);
    if (stepChanged && dirChanged) AtLeast(measured.dirGapNs, 0);
    if (stepChanged && axis.dirChangeNs != kNever) AtLeast(measured.dirGapNs, ns - axis.dirChangeNs);
    if (dirChanged && axis.stepChangeNs != kNever) AtLeast(measured.dirGapNs, ns - axis.stepChangeNs);
}

// "0,20 ms", or below 0.1 ms "1,2 µs".
std::string Duration(long long ns) {
    return ns >= 100'000 ? wording::Decimal(static_cast<double>(ns) / 1e6, 2) + " ms"
                         : wording::Decimal(static_cast<double>(ns) / 1e3, 1) + " µs";
}

const char* Heading(const Count& dx, const Count& dy) {
    if (dx == 0) return dy > 0 ? "nach vorne" : "nach hinten";
    if (dy == 0) return dx > 0 ? "nach rechts" : "nach links";
    return nullptr;
}

// "Rechteck 100 × 100 Schritte (nach vorne × nach rechts)", or nothing when the
// closed way is not one: four straight sides, turning from one axis to the other.
std::string Rectangle(const std::vector<Point>& points) {
    if (points.size() != 5) return {};
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (Heading(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y) == nullptr) return {};
        if (i > 1 && (points[i].x == points[i - 1].x) == (points[i - 1].x == points[i - 2].x)) return {};
    }
    const auto length = [](const Point& a, const Point& b) { return Abs(b.x - a.x) + Abs(b.y - a.y); };
    return "Rechteck " + ToText(length(points[0], points[1])) + " × " + ToText(length(points[1], points[2])) +
           " Schritte (" +
           Heading(points[1].x - points[0].x, points[1].y - points[0].y) + " × " +
           Heading(points[2].x - points[1].x, points[2].y - points[1].y) + ")";
}

// Where the way ends, from the start: "60 Schritte links vom Start".
std::string EndsAt(const Point& at) {
    std::string across = Steps(Abs(at.x)) + (at.x > 0 ? " rechts vom Start" : " links vom Start");
    const std::string along = Steps(Abs(at.y));
    if (at.y == 0) return across;
    if (at.x == 0) return along + (at.y > 0 ? " vor dem Start" : " hinter dem Start");
    return across + " und " + along + (at.y > 0 ? " weiter vorne" : " weiter hinten");
}

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '&') escaped += "&amp;";
        else if (c == '<') escaped += "&lt;";
        else if (c == '>') escaped += "&gt;";
        else escaped += c;
    }
    return escaped;
}

// Lines of at most `width` bytes, broken at blanks, for a picture that has no text flow.
std::vector<std::string> Wrapped(const std::string& text, std::size_t width) {
    std::vector<std::string> lines(1);
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find(' ', from);
        if (to == std::string::npos) to = text.size();
        const std::string word = text.substr(from, to - from);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) lines.emplace_back();
        lines.back() += (lines.back().empty() ? "" : " ") + word;
        from = to + 1;
    }
    return lines;
}

std::string Text(double x, double y, const std::string& text, const char* attributes = "") {
    char at[64];
    std::snprintf(at, sizeof at, "<text x=\"%.1f\" y=\"%.1f\"", x, y);
    return at + std::string(" ") + attributes + ">" + Escaped(text) + "</text>\n";
}

}  // namespace

void AddWrite(Way& way, const SignalBits& bits, unsigned value, long long ns) {
    const unsigned level = value & 0xFFu;
    const unsigned changed = level ^ way.level;
    const unsigned active = way.edge == Edge::Rising ? level & ~way.level : way.level & ~level;
    const unsigned before = way.level;
    way.level = level;
    const struct {
        AxisLines& lines;
        unsigned step, dir;
    } axes[] = {{way.x, Line(bits.xStep), Line(bits.xDir)}, {way.y, Line(bits.yStep), Line(bits.yDir)}};
    for (const auto& axis : axes) {
        const bool stepChanged = (changed & axis.step) != 0, dirChanged = (changed & axis.dir) != 0;
        Follow(way, axis.lines, stepChanged, dirChanged, ns);
        Measure(way.measured, axis.lines, stepChanged, (before & axis.step) != 0, dirChanged, ns);
    }
    const int dx = (active & Line(bits.xStep)) != 0 ? Direction(level, Line(bits.xDir)) : 0;
    const int dy = (active & Line(bits.yStep)) != 0 ? Direction(level, Line(bits.yDir)) : 0;
    if (dx != 0 || dy != 0) {
        if (way.steps > 0 && (dx != way.dx || dy != way.dy)) {
            ++way.turns;
            if (way.corners.size() < kMaxMarks) way.corners.push_back(way.at);
            else way.cut = true;
        }
        way.dx = dx;
        way.dy = dy;
        way.at.x += dx;
        way.at.y += dy;
        way.least = {std::min(way.least.x, way.at.x), std::min(way.least.y, way.at.y)};
        way.most = {std::max(way.most.x, way.at.x), std::max(way.most.y, way.at.y)};
        ++way.steps;
    }
    for (const auto& axis : axes) {
        AxisLines& lines = axis.lines;
        if ((active & axis.step) != 0) {
            if (lines.pending) Judge(way, lines);  // a new step before the last one's hold ended
            const bool dirChanged = (changed & axis.dir) != 0;
            lines.pending = true;
            lines.edgeNs = ns;
            lines.at = way.at;
            lines.tooShort = lines.stepChangeNs != kNever && ns - lines.stepChangeNs < way.driver.spaceNs;
            lines.undefined = dirChanged || (lines.dirChangeNs != kNever && ns - lines.dirChangeNs < way.driver.setupNs);
            lines.waitsForPulse = true;
            lines.waitsForHold = !lines.undefined;
        }
        if ((changed & axis.step) != 0) lines.stepChangeNs = ns;
        if ((changed & axis.dir) != 0) lines.dirChangeNs = ns;
    }
    if ((active & Line(bits.zStep)) != 0) {
        ++way.zSteps;
        const bool moved = way.zAt.empty() || way.zAt.back().x != way.at.x || way.zAt.back().y != way.at.y;
        if (moved && way.zAt.size() < kMaxMarks) way.zAt.push_back(way.at);
    }
}

void Finish(Way& way) {
    for (AxisLines* axis : {&way.x, &way.y})
        if (axis->pending) Judge(way, *axis);
}

void Repeat(Way& way, const Way& earlier, long long times) {
    if (times <= 0) return;
    const Point from = way.at;
    const Point step{way.at.x - earlier.at.x, way.at.y - earlier.at.y};
    const auto shifted = [&](const Point& p, long long by) { return Point{p.x + Times(step.x, by), p.y + Times(step.y, by)}; };
    // The marks of the stretch left out, at most this many of each kind, spread
    // evenly: a picture cannot show more, and memory stays flat.
    constexpr long long kSpread = 200;
    const auto spread = [&](std::vector<Point>& marks, bool grew) {
        const long long count = std::min(kSpread, times);
        for (long long i = 1; grew && i <= count && marks.size() < kMaxMarks; ++i)
            marks.push_back(shifted(from, times / count * i + times % count * i / count));
    };
    spread(way.zAt, way.zSteps != earlier.zSteps);
    spread(way.uncleanAt, way.unclean != earlier.unclean);
    // The turns left out are those of the stretch before them, shifted along
    // it: their corners are kept while there is room, as AddWrite keeps them,
    // and only a way of more turns than that is cut.
    if (way.turns != earlier.turns) {
        const std::vector<Point> once(way.corners.begin() + static_cast<std::ptrdiff_t>(earlier.corners.size()),
                                      way.corners.end());
        if (way.turns - earlier.turns != Count(static_cast<long long>(once.size()))) way.cut = true;  // lost already
        for (long long k = 1; k <= times && !way.cut; ++k) {
            for (const Point& corner : once) {
                if (way.corners.size() >= kMaxMarks) {
                    way.cut = true;
                    break;
                }
                way.corners.push_back(shifted(corner, k));
            }
        }
    }
    for (const auto& [count, before] : {std::pair<Count*, Count>{&way.steps, earlier.steps}, {&way.turns, earlier.turns},
                                        {&way.zSteps, earlier.zSteps}, {&way.tooShort, earlier.tooShort},
                                        {&way.undefined, earlier.undefined}, {&way.unclean, earlier.unclean}})
        *count += Times(*count - before, times);
    way.at = shifted(from, times);
    way.x.at = shifted(way.x.at, times);
    way.y.at = shifted(way.y.at, times);
    // The stretch is straight: it reaches furthest at one of its ends.
    way.least = {std::min(way.least.x, way.at.x), std::min(way.least.y, way.at.y)};
    way.most = {std::max(way.most.x, way.at.x), std::max(way.most.y, way.at.y)};
}

Way Decode(const SignalBits& bits, const std::vector<TimedWrite>& writes, Edge edge, const DriverTimes& driver) {
    Way way;
    way.edge = edge;
    way.driver = driver;
    for (const TimedWrite& write : writes) AddWrite(way, bits, write.value, write.ns);
    Finish(way);
    return way;
}

std::optional<DriverTimes> ParseDriverTimes(const std::string& text) {
    long long times[4];
    std::size_t from = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t to = i < 3 ? text.find(',', from) : text.size();
        if (to == std::string::npos) return std::nullopt;
        const std::string number = text.substr(from, to - from);
        // Digits with at most one point, and at most ten digits before it: no sign, no exponent, no blank.
        const std::size_t point = number.find('.');
        const bool digits = !number.empty() && number != "." &&
                            number.find_first_not_of("0123456789.") == std::string::npos &&
                            number.find('.', point == std::string::npos ? 0 : point + 1) == std::string::npos &&
                            (point == std::string::npos ? number.size() : point) <= 10;
        if (!digits) return std::nullopt;
        times[i] = std::llround(std::strtod(number.c_str(), nullptr) * 1000.0);
        from = to + 1;
    }
    return DriverTimes{times[0], times[1], times[2], times[3]};
}

DriverTimes DriverTimesFromEnvironment(std::string& problem) {
    problem.clear();
    const char* text = std::getenv("PLOTTERTEST_DRIVER_US");
    if (text == nullptr || *text == '\0') return {};
    if (const std::optional<DriverTimes> parsed = ParseDriverTimes(text)) return *parsed;
    problem = "Der Wert „" + std::string(text) +
              "“ von PLOTTERTEST_DRIVER_US nennt nicht vier Zeiten in µs, durch Kommas getrennt: Impuls, Pause, "
              "Vorhalt, Nachhalt (etwa 10,10,200,200; Bruchteile mit Punkt, etwa 2.5); geprüft wird für " +
              DriverTimesText({}) + ".";
    return {};
}

std::vector<Point> Points(const Way& way) {
    std::vector<Point> points = way.corners;
    if (way.steps > 0 && !way.cut) points.push_back(way.at);
    return points;
}

std::string DriverTimesText(const DriverTimes& driver) {
    std::string text;
    for (const long long ns : {driver.pulseNs, driver.spaceNs, driver.setupNs, driver.holdNs})
        text += (text.empty() ? "" : "/") + wording::Decimal(static_cast<double>(ns) / 1000.0, 3, true);
    return text + " µs";
}

std::string Verdict(const Way& way) {
    std::string verdict = "Weg: ";
    const std::vector<Point> points = Points(way);
    if (way.steps == 0) {
        verdict += "kein Schritt in X oder Y; die Schlitten blieben stehen.";
    } else if (way.at.x != 0 || way.at.y != 0) {
        verdict += "endet " + EndsAt(way.at) + "; das Rechteck schließt sich nicht.";
    } else if (const std::string rectangle = way.cut ? "" : Rectangle(points); !rectangle.empty()) {
        verdict += rectangle + ", zurück am Start.";
    } else {
        const Count width = std::max(-way.least.x, way.most.x), depth = std::max(-way.least.y, way.most.y);
        verdict += "kein Rechteck, sondern " + ToText(way.turns + 1) + " Teilstrecken über bis zu " +
                   Steps(depth) + " vorne–hinten und " + Steps(width) + " links–rechts; zurück am Start.";
    }
    if (way.zSteps > 0) verdict += " Z-Achse: " + Steps(way.zSteps) + ", der Stift würde sich bewegen.";
    if (way.cut)
        verdict += " Mehr als " + std::to_string(kMaxMarks) + " Richtungswechsel: das Bild zeigt nur die ersten " +
                   std::to_string(kMaxMarks) + ".";
    return verdict;
}

namespace {

// "bei steigender Flanke 200 von 400 Schritten: 200 „Richtung unbestimmt“, 400 „zu kurz“".
std::string Unclean(const Way& way) {
    std::string text = way.edge == Edge::Rising ? "bei steigender Flanke " : "bei fallender Flanke ";
    if (way.unclean == 0) return text + (way.steps == 0 ? "kein Schritt" : "jeder Schritt sauber");
    text += ToText(way.unclean) + " von " + ToText(way.steps) +
            (way.steps == 1 ? " Schritt: " : " Schritten: ");
    if (way.undefined > 0) text += ToText(way.undefined) + " „Richtung unbestimmt“";
    if (way.undefined > 0 && way.tooShort > 0) text += ", ";
    if (way.tooShort > 0) text += ToText(way.tooShort) + " „zu kurz“";
    return text;
}

// Every `stride`-th of the marks, so that at most `most` of them are drawn, spread over the whole way.
std::size_t Stride(std::size_t marks, std::size_t most) { return marks <= most ? 1 : (marks + most - 1) / most; }

std::string Circle(double x, double y, double r, const char* paint) {
    char circle[160];
    std::snprintf(circle, sizeof circle, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.0f\" %s/>\n", x, y, r, paint);
    return circle;
}

}  // namespace

std::vector<std::string> Summary(const Way& rising, const Way& falling) {
    const std::string driver =
        "einen Treiber, der " + DriverTimesText(rising.driver) + " verlangt (Impuls/Pause/Richtung fest vor/nach der Flanke)";
    const Measured& m = rising.measured;
    const auto least = [](long long ns) { return ns == kNever ? std::string("–") : Duration(ns); };
    const std::string measured =
        "Schrittleitung mindestens " + least(m.highNs) + " high und " + least(m.lowNs) + " low, Richtung " +
        (m.dirGapNs == kNever ? std::string("ohne Wechsel an einer Flanke")
                              : "mindestens " + Duration(m.dirGapNs) + " vor und nach jeder Flanke fest");
    if (rising.unclean == 0 && falling.unclean == 0) return {Verdict(rising), "Signal: " + measured + "; genug für " + driver + "."};
    // "Weg: " has five bytes; the rest is said for an ideal driver only.
    const std::string up = Verdict(rising).substr(5), down = Verdict(falling).substr(5);
    std::vector<std::string> lines;
    if (up == down) {
        lines.push_back("Weg bei einem idealen Treiber: " + up);
    } else {
        lines.push_back("Weg bei einem idealen Treiber (steigende Flanke): " + up);
        lines.push_back("Weg bei einem idealen Treiber (fallende Flanke): " + down);
    }
    lines.push_back("Signal: nicht sauber für " + driver + "; " + Unclean(rising) + "; " + Unclean(falling) +
                    ". Gemessen: " + measured +
                    ". Der Weg zählt diese Schritte, wie ein idealer Treiber sie nähme; ein echter kann einen Schritt "
                    "„zu kurz“ verlieren und einen mit „Richtung unbestimmt“ in die andere Richtung fahren.");
    return lines;
}

PicturePlan PlanPicture(const Way& way, const std::vector<Point>& also, const std::vector<NamedPoint>& named) {
    // Every mark lies on the way, which stays within least and most.
    Point least = way.least, most = way.most;
    const std::size_t names = std::min(named.size(), kPlannedNames);
    std::vector<Point> places = also;
    for (std::size_t i = 0; i < names; ++i) places.push_back(named[i].at);
    for (const Point& p : places) {
        least = {std::min(least.x, p.x), std::min(least.y, p.y)};
        most = {std::max(most.x, p.x), std::max(most.y, p.y)};
    }
    const double width = ToDouble(most.x - least.x), depth = ToDouble(most.y - least.y);
    PicturePlan plan;
    plan.unitsPerStep = 1 / std::max({width, depth, 1.0});
    const double left = (1 - width * plan.unitsPerStep) / 2, top = (1 - depth * plan.unitsPerStep) / 2;
    const auto spot = [&](const Point& p) {
        return PictureSpot{left + ToDouble(p.x - least.x) * plan.unitsPerStep,
                           top + ToDouble(p.y - least.y) * plan.unitsPerStep};
    };
    for (const Point& p : Points(way)) plan.path.push_back(spot(p));
    for (std::size_t i = 1; i < plan.path.size() && i <= kPlannedArrows; ++i) {
        const PictureSpot& from = plan.path[i - 1];
        const PictureSpot& to = plan.path[i];
        const double length = std::hypot(to.x - from.x, to.y - from.y);
        if (length < kShortestArrowedStretch) continue;
        plan.arrows.push_back({{(from.x + to.x) / 2, (from.y + to.y) / 2}, (to.x - from.x) / length, (to.y - from.y) / length});
    }
    plan.zStride = Stride(way.zAt.size(), kPlannedMarks);
    plan.uncleanStride = Stride(way.uncleanAt.size(), kPlannedMarks);
    for (std::size_t i = 0; i < way.zAt.size(); i += plan.zStride) plan.zSteps.push_back(spot(way.zAt[i]));
    for (std::size_t i = 0; i < way.uncleanAt.size(); i += plan.uncleanStride) plan.unclean.push_back(spot(way.uncleanAt[i]));
    plan.start = spot(Point{});
    plan.end = spot(way.at);
    plan.closes = way.at.x == 0 && way.at.y == 0;
    for (const Point& p : also) plan.also.push_back(spot(p));
    for (std::size_t i = 0; i < names; ++i) plan.named.push_back({spot(named[i].at), named[i].name});
    return plan;
}

std::string Picture(const Way& rising, const Way& falling, const std::vector<NamedPoint>& named) {
    const Way& way = rising;
    const PicturePlan plan = PlanPicture(way, {}, named);
    constexpr double kLeft = 170, kTop = 110, kSize = 520, kWidth = 780;
    struct Pixel {
        double x, y;
    };
    const auto pixel = [&](const PictureSpot& p) { return Pixel{kLeft + p.x * kSize, kTop + p.y * kSize}; };

    const std::string verdict = Summary(rising, falling).front();
    const std::vector<std::string> title = Wrapped(verdict, 95);
    char scaleText[32];
    std::snprintf(scaleText, sizeof scaleText, "%.3g", plan.unitsPerStep * kSize);
    const std::vector<std::string> caption = Wrapped(
        "So führe ein Schrittmotortreiber, der auf die steigende Flanke schaltet: ein Schritt je steigender Flanke "
        "der Schrittleitung, in die Richtung, die die Richtungsleitung im selben Schreibzugriff zeigt (1 = nach "
        "rechts bzw. nach vorne). Geprüft für " + DriverTimesText(way.driver) +
        " (Impuls, Pause, Richtung fest vor und nach der Flanke): rot umrandet, wo ein Schritt „zu kurz“ war, den "
        "der Treiber verlieren kann, oder „Richtung unbestimmt“, den er in die eine oder andere Richtung nehmen "
        "kann (" + Unclean(rising) + "; " + Unclean(falling) + "). Maßstab: 1 Schritt = " + std::string(scaleText) +
        " Pixel.",
        110);
    const double height = kTop + kSize + 50 + 16.0 * static_cast<double>(caption.size());

    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    char header[256];
    std::snprintf(header, sizeof header,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                  "font-family=\"sans-serif\" font-size=\"13\">\n",
                  kWidth, height, kWidth, height);
    svg += header;
    svg += "<title>" + Escaped(verdict) + "</title>\n";
    svg += "<defs><marker id=\"pfeil\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" markerWidth=\"7\" "
           "markerHeight=\"7\" orient=\"auto\"><path d=\"M0,0 L10,5 L0,10 z\" fill=\"#444\"/></marker></defs>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    for (std::size_t i = 0; i < title.size(); ++i)
        svg += Text(20, 30 + 20.0 * static_cast<double>(i), title[i], "font-size=\"15\" font-weight=\"bold\"");
    // The directions as the user stands at the machine.
    svg += "<line x1=\"30\" y1=\"120\" x2=\"100\" y2=\"120\" stroke=\"#444\" stroke-width=\"2\" "
           "marker-end=\"url(#pfeil)\"/>\n"
           "<line x1=\"30\" y1=\"120\" x2=\"30\" y2=\"190\" stroke=\"#444\" stroke-width=\"2\" "
           "marker-end=\"url(#pfeil)\"/>\n";
    svg += Text(40, 112, "nach rechts (X)") + Text(38, 205, "nach vorne (Y)");
    if (plan.path.size() > 1) {
        svg += "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2.5\" stroke-linejoin=\"round\" points=\"";
        for (const PictureSpot& p : plan.path) {
            char xy[48];
            std::snprintf(xy, sizeof xy, "%.1f,%.1f ", pixel(p).x, pixel(p).y);
            svg += xy;
        }
        svg += "\"/>\n";
    }
    for (const PicturePlan::Arrow& arrow : plan.arrows) {
        const Pixel at = pixel(arrow.at);
        char line[192];
        std::snprintf(line, sizeof line,
                      "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#1f5fbf\" "
                      "stroke-width=\"2.5\" marker-end=\"url(#pfeil)\"/>\n",
                      at.x - arrow.dx * 6, at.y - arrow.dy * 6, at.x + arrow.dx * 6, at.y + arrow.dy * 6);
        svg += line;
    }
    for (const PictureSpot& z : plan.zSteps) svg += Circle(pixel(z).x, pixel(z).y, 4, "fill=\"#e67e22\"");
    for (const PictureSpot& u : plan.unclean)
        svg += Circle(pixel(u).x, pixel(u).y, 7, "fill=\"none\" stroke=\"#d11\" stroke-width=\"2\"");
    char marks[256];
    std::snprintf(marks, sizeof marks,
                  "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"8\" fill=\"#2a9d3a\"/>\n"
                  "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"6\" fill=\"none\" stroke=\"#c0392b\" stroke-width=\"3\"/>\n",
                  pixel(plan.start).x, pixel(plan.start).y, pixel(plan.end).x, pixel(plan.end).y);
    svg += marks;
    svg += Text(pixel(plan.start).x - 12, pixel(plan.start).y - 12, "Start", "text-anchor=\"end\" fill=\"#2a9d3a\"");
    svg += Text(pixel(plan.end).x + 12, pixel(plan.end).y + 20, "Ende", "fill=\"#c0392b\"");
    for (const PicturePlan::Named& place : plan.named) {
        const Pixel at = pixel(place.at);
        char diamond[160];
        std::snprintf(diamond, sizeof diamond,
                      "<path d=\"M%.1f,%.1f l6,6 l-6,6 l-6,-6 z\" fill=\"#8e44ad\" stroke=\"white\"/>\n", at.x, at.y - 6);
        svg += diamond;
        svg += Text(at.x + 10, at.y - 8, place.name, "fill=\"#8e44ad\"");
    }
    double below = kTop + kSize + 40;
    if (way.zSteps > 0) {
        svg += "<circle cx=\"26\" cy=\"" + std::to_string(static_cast<int>(below) - 4) + "\" r=\"4\" fill=\"#e67e22\"/>\n";
        svg += Text(36, below, "Z-Schritt: der Stift würde sich hier bewegen (" + Steps(way.zSteps) + " insgesamt" +
                                   (plan.zStride > 1 ? "; gezeigt ist jeder " + std::to_string(plan.zStride) + ". Ort)" : ")"));
        below += 20;
    }
    if (way.cut) svg += Text(20, below, "Das Bild zeigt nur die ersten " + std::to_string(kMaxMarks) + " Richtungswechsel.");
    for (std::size_t i = 0; i < caption.size(); ++i)
        svg += Text(20, height - 16.0 * static_cast<double>(caption.size() - i) + 4, caption[i],
                    "font-size=\"12\" fill=\"#555\"");
    return svg + "</svg>\n";
}

std::string LineName(int line, const SignalBits& bits) {
    const unsigned bit = 1u << line;
    const struct {
        unsigned bits;
        const char* name;
    } signals[] = {{Line(bits.xStep), "X_Schritt"}, {Line(bits.xDir), "X_Richtung"}, {Line(bits.yStep), "Y_Schritt"},
                   {Line(bits.yDir), "Y_Richtung"}, {Line(bits.zStep), "Z_Schritt"}, {Line(bits.zDir), "Z_Richtung"}};
    std::string name = "D" + std::to_string(line);
    for (const auto& signal : signals)
        if (signal.bits == bit) name += std::string("_") + signal.name;
    return name.size() > 2 ? name : name + "_Pin" + std::to_string(line + 2);
}

}  // namespace way

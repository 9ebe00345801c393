#include "way.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace way {

namespace {

int Direction(unsigned level, unsigned dirBit) { return dirBit != 0 && (level & dirBit) != 0 ? 1 : -1; }

std::string Steps(long long count) { return std::to_string(count) + (count == 1 ? " Schritt" : " Schritte"); }

// The points of the way: its corners and where it ends.
std::vector<Point> Points(const Way& way) {
    std::vector<Point> points = way.corners;
    if (way.steps > 0) points.push_back(way.at);
    return points;
}

const char* Heading(long long dx, long long dy) {
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
    const auto length = [](Point a, Point b) { return std::llabs(b.x - a.x) + std::llabs(b.y - a.y); };
    return "Rechteck " + std::to_string(length(points[0], points[1])) + " × " +
           std::to_string(length(points[1], points[2])) + " Schritte (" +
           Heading(points[1].x - points[0].x, points[1].y - points[0].y) + " × " +
           Heading(points[2].x - points[1].x, points[2].y - points[1].y) + ")";
}

// Where the way ends, from the start: "60 Schritte links vom Start".
std::string EndsAt(Point at) {
    std::string across = Steps(std::llabs(at.x)) + (at.x > 0 ? " rechts vom Start" : " links vom Start");
    const std::string along = Steps(std::llabs(at.y));
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

void AddWrite(Way& way, const SignalBits& bits, unsigned value) {
    const unsigned level = value & 0xFFu;
    const unsigned rising = level & ~way.level;
    way.level = level;
    const int dx = bits.xStep != 0 && (rising & bits.xStep) != 0 ? Direction(level, bits.xDir) : 0;
    const int dy = bits.yStep != 0 && (rising & bits.yStep) != 0 ? Direction(level, bits.yDir) : 0;
    if (dx != 0 || dy != 0) {
        if (way.steps > 0 && (dx != way.dx || dy != way.dy)) {
            if (way.corners.size() < kMaxMarks) way.corners.push_back(way.at);
            else way.cut = true;
        }
        way.dx = dx;
        way.dy = dy;
        way.at.x += dx;
        way.at.y += dy;
        ++way.steps;
    }
    if (bits.zStep != 0 && (rising & bits.zStep) != 0) {
        ++way.zSteps;
        const bool moved = way.zAt.empty() || way.zAt.back().x != way.at.x || way.zAt.back().y != way.at.y;
        if (moved && way.zAt.size() < kMaxMarks) way.zAt.push_back(way.at);
    }
}

Way Decode(const SignalBits& bits, const std::vector<unsigned>& values) {
    Way way;
    for (const unsigned value : values) AddWrite(way, bits, value);
    return way;
}

std::string Verdict(const Way& way) {
    std::string verdict = "Weg: ";
    const std::vector<Point> points = Points(way);
    if (way.steps == 0) {
        verdict += "kein Schritt in X oder Y; die Schlitten blieben stehen.";
    } else if (way.at.x != 0 || way.at.y != 0) {
        verdict += "endet " + EndsAt(way.at) + "; das Rechteck schließt sich nicht.";
    } else if (const std::string rectangle = Rectangle(points); !rectangle.empty()) {
        verdict += rectangle + ", zurück am Start.";
    } else {
        long long width = 0, depth = 0;
        for (const Point& p : points) {
            width = std::max(width, std::llabs(p.x));
            depth = std::max(depth, std::llabs(p.y));
        }
        verdict += "kein Rechteck, sondern " + std::to_string(points.size() - 1) + " Teilstrecken über bis zu " +
                   Steps(depth) + " vorne–hinten und " + Steps(width) + " links–rechts; zurück am Start.";
    }
    if (way.zSteps > 0) verdict += " Z-Achse: " + Steps(way.zSteps) + ", der Stift würde sich bewegen.";
    return verdict;
}

std::string Picture(const Way& way) {
    // Step units, x to the right and y forward: forward is toward the user,
    // which a picture seen from above shows downward.
    const std::vector<Point> points = Points(way);
    long long minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const std::vector<Point>* list : {&points, &way.zAt})
        for (const Point& p : *list) {
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
    constexpr double kLeft = 170, kTop = 110, kSize = 520, kWidth = 780;
    const double scale = kSize / static_cast<double>(std::max<long long>({maxX - minX, maxY - minY, 1}));
    // An axis without extent is centred.
    const double offsetX = maxX == minX ? kSize / 2 : 0, offsetY = maxY == minY ? kSize / 2 : 0;
    struct Pixel {
        double x, y;
    };
    const auto pixel = [&](const Point& p) {
        return Pixel{kLeft + offsetX + static_cast<double>(p.x - minX) * scale,
                     kTop + offsetY + static_cast<double>(p.y - minY) * scale};
    };

    const std::string verdict = Verdict(way);
    const std::vector<std::string> title = Wrapped(verdict, 95);
    char scaleText[32];
    std::snprintf(scaleText, sizeof scaleText, "%.3g", scale);
    const std::vector<std::string> caption = Wrapped(
        "So führe ein idealer Schrittmotortreiber: ein Schritt je steigender Flanke der Schrittleitung, in die "
        "Richtung, die die Richtungsleitung im selben Schreibzugriff zeigt (1 = nach rechts bzw. nach vorne). "
        "Schritte, die ein echter Treiber verliert (zu kurze Impulse, Richtung zu spät), zeigt das Bild nicht. "
        "Maßstab: 1 Schritt = " + std::string(scaleText) + " Pixel.",
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
    if (points.size() > 1) {
        svg += "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2.5\" stroke-linejoin=\"round\" points=\"";
        for (const Point& p : points) {
            char xy[48];
            std::snprintf(xy, sizeof xy, "%.1f,%.1f ", pixel(p).x, pixel(p).y);
            svg += xy;
        }
        svg += "\"/>\n";
        // Which way each stretch runs: an arrow at its middle, for the first few dozen.
        for (std::size_t i = 1; i < points.size() && i <= 50; ++i) {
            const Pixel from = pixel(points[i - 1]), to = pixel(points[i]);
            char arrow[192];
            std::snprintf(arrow, sizeof arrow,
                          "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#1f5fbf\" "
                          "stroke-width=\"2.5\" marker-end=\"url(#pfeil)\"/>\n",
                          from.x + (to.x - from.x) * 0.45, from.y + (to.y - from.y) * 0.45,
                          from.x + (to.x - from.x) * 0.55, from.y + (to.y - from.y) * 0.55);
            svg += arrow;
        }
    }
    // At most a few thousand marks: more would only make the file slow to open.
    for (std::size_t i = 0; i < way.zAt.size() && i < 2000; ++i) {
        char mark[96];
        std::snprintf(mark, sizeof mark, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"4\" fill=\"#e67e22\"/>\n",
                      pixel(way.zAt[i]).x, pixel(way.zAt[i]).y);
        svg += mark;
    }
    char marks[256];
    std::snprintf(marks, sizeof marks,
                  "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"8\" fill=\"#2a9d3a\"/>\n"
                  "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"6\" fill=\"none\" stroke=\"#c0392b\" stroke-width=\"3\"/>\n",
                  pixel(Point{}).x, pixel(Point{}).y, pixel(way.at).x, pixel(way.at).y);
    svg += marks;
    svg += Text(pixel(Point{}).x - 12, pixel(Point{}).y - 12, "Start", "text-anchor=\"end\" fill=\"#2a9d3a\"");
    svg += Text(pixel(way.at).x + 12, pixel(way.at).y + 20, "Ende", "fill=\"#c0392b\"");
    double below = kTop + kSize + 40;
    if (way.zSteps > 0) {
        svg += "<circle cx=\"26\" cy=\"" + std::to_string(static_cast<int>(below) - 4) + "\" r=\"4\" fill=\"#e67e22\"/>\n";
        svg += Text(36, below, "Z-Schritt: der Stift würde sich hier bewegen (" + Steps(way.zSteps) + " in allem)");
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
    } signals[] = {{bits.xStep, "X_Schritt"}, {bits.xDir, "X_Richtung"}, {bits.yStep, "Y_Schritt"},
                   {bits.yDir, "Y_Richtung"}, {bits.zStep, "Z_Schritt"}, {bits.zDir, "Z_Richtung"}};
    std::string name = "D" + std::to_string(line);
    for (const auto& signal : signals)
        if (signal.bits == bit) name += std::string("_") + signal.name;
    return name.size() > 2 ? name : name + "_Pin" + std::to_string(line + 2);
}

}  // namespace way

#pragma once
// The picture of a way, planned once for each drawing of it (the simulated
// port's SVG, the program's window): what to draw and where, in the picture's
// own units, a square of side 1 seen from above with (0, 0) at its top left,
// x to the right and y forward, which a picture shows downward. A drawing
// only scales it to its size and chooses its pens, so that a small picture on
// a small screen shows the same marks and arrows as a large one. Plain data:
// nothing of the decoder (way.h makes it, with PlanPicture).

#include <cstddef>
#include <string>
#include <vector>

namespace way {

struct PictureSpot {
    double x = 0, y = 0;
};

struct PicturePlan {
    std::vector<PictureSpot> path;  // the start, every turn and the end, joined by straight lines
    // Which way a stretch runs, at its middle: a unit vector along it. On the
    // first kPlannedArrows stretches that are long enough to hold one.
    struct Arrow {
        PictureSpot at;
        double dx = 0, dy = 0;
    };
    std::vector<Arrow> arrows;
    std::vector<PictureSpot> zSteps;   // where Z stepped: an even sample, every zStride'th
    std::vector<PictureSpot> unclean;  // steps not clean for the driver: every uncleanStride'th
    std::size_t zStride = 1, uncleanStride = 1;
    PictureSpot start, end;
    bool closes = false;  // the way ends where it began: one mark and one label say both
    // Further places the drawing asks to show in the same scale (where the
    // program's sides should end), in the order asked.
    std::vector<PictureSpot> also;
    // Places named with what happened there: where an input changed or a stop
    // input tripped, with the input's name; at most kPlannedNames.
    struct Named {
        PictureSpot at;
        std::string name;
    };
    std::vector<Named> named;
    double unitsPerStep = 1;  // the scale: how far one step is in the picture
};

// At most so many arrows and marks of each kind: a picture cannot show more,
// and a drawing that is repainted while the drive runs stays cheap.
constexpr std::size_t kPlannedArrows = 50;
constexpr std::size_t kPlannedMarks = 300;
constexpr std::size_t kPlannedNames = 20;  // each with its text: fewer still

// A stretch shorter than this share of the picture's side gets no arrow: its
// head would hide it.
constexpr double kShortestArrowedStretch = 0.05;

}  // namespace way

#include "drive/wiring_view.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "config/pin_assignment.h"
#include "drive/drive.h"
#include "drive/expected_way.h"
#include "platform/failure.h"
#include "text/wording.h"

namespace {

// "Pin 2 (D0)", or "Pin 12 (keine Datenleitung)".
std::string PinText(std::int32_t pin) {
    return "Pin " + std::to_string(pin) + " (" + (IsDataPin(pin) ? DataLineName(pin) : "keine Datenleitung") + ")";
}

struct Signal {
    const char* name;  // "X-Schritt"
    char axis;
    std::int32_t pin;
};

// "in etwa 6 s" for a drive of that many milliseconds.
std::string Duration(double ms) {
    const double seconds = ms / 1000.0;
    if (seconds < 1) return "in etwa " + wording::Decimal(seconds, 2, true) + " s";
    if (seconds < 10) return "in etwa " + wording::Decimal(seconds, 1, true) + " s";
    if (seconds < 120) return "in etwa " + wording::Decimal(seconds, 0, true) + " s";
    if (seconds < 7200) return "in etwa " + wording::Decimal(seconds / 60, 0, true) + " min";
    return "in etwa " + wording::Decimal(seconds / 3600, 0, true) + " h";
}

// The rising edge's way for the window's picture, with where each side should end.
host::WayPicture PictureOf(const ExpectedWays& ways, std::int64_t perSide) {
    host::WayPicture picture;
    picture.plan = way::PlanPicture(ways.rising, std::vector<way::Point>(std::begin(ways.afterSide), std::end(ways.afterSide)));
    picture.perSide = std::max<std::int64_t>(perSide, 0);
    return picture;
}

const char* const kFailsAfterOk = "; nach OK endet das Programm mit einer Fehlermeldung, bevor etwas geschrieben wird.";

}  // namespace

host::WiringFacts DescribeWiring() {
    const ConnectorPinsRecord& pins = ConnectorPins;
    const Signal signals[] = {{"X-Schritt", 'X', pins.XStep}, {"X-Richtung", 'X', pins.XDir},
                              {"Y-Schritt", 'Y', pins.YStep}, {"Y-Richtung", 'Y', pins.YDir},
                              {"Z-Schritt", 'Z', pins.ZStep}, {"Z-Richtung", 'Z', pins.ZDir}};
    host::WiringFacts view;

    // The port and the step count as the drive will read them; what it will
    // not be able to read is said after the pins.
    std::vector<std::string> unreadable;
    std::optional<std::int16_t> port;
    // An address typed as Device Manager shows it, in hexadecimal without 0x.
    const std::optional<std::string> meant = MeantPortAddress(PinAssignment.PortAddress);
    const std::string write =
        meant ? "; gemeint ist wohl " + *meant + " (hexadezimal, wie der Geräte-Manager Adressen zeigt): dann „" +
                    *meant + "“ schreiben"
              : "";
    try {
        port = ConvertPortAddress(PinAssignment.PortAddress, PortAddressSource());
        if (meant)
            unreadable.push_back("Achtung: " + PortAddressSource().place + ": gelesen " +
                                 QuoteForReport(PinAssignment.PortAddress) + ", das ist dezimal " +
                                 std::to_string(*port) + " (" + wording::Hex(static_cast<std::uint16_t>(*port)) +
                                 "), wo üblicherweise kein Parallelport liegt" + write + ".");
    } catch (const Failure& failure) {
        unreadable.push_back("Achtung: " + failure.detail + write + kFailsAfterOk);
    }
    std::optional<std::int64_t> steps;
    try {
        steps = ConvertStepCount(PinAssignment.StepsPerSide, StepsPerSideSource());
    } catch (const Failure& failure) {
        unreadable.push_back("Achtung: " + failure.detail + kFailsAfterOk);
    }

    // Only X and Y are driven: a signal of theirs off the data lines never moves anything.
    for (const Signal& signal : signals) {
        if (signal.axis == 'Z' || IsDataPin(signal.pin)) continue;
        const std::string axis = std::string(1, signal.axis) + "-Achse";
        const bool step = signal.name[2] == 'S';
        view.warnings.push_back(std::string("Achtung: ") + signal.name + " auf Pin " + std::to_string(signal.pin) +
                                " erreicht den Port nicht (nur Pin " + std::to_string(kFirstDataPin) + " bis " +
                                std::to_string(kLastDataPin) + " sind Datenleitungen); die " + axis +
                                (step ? " bewegt sich nicht." : " fährt hin und zurück in dieselbe Richtung."));
    }
    // Two signals on one data line: across axes each motor gets the other's
    // signal; within an axis the side that writes both writes their sum instead.
    for (std::size_t i = 0; i < std::size(signals); ++i) {
        for (std::size_t j = i + 1; j < std::size(signals); ++j) {
            const Signal& a = signals[i];
            const Signal& b = signals[j];
            if (a.pin != b.pin || !IsDataPin(a.pin)) continue;
            const std::string both =
                std::string("Achtung: ") + a.name + " und " + b.name + " beide auf " + PinText(a.pin) + ": ";
            if (a.axis != b.axis) {
                view.warnings.push_back(both + "das Signal der einen Achse erreicht auch die andere, deren Motor "
                                               "sich dann mitbewegen kann.");
                continue;
            }
            if (a.axis == 'Z') continue;  // never driven
            const Side* writesBoth = std::find_if(std::begin(kSides), std::end(kSides),
                                                  [&](const Side& s) { return s.axis == a.axis && s.withDirection; });
            const std::string side = "Seite " + std::to_string(writesBoth - std::begin(kSides) + 1);
            // The pin whose bit the side's pattern is.
            const int pattern = SidePattern(*writesBoth);
            std::int32_t sumPin = kFirstDataPin;
            while (sumPin <= kLastDataPin && (1 << (sumPin - kFirstDataPin)) != pattern) ++sumPin;
            std::string instead = "keine Datenleitung (doppelt " + DataLineName(kLastDataPin) + " ist " +
                                  std::to_string(pattern) + ", über " + DataLineName(kLastDataPin) + " hinaus)";
            if (IsDataPin(sumPin)) {
                instead = DataLineName(sumPin) + " (Pin " + std::to_string(sumPin) + ")";
                const auto* other = std::find_if(std::begin(signals), std::end(signals),
                                                 [sumPin](const Signal& signal) { return signal.pin == sumPin; });
                if (other != std::end(signals)) instead += std::string(", die Leitung von ") + other->name;
            }
            // On the way back the pattern is the step bit alone, which is the direction line too: every
            // step edge finds the direction high, so the axis goes the same way as out.
            const Side* stepOnly = std::find_if(std::begin(kSides), std::end(kSides),
                                                [&](const Side& s) { return s.axis == a.axis && !s.withDirection; });
            const std::string back = "Seite " + std::to_string(stepOnly - std::begin(kSides) + 1);
            const std::string axis = std::string(1, a.axis) + "-Achse";
            std::string warning = both;
            warning.append(side).append(" setzt stattdessen ").append(instead).append("; die ").append(axis);
            warning.append(" bewegt sich auf ").append(side).append(" nicht, und auf ").append(back);
            warning.append(" ist ihre Richtungsleitung bei jedem Schritt an: sie fährt dort ");
            warning.append(writesBoth->name).append(" statt ").append(stepOnly->name).append(".");
            view.warnings.push_back(warning);
        }
    }
    if (steps && *steps < 1)
        view.warnings.push_back("Achtung: " + StepsPerSideSource().place + ": gelesen " +
                                QuoteForReport(PinAssignment.StepsPerSide) +
                                ", es wird nichts bewegt; nach OK wird nur einmal 0 auf den Port geschrieben.");
    view.warnings.insert(view.warnings.end(), unreadable.begin(), unreadable.end());
    view.warnings.insert(view.warnings.end(), StopInputProblems.begin(), StopInputProblems.end());
    std::vector<std::string> stops;
    for (const StopInput& input : StopInputs) {
        view.inputs.push_back("Eingang " + InputPinName(input.pin) + ": " + input.name + ", hält an bei " +
                              std::to_string(input.activeLevel));
        stops.push_back("Pin " + std::to_string(input.pin) + " „" + input.name + "“ bei " +
                        std::to_string(input.activeLevel));
    }
    if (!stops.empty()) view.inputsLine = (stops.size() == 1 ? "Stoppeingang: " : "Stoppeingänge: ") + wording::Listed(stops);

    const std::string portText =
        port ? wording::Port(static_cast<std::uint16_t>(*port))
             : "Port " + QuoteForReport(PinAssignment.PortAddress) + " (keine gültige Adresse)";
    std::string stepsText = "Schritte je Seite " + QuoteForReport(PinAssignment.StepsPerSide) + " (keine ganze Zahl)";
    if (steps && *steps < 1) {
        stepsText = std::to_string(*steps) + " Schritte je Seite, es wird nichts bewegt";
    } else if (steps) {
        stepsText = wording::Steps(*steps) + " je Seite, " +
                    DriveStepsText(*steps) + " Schritte " + Duration(DriveDurationMs(*steps));
    }
    view.path = PinAssignmentPath;
    view.x = {PinText(pins.XStep), PinText(pins.XDir)};
    view.y = {PinText(pins.YStep), PinText(pins.YDir)};
    view.z = {PinText(pins.ZStep), PinText(pins.ZDir)};
    view.port = portText;
    view.portShort = port ? "Port " + wording::Hex(static_cast<std::uint16_t>(*port)) : portText;
    view.steps = stepsText;
    if (steps) {
        // The figures the simulated port checks against, so that both say the same.
        std::string problem;
        const way::DriverTimes driver = way::DriverTimesFromEnvironment(problem);
        if (!problem.empty()) view.warnings.push_back("Achtung: " + problem);
        if (!CompareReadBack(problem))
            view.warnings.push_back(std::string("Achtung: ") + kReadBackVariable +
                                    "=aus: was der Port zurückliest, wird nicht mit dem Geschriebenen verglichen; ein "
                                    "Port, der die Werte nicht annimmt, fällt dabei nicht auf.");
        if (!problem.empty()) view.warnings.push_back("Achtung: " + problem);
        const ExpectedWays ways = ExpectWays(*steps, driver);
        view.way = ExpectedWayLines(ways);
        view.picture = PictureOf(ways, *steps);
    }
    return view;
}

#include "drive/expected_way.h"

#include <algorithm>
#include <cmath>

namespace {

// A side's pulses decoded one by one before the rest repeat the last of them:
// enough for every line's judgement to have reached the pulse after it.
constexpr std::int64_t kDecodedPulses = 8;

long long Nanoseconds(double ms) { return std::llround(ms * 1e6); }

}  // namespace

ExpectedWays ExpectWays(std::int64_t perSide, const way::DriverTimes& driver) {
    ExpectedWays ways;
    ways.rising.edge = way::Edge::Rising;
    ways.falling.edge = way::Edge::Falling;
    ways.rising.driver = ways.falling.driver = driver;
    const port::SignalBits bits = DriveSignalBits();
    const DrivePulses sides = SidePulses();

    // The decoder reads a write's time only against the times at which the
    // lines last changed, which way::Repeat leaves as they were: pulses left
    // out take no time on this clock, and the pulse after them is timed as if
    // it followed the last one decoded.
    long long ns = 0;
    const auto write = [&](int value, long long at) {
        for (way::Way* way : {&ways.rising, &ways.falling}) way::AddWrite(*way, bits, static_cast<unsigned>(value), at);
    };
    const auto pulse = [&](int side, std::int64_t index) {
        const PlannedPulse planned = PlanPulse(sides, side, index);
        write(planned.low, ns + Nanoseconds(StepPauseMs));
        write(planned.pattern, ns + Nanoseconds(kPulseMs));
        ns += Nanoseconds(kPulseMs);
    };
    const std::int64_t pulses = std::max<std::int64_t>(perSide, 0);
    for (int side = 0; side < kSideCount; ++side) {
        ways.afterSide[side] = ways.rising.at;
        if (pulses <= kDecodedPulses + 2) {
            for (std::int64_t index = 0; index < pulses; ++index) pulse(side, index);
            continue;
        }
        for (std::int64_t index = 0; index < kDecodedPulses; ++index) pulse(side, index);
        const way::Way rising = ways.rising, falling = ways.falling;
        pulse(side, kDecodedPulses);
        way::Repeat(ways.rising, rising, pulses - kDecodedPulses - 2);
        way::Repeat(ways.falling, falling, pulses - kDecodedPulses - 2);
        pulse(side, pulses - 1);
    }
    write(0, pulses > 0 ? ns + Nanoseconds(kLowPhaseMs) : 0);
    way::Finish(ways.rising);
    way::Finish(ways.falling);
    ways.afterSide[kSideCount] = ways.rising.at;
    return ways;
}

std::vector<std::string> ExpectedWayLines(const ExpectedWays& ways) {
    // The ways first (one, or one an edge where they end apart), the signal last.
    const std::vector<std::string> summary = way::Summary(ways.rising, ways.falling);
    std::string line = "Erwarteter " + summary.front();
    for (std::size_t i = 1; i + 1 < summary.size(); ++i) line += " " + summary[i];
    if (ways.rising.unclean == 0 && ways.falling.unclean == 0) return {line};
    return {line, summary.back()};
}

// The expected way's cost, measured: the ways for both edges and their lines
// (ExpectWays, ExpectedWayLines), as the program makes them before the
// confirmation, for 100 steps a side and for 9223372036854775807, the most a
// wiring file can hold; with the sample wiring, and with X and Y step on one
// line, where every step is unclean and the picture's marks are spread. Each
// is made 200 times; the median and the longest, in ms of the steady clock
// around the two calls, and the marks the ways keep (their memory) are shown.
// Fails (exit status 1) when a median is 100 ms or more. Linked against the
// unit tests' host, as the preview touches no host.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "config/pin_assignment.h"
#include "drive/expected_way.h"

int main() {
    const struct {
        const char* name;
        int xStep, xDir, yStep, yDir;
    } wirings[] = {{"Beispiel-Verdrahtung", 1, 2, 4, 8}, {"X- und Y-Schritt auf D0", 1, 2, 1, 8}};
    bool slow = false;
    for (const auto& wiring : wirings) {
        PinAssignment = PinAssignmentRecord{};
        PinAssignment.XStepBit = wiring.xStep;
        PinAssignment.XDirBit = wiring.xDir;
        PinAssignment.YStepBit = wiring.yStep;
        PinAssignment.YDirBit = wiring.yDir;
        for (const std::int64_t perSide : {std::int64_t{100}, std::int64_t{9223372036854775807}}) {
            std::vector<double> ms;
            std::string line;
            std::size_t marks = 0;
            for (int run = 0; run < 200; ++run) {
                const auto start = std::chrono::steady_clock::now();
                const ExpectedWays ways = ExpectWays(perSide, {});
                line = ExpectedWayLines(ways).front();
                ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
                marks = ways.rising.corners.size() + ways.rising.zAt.size() + ways.rising.uncleanAt.size() +
                        ways.falling.corners.size() + ways.falling.zAt.size() + ways.falling.uncleanAt.size();
            }
            std::sort(ms.begin(), ms.end());
            const double median = ms[ms.size() / 2];
            slow = slow || median >= 100;
            std::printf("%s, %lld Schritte je Seite: Median %.3f ms, längste %.3f ms, %zu Marken\n  %s\n", wiring.name,
                        static_cast<long long>(perSide), median, ms.back(), marks, line.c_str());
        }
    }
    return slow ? 1 : 0;
}

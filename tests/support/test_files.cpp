#include "test_files.h"

#include "drive/drive.h"


#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

ScratchDirectory::ScratchDirectory() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("plottertest-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("no scratch directory");
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> SampleLines() {
    return {"X Schritt", "2",   "X Richtung", "3",    "X Faktor",   "80,5", "Y Schritt",  "4",
            "Y Richtung", "5",  "Y Faktor",   "40.25", "Z Schritt", "6",    "Z Richtung", "7",
            "Z Faktor",   "x",  "Bemerkung",  " frei ", "Portadresse", "888", "Schritte", "100"};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines, const std::string& lineEnd) {
    std::string text;
    for (const std::string& line : lines) text += line + lineEnd;
    WriteText(path, text);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void SetVariable(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    _putenv((name + "=" + value).c_str());  // which copies the text
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

std::vector<PortWrite> ReadPortLog(const std::string& path) {
    std::vector<PortWrite> writes;
    std::istringstream log(ReadText(path));
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        PortWrite w{};
        if (!(fields >> w.address >> w.value >> w.ns)) break;
        if (int policy = 0; fields >> policy) w.policy = policy;
        if (int nice = 0; fields >> nice) w.nice = nice;
        writes.push_back(w);
    }
    return writes;
}

std::vector<std::pair<int, int>> ThreeStepExample() {
    std::vector<std::pair<int, int>> expected;
    // Each pulse's first write switches only the step lines off; the direction stands through the step edge.
    for (const auto& [first, low, pattern] : {std::tuple{2, 2, 3}, {10, 8, 12}, {8, 0, 1}, {0, 0, 4}})
        for (int step = 0; step < 3; ++step) expected.insert(expected.end(), {{888, step == 0 ? first : low}, {888, pattern}});
    expected.push_back({888, 0});
    return expected;
}

std::vector<std::pair<int, int>> AddressesAndValues(const std::vector<PortWrite>& writes) {
    std::vector<std::pair<int, int>> pairs;
    pairs.reserve(writes.size());
    std::transform(writes.begin(), writes.end(), std::back_inserter(pairs),
                   [](const PortWrite& w) { return std::make_pair(w.address, w.value); });
    return pairs;
}

std::vector<double> PausesBeforePulsesMs(const std::vector<PortWrite>& writes) {
    std::vector<double> pauses;
    for (std::size_t i = 2; i + 1 < writes.size(); i += 2) pauses.push_back(double(writes[i].ns - writes[i - 1].ns) / 1e6);
    return pauses;
}

std::vector<std::size_t> ShortPauses(const std::vector<PortWrite>& writes) {
    const std::vector<double> pauses = PausesBeforePulsesMs(writes);
    std::vector<std::size_t> shortOnes;
    for (std::size_t i = 0; i < pauses.size(); ++i)
        if (pauses[i] < StepPauseMs) shortOnes.push_back(i + 1);
    return shortOnes;
}

std::vector<std::size_t> ShortLowPhases(const std::vector<PortWrite>& writes) {
    std::vector<std::size_t> shortOnes;
    for (std::size_t write = 1; write < writes.size(); write += 2)
        if (static_cast<double>(writes[write].ns - writes[write - 1].ns) < kLowPhaseMs * 1e6) shortOnes.push_back(write);
    return shortOnes;
}

#pragma once
// Scratch directories and wiring files for the tests.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// A new empty directory below the system's temporary directory, removed with everything in it when the
// object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The 24 lines of a good wiring file: X on pins 2/3, Y on 4/5, Z on 6/7, port 888, 100 steps.
std::vector<std::string> SampleLines();

// Writes the lines to path, each followed by lineEnd.
void WriteLines(const std::string& path, const std::vector<std::string>& lines, const std::string& lineEnd = "\r\n");
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// Sets an environment variable for this process, also where the unit tests run
// as a Windows program; the program counts an empty value as none.
void SetVariable(const std::string& name, const std::string& value);

// One line of the simulated port's write log (PLOTTERTEST_PORT_LOG).
struct PortWrite {
    int address;
    int value;
    long long ns;
    int policy = -1;  // the scheduling policy of the write, where the port library records it
    int nice = 0;     // and its nice value, where the simulated port records it
};
std::vector<PortWrite> ReadPortLog(const std::string& path);

// The (address, value) pairs of the 3-step example, with X on bits 4/8 and Y on 1/2, port 888.
std::vector<std::pair<int, int>> ThreeStepExample();
std::vector<std::pair<int, int>> AddressesAndValues(const std::vector<PortWrite>& writes);

// The pause before each pulse but the first, in ms, as the write log shows it:
// from the last write of one pulse to the first of the next, so the progress
// shown after the pulse, the pause itself and the clock reading that ends it.
std::vector<double> PausesBeforePulsesMs(const std::vector<PortWrite>& writes);

// The pulses (1 = the second) whose pause was shorter than StepPauseMs. Empty when every pause held.
std::vector<std::size_t> ShortPauses(const std::vector<PortWrite>& writes);


// The writes (1 = the second) that came less than kLowPhaseMs after the one before them, of those that
// end a pulse's low phase or, the last, its final pattern. Empty when every step pulse had its time.
std::vector<std::size_t> ShortLowPhases(const std::vector<PortWrite>& writes);

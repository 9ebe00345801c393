// A simulated parallel port: exports Out32 as the real port library does, never
// touches hardware, and shows what the data lines did:
// - a summary on standard error at the end: writes, rising edges and last level
//   of each data line;
// - a Value Change Dump (VCD) of the eight data lines, for GTKWave or PulseView,
//   in the file named by PLOTTERTEST_PORT_VCD, else plottertest-port.vcd in the
//   working directory;
// - with PLOTTERTEST_PORT_LOG naming a file, one line per write appended to it:
//   "address value nanoseconds policy nice" (monotonic clock; the scheduling
//   policy and nice value the write ran under, -1 and 0 on Windows);
// - on a terminal, a status line updated in place while the drive runs, unless
//   the program shows its own progress line (PLOTTERTEST_HIDE_PORT_STATUS is set);
// - once the program has told it which line carries which signal (SetSignalBits):
//   the trace names its lines by signal, the summary says in a line "Weg: …"
//   what a driver would make of the writes, and in a line "Signal: …" whether
//   each step's timing suits a driver that asks PLOTTERTEST_DRIVER_US
//   ("pulse,space,setup,hold" in µs, LinuxCNC's 10,10,200,200 for an unknown
//   driver by default); a picture of the way lies beside the trace, the same
//   name with .svg.
// Inp32 answers with what the port holds, the last value's eight data lines.
// PLOTTERTEST_PORT_FAULT makes it play a port that does not take its values,
// so that each report of the drive's read-back can be seen without hardware:
//   kein-port     nothing answers at the address: every line reads 1 (255)
//   treiber-aus   the port library's driver is not open: the address' low
//                 byte, as inpout32.dll then reads
//   null          0, whatever was written
//   D<n>=0, D<n>=1  data line n stays low, or high (a short, a heavy load)
// Inp32 of the address + 1 answers with the status register of five inputs
// (pins 10, 11, 12, 13 and 15, port/connector.h), every one high as open inputs
// read, but for what PLOTTERTEST_PORT_INPUTS sets, items apart by commas or blanks:
//   11=0          pin 11 reads 0 from the start
//   11=0@110      from the read after step 110 on (a step is a pulse's two writes)
//   11=0@110/1    for one read from then on, as a spike; /N for N reads
// The trace holds the five inputs beside the data lines, as the reads found them.
// Nothing here ever stops a write: a trace that cannot be written is reported
// once and left out.
//
// Out32 only notes each write in memory (24 bytes a write); the log, the trace
// and the way are written when the program ends. Any file work inside Out32
// would come between a step edge and the program's next pause, which would be
// longer than the program measured.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <type_traits>
#include <vector>

#include "connector.h"
#include "port_library.h"
#include "way/way.h"

#if defined(_WIN32)
#include <io.h>
#define IS_TERMINAL(stream) _isatty(_fileno(stream))
#else
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#define IS_TERMINAL(stream) isatty(fileno(stream))
#endif

namespace {

constexpr const char* kDefaultVcd = "plottertest-port.vcd";
constexpr char kInputId = '!' + 8;  // the trace's first input, after the data lines

long long MonotonicNanoseconds() {
    // The same clock as the program's pause on Linux (CLOCK_MONOTONIC); the
    // performance counter on Windows.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Where the user finds the file, whatever the working directory was.
std::string AbsolutePath(const std::string& path) {
#if defined(_WIN32)
    char full[4096];
    return _fullpath(full, path.c_str(), sizeof full) != nullptr ? full : path;
#else
    char* full = realpath(path.c_str(), nullptr);
    if (full == nullptr) return path;
    std::string absolute = full;
    std::free(full);
    return absolute;
#endif
}

// The trace's file: PLOTTERTEST_PORT_VCD, else plottertest-port.vcd in the working directory.
std::string TracePath() {
    const char* path = std::getenv("PLOTTERTEST_PORT_VCD");
    return path != nullptr && *path != '\0' ? path : kDefaultVcd;
}

// The picture lies beside the trace, with .svg for its .vcd.
std::string PicturePath(const std::string& trace) {
    const bool vcdSuffix = trace.size() > 4 && trace.compare(trace.size() - 4, 4, ".vcd") == 0;
    return (vcdSuffix ? trace.substr(0, trace.size() - 4) : trace) + ".svg";
}

struct Write {
    short address;
    short value;  // for a read of the inputs: their levels, bit i for port::kInputPins[i]
    long long ns;
    int policy;  // the scheduling policy the write ran under (SCHED_RR is 2), -1 on Windows
    int nice;
    bool inputs = false;  // not a write: the inputs read otherwise than before
};

// A level that PLOTTERTEST_PORT_INPUTS gives an input from a step on.
struct InputChange {
    int input;  // index into port::kInputPins
    unsigned level;
    long long step;
    long long reads;  // so many reads from then on; 0: for good
};

// The levels with this change's level on its input.
unsigned WithChange(unsigned levels, const InputChange& change) {
    return (levels & ~(1u << change.input)) | (change.level << change.input);
}

// The changes PLOTTERTEST_PORT_INPUTS names, and in `said` what the inputs
// play then, or why the text names none (then none is used).
std::vector<InputChange> InputsFromEnvironment(std::string& said) {
    const char* text = std::getenv("PLOTTERTEST_PORT_INPUTS");
    const std::string all = text != nullptr ? text : "";
    std::vector<InputChange> changes;
    std::string item;
    for (std::size_t at = 0; at <= all.size(); ++at) {
        if (at < all.size() && all[at] != ',' && all[at] != ' ') {
            item += all[at];
            continue;
        }
        if (item.empty()) continue;
        // PIN=LEVEL, then @STEP, then /READS, each a whole number that ends where the next part begins.
        const char* cursor = item.c_str();
        const auto number = [&cursor](char before, long long& value) {
            if (*cursor != before) return false;
            char* end = nullptr;
            value = std::strtoll(++cursor, &end, 10);
            const bool read = end != cursor && *cursor >= '0' && *cursor <= '9';
            cursor = end;
            return read;
        };
        long long pin = 0, level = 0, step = 0, reads = 0;
        bool good = *cursor >= '0' && *cursor <= '9';
        if (good) {
            char* end = nullptr;
            pin = std::strtoll(cursor, &end, 10);
            cursor = end;
            good = number('=', level);
        }
        if (good && *cursor == '@') good = number('@', step) && (*cursor != '/' || (number('/', reads) && reads > 0));
        if (!good || *cursor != '\0' || port::InputIndex(static_cast<int>(pin)) < 0 || (level != 0 && level != 1)) {
            said = "PLOTTERTEST_PORT_INPUTS: „" + item +
                   "“ ist keine Angabe wie 11=0, 11=0@110 oder 11=0@110/1 (Pin 10, 11, 12, 13 oder 15, Pegel 0 oder 1); "
                   "jeder Eingang liest 1.";
            return {};
        }
        changes.push_back({port::InputIndex(static_cast<int>(pin)), static_cast<unsigned>(level), step, reads});
        said += (said.empty() ? "" : ", ") + item;
        item.clear();
    }
    if (!said.empty()) said = "die Eingänge spielen " + said + " (PLOTTERTEST_PORT_INPUTS).";
    return changes;
}

// How the port reads back, from PLOTTERTEST_PORT_FAULT.
struct Fault {
    bool addressLowByte = false;
    int fixed = -1;  // 0 or more: every read gives this
    unsigned stuckHigh = 0, stuckLow = 0;
};

// The fault PLOTTERTEST_PORT_FAULT names, and in `said` what the port plays
// then, or that the text names none.
Fault FaultFromEnvironment(std::string& said) {
    const char* text = std::getenv("PLOTTERTEST_PORT_FAULT");
    const std::string fault = text != nullptr ? text : "";
    Fault play;
    if (fault.empty()) return play;
    if (fault == "kein-port") {
        play.fixed = 0xFF;
        said = "an der Adresse antwortet kein Port, jede Leitung liest 1";
    } else if (fault == "treiber-aus") {
        play.addressLowByte = true;
        said = "der Treiber der Portbibliothek ist nicht geöffnet, gelesen wird das untere Byte der Adresse";
    } else if (fault == "null") {
        play.fixed = 0;
        said = "jede Leitung liest 0";
    } else if (fault.size() == 4 && fault[0] == 'D' && fault[1] >= '0' && fault[1] <= '7' && fault[2] == '=' &&
               (fault[3] == '0' || fault[3] == '1')) {
        (fault[3] == '1' ? play.stuckHigh : play.stuckLow) = 1u << (fault[1] - '0');
        said = std::string("die Leitung ") + fault.substr(0, 2) + " bleibt " + (fault[3] == '1' ? "an" : "aus");
    } else {
        said = "PLOTTERTEST_PORT_FAULT=„" + fault +
               "“ ist keine der Angaben kein-port, treiber-aus, null, D0=0 bis D7=1; der Port nimmt jeden Wert an.";
        return play;
    }
    said = "der Port nimmt die Werte nicht an: " + said + " (PLOTTERTEST_PORT_FAULT=" + fault + ").";
    return play;
}

struct SimulatedPort {
    long long writes = 0;
    long long reads = 0;
    bool started = false;  // the first call of Out32 or Inp32 has come
    short base = 0;        // the address of that call: the data register; the status register is the next
    Fault fault;
    std::vector<InputChange> inputChanges;
    unsigned inputs = 0x1F;   // the five inputs' levels as last read
    unsigned firstInputs = 0x1F;  // at time 0 of the trace
    long long statusReads = 0;
    std::deque<Write> pending;      // noted, not yet in the log and the trace; grows without moving what it holds
    unsigned tracedLevel = 0;       // the level the trace has reached
    unsigned tracedInputs = 0x1F;
    unsigned flushedInputs = 0x1F;  // the inputs as Flush has gone through them
    std::vector<way::NamedPoint> inputMarks;
    unsigned level = 0;             // the data register as last written, D0..D7
    long long risingEdges[8] = {};  // per data line
    long long startNs = 0;          // the first write: time 0 of the trace
    long long lastChangeNs = 0;
    long long lastStatusNs = 0;
    std::string vcdPath;
    std::FILE* log = nullptr;
    std::FILE* vcd = nullptr;
    bool statusLine = false;
    bool signalsKnown = false;  // SetSignalBits was called
    way::SignalBits signals;
    way::DriverTimes driver;
    way::Way rising, falling;  // as a driver that takes the rising edge, or the falling one

    ~SimulatedPort() {
        if (writes > 0) {
            const long long endNs = ElapsedNs();
            OpenLog();
            OpenVcd();
            Flush();
            if (log != nullptr) std::fclose(log);
            if (vcd != nullptr) {
                // A last timestamp after the final change, so that viewers show its level.
                std::fprintf(vcd, "#%lld\n", std::max(endNs, lastChangeNs + 1));
                std::fclose(vcd);
            }
        }
        if (statusLine) {
            ShowStatus();
            std::fputc('\n', stderr);
        }
        std::fprintf(stderr, "Simulierter Parallelport: %lld %s", writes, writes == 1 ? "Schreibzugriff" : "Schreibzugriffe");
        if (reads > 0) std::fprintf(stderr, ", %lld %s", reads, reads == 1 ? "Lesezugriff" : "Lesezugriffe");
        std::fprintf(stderr, ".\n");
        if (statusReads > 0) {
            std::fprintf(stderr, "  Eingänge, zuletzt gelesen (%lld-mal):", statusReads);
            for (int i = 0; i < port::kInputCount; ++i)
                std::fprintf(stderr, "%s Pin %d (%s) %u", i == 0 ? "" : ",", port::kInputPins[i],
                             port::FindPin(port::kInputPins[i])->signal, (inputs >> i) & 1u);
            std::fprintf(stderr, "\n");
        }
        if (writes == 0) return;
        std::fprintf(stderr, "  Leitung  Pin  steigende Flanken  zuletzt\n");
        for (int line = 0; line < 8; ++line)
            std::fprintf(stderr, "  D%d       %-3d  %17lld  %u\n", line, line + 2, risingEdges[line],
                         (level >> line) & 1u);
        if (vcd != nullptr)
            std::fprintf(stderr, "  Signalverlauf: %s (zu öffnen mit GTKWave oder PulseView)\n",
                         AbsolutePath(vcdPath).c_str());
        if (signalsKnown) SayAndDrawTheWay();
    }

    void SayAndDrawTheWay() const {
        for (const std::string& line : way::Summary(rising, falling)) std::fprintf(stderr, "%s\n", line.c_str());
        const std::string svgPath = PicturePath(vcdPath);
        std::FILE* svg = std::fopen(svgPath.c_str(), "w");
        const std::string picture = way::Picture(rising, falling, inputMarks);
        // Closed also when the write failed; a picture is whole only when both succeeded.
        const bool written = svg != nullptr && std::fwrite(picture.data(), 1, picture.size(), svg) == picture.size();
        if ((svg != nullptr && std::fclose(svg) != 0) || !written) {
            std::fprintf(stderr, "Simulierter Parallelport: Bild des Weges %s kann nicht geschrieben werden.\n",
                         svgPath.c_str());
            return;
        }
        std::fprintf(stderr, "  Bild des Weges: %s (zu öffnen im Browser)\n", AbsolutePath(svgPath).c_str());
    }

    long long ElapsedNs() const { return MonotonicNanoseconds() - startNs; }

    void OpenLog() {
        const char* path = std::getenv("PLOTTERTEST_PORT_LOG");
        if (path == nullptr || *path == '\0') return;
        log = std::fopen(path, "a");
        if (log == nullptr)
            std::fprintf(stderr, "Simulierter Parallelport: Protokoll %s kann nicht geschrieben werden.\n", path);
    }

    void OpenVcd() {
        vcdPath = TracePath();
        vcd = std::fopen(vcdPath.c_str(), "w");
        if (vcd == nullptr) {
            std::fprintf(stderr, "Simulierter Parallelport: Signalverlauf %s kann nicht geschrieben werden.\n",
                         vcdPath.c_str());
            return;
        }
        std::fprintf(vcd,
                     "$version plottertest, simulierter Parallelport $end\n"
                     "$timescale 1ns $end\n"
                     "$scope module parallelport $end\n");
        // Named by signal, so that a viewer shows which line is X's step.
        for (int line = 0; line < 8; ++line)
            std::fprintf(vcd, "$var wire 1 %c %s $end\n", '!' + line, way::LineName(line, signals).c_str());
        // The inputs after the data lines, by pin and signal, at the connector's level.
        for (int i = 0; i < port::kInputCount; ++i)
            std::fprintf(vcd, "$var wire 1 %c Pin%d_%s $end\n", kInputId + i, port::kInputPins[i],
                         port::FindPin(port::kInputPins[i])->signal);
        std::fprintf(vcd, "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n");
        for (int line = 0; line < 8; ++line) std::fprintf(vcd, "0%c\n", '!' + line);
        for (int i = 0; i < port::kInputCount; ++i) std::fprintf(vcd, "%u%c\n", (firstInputs >> i) & 1u, kInputId + i);
        std::fprintf(vcd, "$end\n");
        tracedInputs = firstInputs;
    }

    void Flush() {
        rising.edge = way::Edge::Rising;
        falling.edge = way::Edge::Falling;
        rising.driver = falling.driver = driver;
        for (const Write& write : pending) {
            if (write.inputs) {
                const auto next = static_cast<unsigned>(write.value);
                TraceInputs(next, write.ns);
                // Marked on the picture where the rising edge's way stood when the read found it.
                for (int i = 0; i < port::kInputCount; ++i)
                    if (((next ^ flushedInputs) >> i) & 1u)
                        inputMarks.push_back({rising.at, "Pin " + std::to_string(port::kInputPins[i]) + " (" +
                                                             port::FindPin(port::kInputPins[i])->signal + ") auf " +
                                                             std::to_string((next >> i) & 1u)});
                flushedInputs = next;
                continue;
            }
            if (log != nullptr)
                std::fprintf(log, "%d %d %lld %d %d\n", write.address, write.value, write.ns, write.policy, write.nice);
            Trace(static_cast<unsigned>(write.value) & 0xFFu, write.ns);
            if (!signalsKnown) continue;
            for (way::Way* way : {&rising, &falling})
                way::AddWrite(*way, signals, static_cast<unsigned>(write.value), write.ns);
        }
        way::Finish(rising);
        way::Finish(falling);
        pending.clear();
    }

    void Trace(unsigned next, long long ns) {
        if (vcd == nullptr || next == tracedLevel) return;
        // In nanoseconds, so that the 0 of a step pulse shows as long as it
        // really was (the time between the two writes); two writes within the
        // clock's resolution still stand 1 ns apart, so that every step is an edge.
        lastChangeNs = std::max(ns - startNs, lastChangeNs + 1);
        std::fprintf(vcd, "#%lld\n", lastChangeNs);
        for (int line = 0; line < 8; ++line)
            if (((next ^ tracedLevel) >> line) & 1u)
                std::fprintf(vcd, "%u%c\n", (next >> line) & 1u, '!' + line);
        tracedLevel = next;
    }

    void TraceInputs(unsigned next, long long ns) {
        if (vcd == nullptr || next == tracedInputs) return;
        lastChangeNs = std::max(ns - startNs, lastChangeNs + 1);
        std::fprintf(vcd, "#%lld\n", lastChangeNs);
        for (int i = 0; i < port::kInputCount; ++i)
            if (((next ^ tracedInputs) >> i) & 1u) std::fprintf(vcd, "%u%c\n", (next >> i) & 1u, kInputId + i);
        tracedInputs = next;
    }

    // The inputs' levels at this read: the changes due by the steps written, a
    // change for some reads only while it has reads left.
    unsigned InputsNow() {
        const long long steps = writes / 2;
        unsigned levels = 0x1F;
        for (InputChange& change : inputChanges) {
            if (steps < change.step || change.reads < 0) continue;
            if (change.reads == 1) {
                change.reads = -1;  // this read is its last
            } else if (change.reads > 1) {
                --change.reads;
            }
            levels = WithChange(levels, change);
        }
        return levels;
    }

    void ShowStatusWhileDriving(long long nowNs) {
        // A few updates a second are enough to watch, and keep the terminal from
        // slowing the drive. The 0 of a step pulse lasts only until the next write,
        // so the line shows the pattern that the port holds through the pause.
        if (!statusLine || level == 0 || nowNs - lastStatusNs < 100'000'000) return;
        lastStatusNs = nowNs;
        ShowStatus();
    }

    void ShowStatus() const {
        char lines[9];
        for (int line = 0; line < 8; ++line) lines[line] = (level >> line) & 1u ? '1' : '0';
        lines[8] = '\0';
        std::fprintf(stderr, "\rD0..D7: %s  Schreibzugriffe: %lld ", lines, writes);
        std::fflush(stderr);
    }
};

SimulatedPort Simulated;  // the port this library simulates

short Bit(short value) { return static_cast<short>(value & 0xFF); }

}  // namespace

// Which data-line bit carries each signal (0: none), from the program before
// its first write; a program that never calls it gets the port as before.
PORT_EXPORT void PORT_CALL SetSignalBits(short xStep, short xDir, short yStep, short yDir, short zStep, short zDir) {
    Simulated.signals = {Bit(xStep), Bit(xDir), Bit(yStep), Bit(yDir), Bit(zStep), Bit(zDir)};
    Simulated.signalsKnown = true;
}
static_assert(std::is_same_v<decltype(&SetSignalBits), port::SetSignalBitsFunction>);

// So that the program can say that no hardware moves, and where to look instead.
PORT_EXPORT const char* PORT_CALL SimulatedPortFiles() {
    static std::string files;
    const std::string trace = AbsolutePath(TracePath());
    files = trace + "\n" + PicturePath(trace);
    return files.c_str();
}
static_assert(std::is_same_v<decltype(&SimulatedPortFiles), port::SimulatedPortFilesFunction>);

namespace {

// At the first call, read or write: what the port is and plays.
void Start(short address) {
    if (Simulated.started) return;
    Simulated.started = true;
    Simulated.base = address;
    std::fprintf(stderr, "Simulierter Parallelport an Adresse %d (0x%X): es wird keine Hardware angesteuert.\n", address,
                 static_cast<unsigned>(static_cast<unsigned short>(address)));
    // The program shows a progress line of its own where it sets PLOTTERTEST_HIDE_PORT_STATUS;
    // a terminal has room for one live line.
    Simulated.statusLine = IS_TERMINAL(stderr) != 0 && std::getenv("PLOTTERTEST_HIDE_PORT_STATUS") == nullptr;
    std::string problem;
    Simulated.driver = way::DriverTimesFromEnvironment(problem);
    if (!problem.empty()) std::fprintf(stderr, "Simulierter Parallelport: %s\n", problem.c_str());
    std::string fault;
    Simulated.fault = FaultFromEnvironment(fault);
    if (!fault.empty()) std::fprintf(stderr, "Simulierter Parallelport: %s\n", fault.c_str());
    std::string inputs;
    Simulated.inputChanges = InputsFromEnvironment(inputs);
    if (!inputs.empty()) std::fprintf(stderr, "Simulierter Parallelport: %s\n", inputs.c_str());
    // What the trace begins with: the changes due from the start, the spikes left for the reads.
    for (const InputChange& change : Simulated.inputChanges)
        if (change.step == 0 && change.reads == 0)
            Simulated.firstInputs = WithChange(Simulated.firstInputs, change);
    Simulated.inputs = Simulated.tracedInputs = Simulated.flushedInputs = Simulated.firstInputs;
}

// The status register: the five inputs, pin 11 inverted as the port's hardware does.
short ReadStatus() {
    const unsigned levels = Simulated.InputsNow();
    ++Simulated.statusReads;
    if (levels != Simulated.inputs) {
        Simulated.inputs = levels;
        Simulated.pending.push_back({0, static_cast<short>(levels), MonotonicNanoseconds(), 0, 0, true});
    }
    return static_cast<short>(port::StatusByte(levels));
}

}  // namespace

PORT_EXPORT short PORT_CALL Inp32(short address) {
    Start(address);
    ++Simulated.reads;
    if (address == static_cast<short>(Simulated.base + 1)) return ReadStatus();
    const Fault& fault = Simulated.fault;
    if (fault.addressLowByte) return Bit(address);
    if (fault.fixed >= 0) return static_cast<short>(fault.fixed);
    return static_cast<short>((Simulated.level | fault.stuckHigh) & ~fault.stuckLow & 0xFFu);
}
static_assert(std::is_same_v<decltype(&Inp32), port::Inp32Function>);

PORT_EXPORT void PORT_CALL Out32(short address, short value) {
    const long long nowNs = MonotonicNanoseconds();
    Start(address);
    if (Simulated.writes == 0) Simulated.startNs = nowNs;
    ++Simulated.writes;
    // The data register has eight lines; a ninth bit (two entries on pin 9) reaches none.
    const unsigned next = static_cast<unsigned>(value) & 0xFFu;
    for (int line = 0; line < 8; ++line)
        if ((next >> line & 1u) && !(Simulated.level >> line & 1u)) ++Simulated.risingEdges[line];
    Simulated.level = next;
#if defined(_WIN32)
    Simulated.pending.push_back({address, value, nowNs, -1, 0});
#else
    Simulated.pending.push_back({address, value, nowNs, sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, getpriority(PRIO_PROCESS, 0)});
#endif
    Simulated.ShowStatusWhileDriving(nowNs);
}
static_assert(std::is_same_v<decltype(&Out32), port::Out32Function>);

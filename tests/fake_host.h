#pragma once
// A host for the unit tests: every call is appended to a transcript, the clock
// moves only when it is read or events are pumped, message boxes answer from a
// script, and files are the real ones below a chosen program directory.

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace fake {

extern std::vector<std::string> transcript;
extern std::string programDirectory;  // where PathInProgramDirectory points
extern std::deque<int> answers;       // for boxes with OK and Cancel, in order
extern double clockMs;                // what the next reading returns, before its own advance
extern double msPerRead;              // the clock's advance at every reading
extern double msPerSpinRead;          // and before a reading right after another: a spin sees time pass
extern double msPerEventPass;         // the clock's advance at every event pass
// A wait ends this long before its deadline, at once when the deadline is nearer (then it refuses).
extern double waitStretchMs;
extern std::map<long long, double> lateMsAtWait;  // these waits (1 = the first) wake so much later: a busy machine
extern std::optional<Failure> bindFailure;  // thrown by the first Out32, as a port library that won't load

extern long long writeLimit;                // Out32 calls allowed before it throws WriteLimitReached
extern long long failingWrite;              // this Out32 (1 = the first) throws OutOfMemory, the others write
extern long long progressFailsAt;           // this ShowProgress (1 = the first) throws OutOfMemory, as a
                                            // progress text that finds no memory
// What Inp32 reads: the last value written (its low eight bits), before the
// first write `before`; with `fixed` at 0 or more that, whatever was written;
// and the stuck lines as they are stuck. Nothing with canRead false.
struct PortReads {
    bool canRead = true;
    int before = 0;
    int fixed = -1;
    unsigned stuckHigh = 0, stuckLow = 0;
};
extern PortReads portReads;
// What ReadStatus reads (nothing where portReads.canRead is false): `byte`,
// from the write given on (the count of writes done) the byte it names, and at
// the read given (1 = the first) the byte it names, for that read alone.
struct StatusReads {
    int byte = 0x78;  // every input high, as open inputs read
    std::map<long long, int> fromWrite;
    std::map<long long, int> atRead;
};
extern StatusReads statusReads;
extern int endShownFor;                     // EndShown returns true so many times: a window left open
extern double stopAtMs;                     // from this time on a stop is asked for: a wait ends then, and
extern int stopSignal;                      // the next event pass returns this signal

// Ends a drive that would run on for a long time (a step count of billions).
struct WriteLimitReached {};

// Back to an empty transcript, a clock at 0 that advances 0.25 ms per event pass and per reading
// right after a reading, waits that end
// 1 ms before their deadline, a bindable port that takes every value, no write limit or failing write,
// progress that never fails and no stop.
void Reset();

// The transcript as the drive shows it: the writes with their times ("Out32
// 888 3 at 15"), the waits and the stops, without the pause's clock readings,
// event passes and refused waits. What matters of a drive, whichever way the
// pause polls.
std::vector<std::string> DriveTranscript();

}  // namespace fake

#pragma once
// The five inputs of the connector (the status lines on pins 10, 11, 12, 13
// and 15, port/connector.h) as the drive reads them: what each read, where it
// changed, and the stop inputs of the wiring file (StopInputs) that are active.
// Levels are the connector's, a set of them one bit for each input in the
// order of port::kInputPins.

#include <cstddef>
#include <string>
#include <vector>

// A stop input that reads active is read again so much later, in ms, before
// the next pulse: one read alone may be noise from the motor leads.
constexpr double kConfirmInputMs = 1.0;

// The first read of a drive, before its first write: the inputs' levels from
// here on. Returns the stop inputs (indices into StopInputs) that are active.
std::vector<std::size_t> FirstInputs(unsigned levels);

// The stop input (index into StopInputs) that these levels make active, the
// first in the file's order; -1 for none.
int ActiveStopInput(unsigned levels);

// A read during the drive at `place` ("bei Seite 2/4 nach rechts, Schritt
// 10"): each input whose level changed is kept with its place. Returns a note
// for each change of an input that is no stop input, up to a limit for the
// whole drive, after which one note says that the end names the rest.
std::vector<std::string> TakeInputs(unsigned levels, const std::string& place);

// A stop input read active once and not 1 ms later, at `place`: kept as a
// spike for the end. Returns a note for it, as TakeInputs does.
std::vector<std::string> TakeSpike(std::size_t stopInput, const std::string& place);

// For the picture of the way: a name for each change, spike and trip since
// the last call ("Pin 12 (PAPER-OUT) auf 0", "Endschalter X rechts ausgelöst"),
// up to way::kPlannedNames for the drive.
std::vector<std::string> NewMarks();

// Whether a read has changed what InputLines says since it was last asked.
bool InputsChanged();

// The inputs as read so far: "Eingänge:" and a line for each input, its pin,
// the stop input's name and level, what it reads, where it changed or spiked
// and whether it was seen at both levels. Joined by "\n".
std::string InputLines();

// Why the drive does not begin: the active stop inputs with what each read,
// and the likely causes.
std::string NotBegunText(const std::vector<std::size_t>& active);

// "Endschalter X rechts (Pin 11) ausgelöst bei Seite 2/4 nach rechts, Schritt 10".
std::string TrippedText(std::size_t stopInput, const std::string& place);

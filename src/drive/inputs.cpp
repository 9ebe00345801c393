#include "drive/inputs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "config/pin_assignment.h"
#include "connector.h"
#include "text/wording.h"
#include "way/plan.h"

namespace {

// A drive that bounces a switch a thousand times must not bury its progress
// in notes, nor its end in places: so many are said, the rest counted.
constexpr int kNotesSaid = 20;
constexpr std::size_t kPlacesKept = 3;

struct InputRecord {
    int level = 0;
    bool seen[2] = {false, false};
    std::vector<std::string> changes;  // "auf 0 bei Seite 2/4 nach rechts, Schritt 10", the first kPlacesKept
    std::int64_t changeCount = 0;
    std::vector<std::string> spikes;
    std::int64_t spikeCount = 0;
};

// Made anew by FirstInputs, for each drive.
struct InputsRecord {
    std::array<InputRecord, port::kInputCount> inputs;
    int notesSaid = 0;
    bool changed = false;
    std::vector<std::string> marks;  // not yet taken by NewMarks
    std::size_t marksMade = 0;
};
InputsRecord Inputs;

int Level(unsigned levels, int input) { return static_cast<int>((levels >> input) & 1u); }

bool IsActive(const StopInput& stop, unsigned levels) {
    return Level(levels, port::InputIndex(stop.pin)) == stop.activeLevel;
}

// The stop input on this input, or nullptr.
const StopInput* StopInputOn(int input) {
    const auto stop = std::find_if(StopInputs.begin(), StopInputs.end(),
                                   [input](const StopInput& s) { return s.pin == port::kInputPins[input]; });
    return stop != StopInputs.end() ? &*stop : nullptr;
}

void Keep(std::vector<std::string>& places, std::int64_t& count, const std::string& text) {
    if (places.size() < kPlacesKept) places.push_back(text);
    ++count;
}

// The note for a change or spike, while notes are still said.
std::vector<std::string> Note(const std::string& text) {
    if (Inputs.notesSaid > kNotesSaid) return {};
    ++Inputs.notesSaid;
    if (Inputs.notesSaid > kNotesSaid) return {"Weitere Wechsel der Eingänge nennt das Ende der Fahrt."};
    return {text};
}

void Mark(const std::string& name) {
    if (Inputs.marksMade >= way::kPlannedNames) return;
    ++Inputs.marksMade;
    Inputs.marks.push_back(name);
}

std::string Places(const std::vector<std::string>& places, std::int64_t count, const char* more) {
    std::string text;
    for (const std::string& place : places) text += ", " + place;
    if (count > static_cast<std::int64_t>(places.size()))
        text += " und " + std::to_string(count - static_cast<std::int64_t>(places.size())) + more;
    return text;
}

}  // namespace

std::vector<std::size_t> FirstInputs(unsigned levels) {
    Inputs = InputsRecord{};
    Inputs.changed = true;
    for (int i = 0; i < port::kInputCount; ++i) {
        InputRecord& input = Inputs.inputs[static_cast<std::size_t>(i)];
        input.level = Level(levels, i);
        input.seen[input.level] = true;
    }
    std::vector<std::size_t> active;
    for (std::size_t s = 0; s < StopInputs.size(); ++s)
        if (IsActive(StopInputs[s], levels)) active.push_back(s);
    return active;
}

int ActiveStopInput(unsigned levels) {
    const auto active = std::find_if(StopInputs.begin(), StopInputs.end(),
                                     [levels](const StopInput& stop) { return IsActive(stop, levels); });
    return active != StopInputs.end() ? static_cast<int>(active - StopInputs.begin()) : -1;
}

std::vector<std::string> TakeInputs(unsigned levels, const std::string& place) {
    std::vector<std::string> notes;
    for (int i = 0; i < port::kInputCount; ++i) {
        InputRecord& input = Inputs.inputs[static_cast<std::size_t>(i)];
        const int level = Level(levels, i);
        if (level == input.level) continue;
        input.level = level;
        input.seen[level] = true;
        Inputs.changed = true;
        Keep(input.changes, input.changeCount, "auf " + std::to_string(level) + " " + place);
        // A stop input's change is the stop, which says it itself.
        if (const StopInput* stop = StopInputOn(i)) {
            Mark(stop->name + " ausgelöst");
            continue;
        }
        Mark(InputPinName(port::kInputPins[i]) + " auf " + std::to_string(level));
        const std::vector<std::string> said = Note("Eingang " + InputPinName(port::kInputPins[i]) + " wechselt auf " +
                                                   std::to_string(level) + " " + place + ".");
        notes.insert(notes.end(), said.begin(), said.end());
    }
    return notes;
}

std::vector<std::string> TakeSpike(std::size_t stopInput, const std::string& place) {
    const StopInput& stop = StopInputs[stopInput];
    InputRecord& input = Inputs.inputs[static_cast<std::size_t>(port::InputIndex(stop.pin))];
    input.seen[stop.activeLevel] = true;
    Inputs.changed = true;
    Keep(input.spikes, input.spikeCount, "auf " + std::to_string(stop.activeLevel) + " " + place);
    Mark("Störimpuls " + stop.name);
    return Note("Störimpuls an " + stop.name + " (Pin " + std::to_string(stop.pin) + "): einmal " +
                std::to_string(stop.activeLevel) + " gelesen " + place + ", " +
                wording::Decimal(kConfirmInputMs, 1, true) + " ms später nicht mehr; die Fahrt geht weiter.");
}

std::vector<std::string> NewMarks() { return std::exchange(Inputs.marks, {}); }

bool InputsChanged() {
    const bool changed = Inputs.changed;
    Inputs.changed = false;
    return changed;
}

std::string InputLines() {
    std::string text = "Eingänge:";
    for (int i = 0; i < port::kInputCount; ++i) {
        const InputRecord& input = Inputs.inputs[static_cast<std::size_t>(i)];
        const int pin = port::kInputPins[i];
        const port::ConnectorPin* row = port::FindPin(pin);
        text += "\nPin " + std::to_string(pin) + " (" + row->signal;
        if (const StopInput* stop = StopInputOn(i))
            text += ", " + stop->name + ", hält an bei " + std::to_string(stop->activeLevel);
        text += "): " + std::to_string(input.level);
        text += Places(input.changes, input.changeCount, " weitere Wechsel");
        if (input.spikeCount > 0)
            text += "; Störimpuls" + Places(input.spikes, input.spikeCount, " weitere").substr(1);
        if (input.seen[0] && input.seen[1]) text += "; beide Pegel gesehen";
    }
    return text;
}

std::string NotBegunText(const std::vector<std::size_t>& active) {
    std::string text = "Fahrt nicht begonnen: ";
    for (std::size_t i = 0; i < active.size(); ++i) {
        const StopInput& stop = StopInputs[active[i]];
        text += (i == 0 ? "" : i + 1 == active.size() ? " und " : ", ") + stop.name + " (Pin " +
                std::to_string(stop.pin) + ") liest " + std::to_string(stop.activeLevel) + ", hält an bei " +
                std::to_string(stop.activeLevel);
    }
    const StopInput& first = StopInputs[active.front()];
    return text + ". Es wurde nichts auf den Port geschrieben.\nMögliche Ursachen: Der Schalter ist gedrückt oder der "
                  "Not-Halt eingerastet. Ein Öffner-Kreis ist offen, auch durch einen Drahtbruch. Oder der Pegel in " +
           kPinAssignmentFileName + " ist verkehrt herum (Zeile " + std::to_string(first.line) + ": dann " +
           std::to_string(first.pin) + " " + std::to_string(1 - first.activeLevel) + ").";
}

std::string TrippedText(std::size_t stopInput, const std::string& place) {
    const StopInput& stop = StopInputs[stopInput];
    return stop.name + " (Pin " + std::to_string(stop.pin) + ") ausgelöst " + place;
}

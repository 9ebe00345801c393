#include "config/pin_assignment.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>

#include "connector.h"

#include "platform/failure.h"
#include "platform/platform.h"

PinAssignmentRecord PinAssignment;
ConnectorPinsRecord ConnectorPins;
std::string PinAssignmentPath;
std::vector<StopInput> StopInputs;
std::vector<std::string> StopInputProblems;

const char* const kPinAssignmentFileName = "Pinbelegung.txt";

namespace {

constexpr int kPortAddressValueLine = 22;
constexpr int kStepsPerSideValueLine = 24;

// The entries by the names the sample file's captions give them.
const char* const kEntryNames[12] = {
    "Pin X-Achse Schritt", "Pin X-Achse Richtung", "X-Achse Faktor", "Pin Y-Achse Schritt",
    "Pin Y-Achse Richtung", "Y-Achse Faktor",      "Pin Z-Achse Schritt", "Pin Z-Achse Richtung",
    "Z-Achse Faktor",      "Bemerkung",            "Portadresse",         "Schritte je Seite"};

const char* const kDecimalAccepted = "eine Dezimalzahl mit Komma oder Punkt, z. B. 80,0";

// What a pin entry accepts: "eine ganze Zahl von 0 bis 17 (2 bis 9 sind die Datenleitungen D0 bis D7)".
std::string PinAccepted(std::size_t pins) {
    return "eine ganze Zahl von 0 bis " + std::to_string(pins - 1) + " (" + std::to_string(kFirstDataPin) + " bis " +
           std::to_string(kLastDataPin) + " sind die Datenleitungen " + DataLineName(kFirstDataPin) + " bis " +
           DataLineName(kLastDataPin) + ")";
}

// "Pinbelegung.txt, Zeile 2, „Pin X-Achse Schritt“"; a caption line (odd) is named as the caption of its entry.
std::string LineSource(int line) {
    const std::string name = std::string("„") + kEntryNames[(line - 1) / 2 % 12] + "“";
    return std::string(kPinAssignmentFileName) + ", Zeile " + std::to_string(line) + ", " +
           (line % 2 == 0 ? name : "Überschrift zu " + name);
}

// At most so many entries after line 24 are named one by one; a file that
// goes on with pages of notes gets one line for the rest.
constexpr std::size_t kProblemsNamed = 5;

// A whole number of decimal digits alone, as a pin or a level; -1 for anything else.
int SmallNumber(const std::string& text) {
    if (text.empty() || text.size() > 4 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stoi(text);
}

// The words of a value line, split at blanks.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
        const std::size_t end = text.find_first_of(" \t", at);
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// The stop input an entry after line 24 names, or in `problem` why it names none.
std::optional<StopInput> ReadStopInput(const std::string& caption, const std::string& value, int valueLine,
                                       std::string& problem) {
    const std::string name = TextToShow(caption);
    const std::string place = std::string(kPinAssignmentFileName) + ", Zeile " + std::to_string(valueLine) +
                              (name.empty() ? std::string() : " („" + name + "“)");
    const std::vector<std::string> words = Words(value);
    const int pin = words.empty() ? -1 : SmallNumber(words[0]);
    const int level = words.size() == 2 ? SmallNumber(words[1]) : -1;
    // One short line each: on a small screen the window has room for few.
    const auto unused = [&](const std::string& why) {
        problem = "Achtung: " + place + ": " + why + " und wird nicht verwendet.";
        return std::nullopt;
    };
    if (pin >= 0 && port::InputIndex(pin) < 0 && words.size() <= 2)
        return unused(InputPinName(pin) + " ist kein Eingang (nur 10, 11, 12, 13 und 15)");
    if (pin < 0 || words.size() != 2 || level < 0 || level > 1)
        return unused(QuoteForReport(value) + (value.empty() ? " (leer)" : "") +
                      " ist kein Eingang mit Pegel wie „11 0“");
    const auto before = std::find_if(StopInputs.begin(), StopInputs.end(),
                                     [pin](const StopInput& input) { return input.pin == pin; });
    if (before != StopInputs.end())
        return unused(InputPinName(pin) + " ist schon in Zeile " + std::to_string(before->line) + " genannt");
    return StopInput{name.empty() ? "Stoppeingang" : name, pin, level, valueLine};
}

struct FileCloser {
    void operator()(host::TextFile* file) const { host::CloseTextFile(file); }
};

}  // namespace

std::string DataLineName(std::int32_t pin) {
    const port::ConnectorPin* row = port::FindPin(pin);
    return row != nullptr && row->reg == port::Register::Data ? row->signal : "";
}

std::string InputPinName(std::int32_t pin) {
    const port::ConnectorPin* row = port::FindPin(pin);
    return "Pin " + std::to_string(pin) + (row != nullptr && row->input ? std::string(" (") + row->signal + ")" : "");
}

// Made once: the drive passes them at every port write, between the two writes of a pulse.
const ValueSource& PortAddressSource() {
    static const ValueSource source{LineSource(kPortAddressValueLine), "-32768 bis 32767 dezimal oder 0x0 bis 0xFFFF"};
    return source;
}
const ValueSource& StepsPerSideSource() {
    static const ValueSource source{LineSource(kStepsPerSideValueLine), "eine ganze Zahl"};
    return source;
}

void LoadPinAssignment() {
    std::array<BitValue, 18> PinBitTable{};  // indexed by connector pin 0..17

    const std::string path = host::PathInProgramDirectory(kPinAssignmentFileName);
    if (!host::IsOrdinaryFile(path)) throw Failure{FailureKind::PinAssignmentMissing, path};
    PinAssignmentPath = path;

    for (const port::ConnectorPin& row : port::kConnector)
        if (row.reg == port::Register::Data) PinBitTable[static_cast<std::size_t>(row.pin)] = static_cast<std::int16_t>(1 << row.bit);
    const std::string pinAccepted = PinAccepted(PinBitTable.size());

    const std::unique_ptr<host::TextFile, FileCloser> file(host::OpenTextFile(path));
    int lineNumber = 0;
    // After the 24 lines the file may end: then nothing.
    const auto readLineOrEnd = [&](bool mayEnd) -> std::optional<std::string> {
        std::string line;
        ++lineNumber;
        bool read = false;
        try {
            read = host::ReadTextLine(file.get(), line);
        } catch (const std::bad_alloc&) {
            std::string().swap(line);  // give back what the line took, for the report
            throw Failure{FailureKind::OutOfMemory, LineSource(lineNumber) +
                                                        ": die Zeile passt nicht in den Arbeitsspeicher (fehlen "
                                                        "Zeilenenden?)"};
        }
        if (!read && mayEnd) return std::nullopt;
        if (!read)
            throw Failure{FailureKind::InputPastEndOfFile,
                          LineSource(lineNumber) + ": die Datei endet nach " + std::to_string(lineNumber - 1) +
                              " von 24 Zeilen"};
        return line;
    };
    const auto readLine = [&] { return *readLineOrEnd(false); };
    // Each entry is a caption for the human reader, then the value.
    const auto readValue = [&] {
        readLine();
        return readLine();
    };
    const auto pinEntry = [&](std::int32_t& pinRead) {
        const std::string text = readValue();
        const ValueSource source{LineSource(lineNumber), pinAccepted};
        const std::int32_t pin = ConvertPinNumber(text, source);
        if (pin < 0 || pin >= static_cast<std::int32_t>(PinBitTable.size()))
            throw Failure{FailureKind::SubscriptOutOfRange, ValueReport(text, source)};
        pinRead = pin;
        return PinBitTable[static_cast<std::size_t>(pin)];
    };
    const auto decimalEntry = [&] {
        const std::string text = readValue();
        return ConvertDecimal(text, {LineSource(lineNumber), kDecimalAccepted});
    };

    PinAssignment.XStepBit = pinEntry(ConnectorPins.XStep);
    PinAssignment.XDirBit = pinEntry(ConnectorPins.XDir);
    PinAssignment.XDecimal = decimalEntry();
    PinAssignment.YStepBit = pinEntry(ConnectorPins.YStep);
    PinAssignment.YDirBit = pinEntry(ConnectorPins.YDir);
    PinAssignment.YDecimal = decimalEntry();
    PinAssignment.ZStepBit = pinEntry(ConnectorPins.ZStep);
    PinAssignment.ZDirBit = pinEntry(ConnectorPins.ZDir);
    PinAssignment.ZDecimal = decimalEntry();
    PinAssignment.TextEntry = readValue();
    PinAssignment.PortAddress = readValue();
    PinAssignment.StepsPerSide = readValue();

    // Past the 24 lines, optional entries of two lines each name stop inputs.
    StopInputs.clear();
    StopInputProblems.clear();
    std::size_t problems = 0;
    int firstUnnamed = 0, lastUnnamed = 0;
    const auto unused = [&](const std::string& problem) {
        if (++problems <= kProblemsNamed) {
            StopInputProblems.push_back(problem);
            return;
        }
        if (firstUnnamed == 0) firstUnnamed = lineNumber - 1;
        lastUnnamed = lineNumber;
    };
    for (;;) {
        const std::optional<std::string> captionRead = readLineOrEnd(true);
        if (!captionRead) break;
        const std::string& caption = *captionRead;
        const std::optional<std::string> valueRead = readLineOrEnd(true);
        const std::string value = valueRead.value_or("");
        const bool blank = Words(caption).empty() && Words(value).empty();
        if (!valueRead) {
            // A file that ends in a blank line has said nothing more.
            if (!blank)
                unused("Achtung: " + std::string(kPinAssignmentFileName) + ", Zeile " + std::to_string(lineNumber - 1) +
                       ": " + QuoteForReport(caption) + " hat keine Zeile mit Pin und Pegel und wird nicht verwendet.");
            break;
        }
        if (blank) continue;  // spare lines between entries
        std::string problem;
        if (const std::optional<StopInput> input = ReadStopInput(caption, value, lineNumber, problem))
            StopInputs.push_back(*input);
        else
            unused(problem);
    }
    if (firstUnnamed != 0)
        StopInputProblems.push_back("Achtung: " + std::string(kPinAssignmentFileName) + ", Zeilen " +
                                    std::to_string(firstUnnamed) + " bis " + std::to_string(lastUnnamed) + ": " +
                                    std::to_string(problems - kProblemsNamed) +
                                    " weitere Einträge sind kein Eingang und werden nicht verwendet.");
}

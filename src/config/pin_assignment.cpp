#include "config/pin_assignment.h"

#include <array>
#include <memory>
#include <new>

#include "platform/failure.h"
#include "platform/platform.h"

PinAssignmentRecord PinAssignment;
ConnectorPinsRecord ConnectorPins;
std::string PinAssignmentPath;

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

struct FileCloser {
    void operator()(host::TextFile* file) const { host::CloseTextFile(file); }
};

}  // namespace

std::string DataLineName(std::int32_t pin) { return "D" + std::to_string(pin - kFirstDataPin); }

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

    std::int16_t bit = 1;
    for (std::int32_t pin = kFirstDataPin; pin <= kLastDataPin; ++pin, bit = static_cast<std::int16_t>(bit * 2))
        PinBitTable[static_cast<std::size_t>(pin)] = bit;
    const std::string pinAccepted = PinAccepted(PinBitTable.size());

    const std::unique_ptr<host::TextFile, FileCloser> file(host::OpenTextFile(path));
    int lineNumber = 0;
    const auto readLine = [&] {
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
        if (!read)
            throw Failure{FailureKind::InputPastEndOfFile,
                          LineSource(lineNumber) + ": die Datei endet nach " + std::to_string(lineNumber - 1) +
                              " von 24 Zeilen"};
        return line;
    };
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
}

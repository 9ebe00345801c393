#include "config/pin_assignment.h"

#include <array>
#include <memory>
#include <new>

#include "platform/failure.h"
#include "platform/platform.h"

PinAssignmentRecord PinAssignment;

const char* const kPinAssignmentFileName = "Pinbelegung.txt";

namespace {

constexpr int kPortAddressValueLine = 22;
constexpr int kStepsPerSideValueLine = 24;

std::string LineSource(int line) { return std::string(kPinAssignmentFileName) + ", Zeile " + std::to_string(line); }

[[noreturn]] void ReportMissingFile() {
    host::ShowMessageBox(
        "Achtung !\r"
        "Es fehlt die Datei :  Pinbelegung.txt !\r"
        "Ohne diese Datei kann dieses Programm leider nicht ordnungsgemäß funktionieren!",
        "Datei fehlt!", host::Buttons::Ok, host::Icon::Critical);
    host::EndProgram(2);
}

struct FileCloser {
    void operator()(host::TextFile* file) const { host::CloseTextFile(file); }
};

}  // namespace

std::string PortAddressSource() { return "Portadresse (" + LineSource(kPortAddressValueLine) + ")"; }
std::string StepsPerSideSource() { return "Schritte je Seite (" + LineSource(kStepsPerSideValueLine) + ")"; }

void LoadPinAssignment() {
    std::array<BitValue, 18> PinBitTable{};  // indexed by connector pin 0..17

    const std::string path = host::PathInProgramDirectory(kPinAssignmentFileName);
    if (!host::IsOrdinaryFile(path)) ReportMissingFile();

    // Pins 2 to 9 are the data lines D0 to D7 of the 25-pin connector.
    std::int16_t bit = 1;
    for (int pin = 2; pin <= 9; ++pin, bit = static_cast<std::int16_t>(bit * 2)) PinBitTable[pin] = bit;

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
    const auto pinEntry = [&] {
        const std::string text = readValue();
        const std::int32_t pin = ConvertPinNumber(text, LineSource(lineNumber));
        if (pin < 0 || pin >= static_cast<std::int32_t>(PinBitTable.size()))
            throw Failure{FailureKind::SubscriptOutOfRange,
                          LineSource(lineNumber) + ": Pin " + QuoteForReport(text) + " liegt nicht in 0 bis 17"};
        return PinBitTable[static_cast<std::size_t>(pin)];
    };
    const auto decimalEntry = [&] {
        const std::string text = readValue();
        return ConvertDecimal(text, LineSource(lineNumber));
    };

    PinAssignment.XStepBit = pinEntry();
    PinAssignment.XDirBit = pinEntry();
    PinAssignment.XDecimal = decimalEntry();
    PinAssignment.YStepBit = pinEntry();
    PinAssignment.YDirBit = pinEntry();
    PinAssignment.YDecimal = decimalEntry();
    PinAssignment.ZStepBit = pinEntry();
    PinAssignment.ZDirBit = pinEntry();
    PinAssignment.ZDecimal = decimalEntry();
    PinAssignment.TextEntry = readValue();
    PinAssignment.PortAddress = readValue();
    PinAssignment.StepsPerSide = readValue();
}

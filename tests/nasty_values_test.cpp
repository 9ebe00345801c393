// Every value line of the wiring file set to each of a list of nasty values:
// which failure it raises, and when: while loading, or only when the drive
// converts it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/pin_assignment.h"
#include "drive/drive.h"
#include "fake_host.h"
#include "platform/failure.h"
#include "test_files.h"

namespace {

enum class Entry : std::uint8_t { Pin, Decimal, Text, Port, Steps };

// The value lines in file order (line 2, 4, ... 24).
const Entry kEntries[12] = {Entry::Pin, Entry::Pin,     Entry::Decimal, Entry::Pin,  Entry::Pin,  Entry::Decimal,
                            Entry::Pin, Entry::Pin,     Entry::Decimal, Entry::Text, Entry::Port, Entry::Steps};

// "" where the value loads and drives; else the moment and the failure kind's name.
struct Expected {
    std::string pin, decimal, port, steps;
};

const std::string kLoadMismatch = "Laden: Typen unverträglich";
const std::string kLoadOverflow = "Laden: Überlauf";
const std::string kDriveMismatch = "Fahrt: Typen unverträglich";
const std::string kDriveOverflow = "Fahrt: Überlauf";

std::string Outcome() {
    try {
        LoadPinAssignment();
    } catch (const Failure& failure) {
        return std::string("Laden: ") + FailureKindName(failure.kind);
    }
    try {
        DriveTestRectangle();
    } catch (const Failure& failure) {
        return std::string("Fahrt: ") + FailureKindName(failure.kind);
    } catch (const fake::WriteLimitReached&) {  // NOLINT(bugprone-empty-catch): the limit ends a long drive, no failure
        // A step count of billions drives as it should; the first pulses show it.
    }
    return "";
}

TEST(NastyValues, EachValueLineFailsWithItsKindAtItsMoment) {
    const std::string digits400(400, '9');
    const struct {
        std::string value;
        Expected expected;
    } values[] = {
        {"", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"   ", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"-", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"+3", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"3.5", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"1e3", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"0x378", {kLoadMismatch, "", "", kDriveMismatch}},
        {"2147483648", {kLoadOverflow, "", kDriveOverflow, ""}},
        {"-2147483649", {kLoadOverflow, "", kDriveOverflow, ""}},
        {digits400, {kLoadOverflow, kLoadOverflow, kDriveOverflow, kDriveOverflow}},
        {std::string("3\0", 2), {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"\xE4\xF6\xFC", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
        {"\xC3\xA4", {kLoadMismatch, "", kDriveMismatch, kDriveMismatch}},
    };
    ScratchDirectory dir;
    for (const auto& v : values) {
        for (int entry = 0; entry < 12; ++entry) {
            fake::Reset();
            fake::programDirectory = dir.path();
            fake::writeLimit = 20;
            std::vector<std::string> lines = SampleLines();
            lines[23] = "1";
            lines[2 * static_cast<std::size_t>(entry) + 1] = v.value;
            WriteLines(dir / "Pinbelegung.txt", lines);

            const Entry kind = kEntries[entry];
            const std::string expected = kind == Entry::Pin       ? v.expected.pin
                                         : kind == Entry::Decimal ? v.expected.decimal
                                         : kind == Entry::Port    ? v.expected.port
                                         : kind == Entry::Steps   ? v.expected.steps
                                                                  : "";
            EXPECT_EQ(Outcome(), expected) << "line " << 2 * entry + 2 << " = \"" << v.value << "\"";
        }
    }
}

TEST(NastyValues, DriveFailuresComeBeforeAnyWrite) {
    // A bad step count stops before the first pause; a bad address after it, at the first write.
    const struct {
        int line;
        std::string value;
        std::vector<std::string> before;
    } cases[] = {
        {24, "", {}},
        {24, "1,5", {}},
        {22, "0x10000", {"SetSignalBits 1 2 4 8 16 32", "BeginDrive 400", "Wait 15", "EndDrive"}},
        {22, "LPT1", {"SetSignalBits 1 2 4 8 16 32", "BeginDrive 400", "Wait 15", "EndDrive"}},
    };
    ScratchDirectory dir;
    for (const auto& c : cases) {
        fake::Reset();
        fake::programDirectory = dir.path();
        std::vector<std::string> lines = SampleLines();
        lines[static_cast<std::size_t>(c.line - 1)] = c.value;
        WriteLines(dir / "Pinbelegung.txt", lines);
        LoadPinAssignment();
        fake::transcript.clear();

        EXPECT_THROW(DriveTestRectangle(), Failure);
        EXPECT_EQ(fake::DriveTranscript(), c.before) << "line " << c.line << " = " << c.value;
    }
}

}  // namespace

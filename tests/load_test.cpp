#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/pin_assignment.h"
#include "fake_host.h"
#include "platform/failure.h"
#include "test_files.h"

namespace {

const std::string kMissingFileBox =
    "MessageBox Datei fehlt! [OK] critical: Achtung !\rEs fehlt die Datei :  Pinbelegung.txt !\r"
    "Ohne diese Datei kann dieses Programm leider nicht ordnungsgemäß funktionieren!";

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        fake::programDirectory = dir.path();
        PinAssignment = PinAssignmentRecord{};
    }
    std::string file() const { return dir / "Pinbelegung.txt"; }

    // The transcript of a load that reads `lines` lines and closes the file.
    static std::vector<std::string> ReadingTranscript(int lines, bool endReached) {
        std::vector<std::string> expected = {"PathInProgramDirectory Pinbelegung.txt", "IsOrdinaryFile",
                                             "OpenTextFile"};
        expected.insert(expected.end(), static_cast<std::size_t>(lines), "ReadTextLine");
        if (endReached) expected.push_back("ReadTextLine: Dateiende");
        expected.push_back("CloseTextFile");
        return expected;
    }

    // The failure that loading the file throws, or nothing.
    static std::optional<Failure> LoadFailure() {
        try {
            LoadPinAssignment();
        } catch (const Failure& failure) {
            return failure;
        }
        return std::nullopt;
    }

    ScratchDirectory dir;
};

TEST_F(LoadTest, FillsEveryFieldAndReadsExactly24Lines) {
    std::vector<std::string> lines = SampleLines();
    for (int extra = 25; extra <= 30; ++extra) lines.push_back("ungelesen " + std::to_string(extra));
    WriteLines(file(), lines);

    LoadPinAssignment();

    EXPECT_EQ(fake::transcript, ReadingTranscript(24, false));
    EXPECT_EQ(PinAssignment.XStepBit, BitValue(1));
    EXPECT_EQ(PinAssignment.XDirBit, BitValue(2));
    EXPECT_DOUBLE_EQ(PinAssignment.XDecimal, 80.5);
    EXPECT_EQ(PinAssignment.YStepBit, BitValue(4));
    EXPECT_EQ(PinAssignment.YDirBit, BitValue(8));
    EXPECT_DOUBLE_EQ(PinAssignment.YDecimal, 40.25);
    EXPECT_EQ(PinAssignment.ZStepBit, BitValue(16));
    EXPECT_EQ(PinAssignment.ZDirBit, BitValue(32));
    EXPECT_DOUBLE_EQ(PinAssignment.ZDecimal, 0.0);
    EXPECT_EQ(PinAssignment.TextEntry, " frei ");
    EXPECT_EQ(PinAssignment.PortAddress, "888");
    EXPECT_EQ(PinAssignment.StepsPerSide, "100");
}

TEST_F(LoadTest, PinsMapToDataLineBitsAndOtherPinsToEmpty) {
    const struct {
        std::string pin;
        BitValue bit;
    } cases[] = {{"0", {}}, {"1", {}},   {"2", 1},    {"3", 2},   {"4", 4},   {"5", 8},    {"6", 16},
                 {"7", 32}, {"8", 64},   {"9", 128},  {"10", {}}, {"17", {}}, {" 9 ", 128}};
    for (const auto& c : cases) {
        std::vector<std::string> lines = SampleLines();
        lines[1] = c.pin;
        WriteLines(file(), lines);
        LoadPinAssignment();
        EXPECT_EQ(PinAssignment.XStepBit, c.bit) << "pin " << c.pin;
    }
}

TEST_F(LoadTest, LineEndsAndByteOrderMarkDoNotChangeWhatIsRead) {
    const struct {
        const char* name;
        std::string text;
    } variants[] = {
        {"CR LF", ""},
        {"LF", ""},
        {"last line without line end", ""},
        {"byte-order mark", "\xEF\xBB\xBF"},
        {"empty captions", ""},
    };
    for (const auto& v : variants) {
        std::vector<std::string> lines = SampleLines();
        const std::string name = v.name;
        const std::string lineEnd = name == "LF" ? "\n" : "\r\n";
        if (name == "empty captions")
            for (std::size_t i = 0; i < lines.size(); i += 2) lines[i].clear();
        std::string text = v.text;
        for (const std::string& line : lines) text += line + lineEnd;
        if (name == "last line without line end") text.resize(text.size() - 2);
        WriteText(file(), text);
        PinAssignment = PinAssignmentRecord{};

        LoadPinAssignment();

        EXPECT_EQ(PinAssignment.XStepBit, BitValue(1)) << name;
        EXPECT_EQ(PinAssignment.TextEntry, " frei ") << name;
        EXPECT_EQ(PinAssignment.StepsPerSide, "100") << name;
    }
}

TEST_F(LoadTest, BadValueLinesStopTheLoadWithKindLineEntryAndWhatWouldDo) {
    const std::string kPin = ", erwartet eine ganze Zahl von 0 bis 17 (2 bis 9 sind die Datenleitungen D0 bis D7)";
    const struct {
        int line;  // 1-based
        std::string value;
        FailureKind kind;
        std::string detail;
    } cases[] = {
        {2, "18", FailureKind::SubscriptOutOfRange, "Pinbelegung.txt, Zeile 2, „Pin X-Achse Schritt“: gelesen „18“" + kPin},
        {4, "-1", FailureKind::SubscriptOutOfRange, "Pinbelegung.txt, Zeile 4, „Pin X-Achse Richtung“: gelesen „-1“" + kPin},
        {8, "vier", FailureKind::TypeMismatch, "Pinbelegung.txt, Zeile 8, „Pin Y-Achse Schritt“: gelesen „vier“" + kPin},
        {16, "", FailureKind::TypeMismatch, "Pinbelegung.txt, Zeile 16, „Pin Z-Achse Richtung“: gelesen „“ (leer)" + kPin},
        {14, "2147483648", FailureKind::Overflow,
         "Pinbelegung.txt, Zeile 14, „Pin Z-Achse Schritt“: gelesen „2147483648“" + kPin},
        {6, "1e999", FailureKind::Overflow,
         "Pinbelegung.txt, Zeile 6, „X-Achse Faktor“: gelesen „1e999“, erwartet eine Dezimalzahl mit Komma oder Punkt, "
         "z. B. 80,0"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = SampleLines();
        lines[static_cast<std::size_t>(c.line - 1)] = c.value;
        WriteLines(file(), lines);
        fake::transcript.clear();

        const std::optional<Failure> failure = LoadFailure();

        ASSERT_TRUE(failure) << "line " << c.line;
        EXPECT_EQ(failure->kind, c.kind) << "line " << c.line;
        EXPECT_EQ(failure->detail, c.detail);
        EXPECT_EQ(fake::transcript, ReadingTranscript(c.line, false)) << "stops at the bad line, file closed";
    }
}

TEST_F(LoadTest, BadPortAddressAndStepCountLoadWithoutComplaint) {
    std::vector<std::string> lines = SampleLines();
    lines[21] = "Druckerport";
    lines[23] = "";
    WriteLines(file(), lines);
    LoadPinAssignment();
    EXPECT_EQ(PinAssignment.PortAddress, "Druckerport");
    EXPECT_EQ(PinAssignment.StepsPerSide, "");
}

TEST_F(LoadTest, ShortFileStopsAtTheFirstMissingLine) {
    std::vector<std::string> lines = SampleLines();
    lines.pop_back();
    WriteLines(file(), lines);

    const std::optional<Failure> failure = LoadFailure();

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, FailureKind::InputPastEndOfFile);
    EXPECT_EQ(failure->detail, "Pinbelegung.txt, Zeile 24, „Schritte je Seite“: die Datei endet nach 23 von 24 Zeilen");
    EXPECT_EQ(fake::transcript, ReadingTranscript(23, true));
}

TEST_F(LoadTest, MissingFileOrDirectoryOfThatNameShowsTheMessageAndEnds) {
    for (const bool directory : {false, true}) {
        if (directory) std::filesystem::create_directory(file());
        fake::transcript.clear();
        try {
            LoadPinAssignment();
            FAIL() << "returned";
        } catch (const fake::ProgramEnded& ended) {
            EXPECT_EQ(ended.status, 2);
        }
        const std::vector<std::string> expected = {"PathInProgramDirectory Pinbelegung.txt", "IsOrdinaryFile",
                                                   kMissingFileBox,
                                                   "Console error: plottertest: Pinbelegung.txt fehlt; gesucht wurde " +
                                                       file() + " (neben dem Programm).",
                                                   "EndProgram 2"};
        EXPECT_EQ(fake::transcript, expected) << (directory ? "directory" : "missing");
    }
}

}  // namespace

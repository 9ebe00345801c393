#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "config/pin_assignment.h"
#include "drive/wiring_view.h"
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

TEST_F(LoadTest, FillsEveryFieldAndReadsWhatFollowsAsEntries) {
    std::vector<std::string> lines = SampleLines();
    for (int extra = 25; extra <= 30; ++extra) lines.push_back("Notiz " + std::to_string(extra));
    WriteLines(file(), lines);

    LoadPinAssignment();

    // Lines 25 to 30 are three entries that name no input: they load, and are not used.
    EXPECT_EQ(fake::transcript, ReadingTranscript(30, true));
    EXPECT_TRUE(StopInputs.empty());
    EXPECT_EQ(StopInputProblems.size(), 3u);
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
        std::string before;  // the bytes before the first line
        std::string lineEnd;
        bool emptyCaptions;
        bool lastLineEndCut;
    } variants[] = {
        {"CR LF", "", "\r\n", false, false},
        {"LF", "", "\n", false, false},
        {"last line without line end", "", "\r\n", false, true},
        {"byte-order mark", "\xEF\xBB\xBF", "\r\n", false, false},
        {"empty captions", "", "\r\n", true, false},
    };
    for (const auto& v : variants) {
        std::vector<std::string> lines = SampleLines();
        if (v.emptyCaptions)
            for (std::size_t i = 0; i < lines.size(); i += 2) lines[i].clear();
        std::string text = v.before;
        for (const std::string& line : lines) text += line + v.lineEnd;
        if (v.lastLineEndCut) text.resize(text.size() - v.lineEnd.size());
        WriteText(file(), text);
        PinAssignment = PinAssignmentRecord{};

        LoadPinAssignment();

        EXPECT_EQ(PinAssignment.XStepBit, BitValue(1)) << v.name;
        EXPECT_EQ(PinAssignment.TextEntry, " frei ") << v.name;
        EXPECT_EQ(PinAssignment.StepsPerSide, "100") << v.name;
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
        const Failure got = failure.value_or(Failure{});  // never the default: ASSERT_TRUE returned on none
        EXPECT_EQ(got.kind, c.kind) << "line " << c.line;
        EXPECT_EQ(got.detail, c.detail);
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

TEST_F(LoadTest, WiringIsSummarisedAndWhatCannotWorkIsNamed) {
    const std::string kNoPort = " erreicht den Port nicht (nur Pin 2 bis 9 sind Datenleitungen); die X-Achse ";
    const std::string kBoth = "das Signal der einen Achse erreicht auch die andere, deren Motor sich dann mitbewegen kann.";
    const std::string kSteps = "Achtung: Pinbelegung.txt, Zeile 24, „Schritte je Seite“: gelesen ";
    const std::string kFails = "; nach OK endet das Programm mit einer Fehlermeldung, bevor etwas geschrieben wird.";
    const std::string kMeant = "; gemeint ist wohl ";
    const std::string kRectangle =
        "Erwarteter Weg: Rechteck 100 × 100 Schritte (nach vorne × nach rechts), zurück am Start.";
    const struct {
        std::vector<std::pair<int, std::string>> values;  // value line, text
        std::vector<std::string> factsHave;  // among "X <step> / <dir>", Y and Z so, "<port>; <steps>", <portShort>
        std::vector<std::string> warnings;
        std::vector<std::string> way = {"?"};  // the expected way's lines; "?": not looked at
        const char* driver = "";            // PLOTTERTEST_DRIVER_US
        const char* readBack = "";          // PLOTTERTEST_READBACK
    } cases[] = {
        {{},
         {"X Pin 2 (D0) / Pin 3 (D1)", "Y Pin 4 (D2) / Pin 5 (D3)", "Z Pin 6 (D4) / Pin 7 (D5)",
          "Port 888 (0x378); 100 Schritte je Seite, 400 Schritte in etwa 6 s", "Port 0x378"},
         {},
         {kRectangle}},
        {{{2, "12"}},
         {"X Pin 12 (keine Datenleitung) / Pin 3 (D1)"},
         {"Achtung: X-Schritt auf Pin 12" + kNoPort + "bewegt sich nicht."},
         {"Erwarteter Weg: kein Rechteck, sondern 2 Teilstrecken über bis zu 100 Schritte vorne–hinten und 0 Schritte "
          "links–rechts; zurück am Start."}},
        // The figures the simulated port would check against, or the defaults with a word why.
        {{}, {}, {"Achtung: Der Wert „10;10;200;200“ von PLOTTERTEST_DRIVER_US nennt nicht vier Zeiten in µs, durch Kommas "
                  "getrennt: Impuls, Pause, Vorhalt, Nachhalt (etwa 10,10,200,200; Bruchteile mit Punkt, etwa 2.5); "
                  "geprüft wird für 10/10/200/200 µs."},
         {kRectangle}, "10;10;200;200"},
        {{{4, "0"}}, {}, {"Achtung: X-Richtung auf Pin 0" + kNoPort + "fährt hin und zurück in dieselbe Richtung."}},
        {{{8, "3"}, {10, "3"}},
         {},
         {"Achtung: X-Richtung und Y-Schritt beide auf Pin 3 (D1): " + kBoth,
          "Achtung: X-Richtung und Y-Richtung beide auf Pin 3 (D1): " + kBoth,
          "Achtung: Y-Schritt und Y-Richtung beide auf Pin 3 (D1): Seite 1 setzt stattdessen D2 (Pin 4); die Y-Achse "
          "bewegt sich auf Seite 1 nicht, und auf Seite 3 ist ihre Richtungsleitung bei jedem Schritt an: sie fährt "
          "dort nach vorne statt zurück."}},
        {{{2, "3"}},
         {},
         {"Achtung: X-Schritt und X-Richtung beide auf Pin 3 (D1): Seite 2 setzt stattdessen D2 (Pin 4), die Leitung "
          "von Y-Schritt; die X-Achse bewegt sich auf Seite 2 nicht, und auf Seite 4 ist ihre Richtungsleitung bei "
          "jedem Schritt an: sie fährt dort nach rechts statt nach links."}},
        {{{8, "9"}, {10, "9"}},
         {},
         {"Achtung: Y-Schritt und Y-Richtung beide auf Pin 9 (D7): Seite 1 setzt stattdessen keine Datenleitung (doppelt "
          "D7 ist 256, über D7 hinaus); die Y-Achse bewegt sich auf Seite 1 nicht, und auf Seite 3 ist ihre "
          "Richtungsleitung bei jedem Schritt an: sie fährt dort nach vorne statt zurück."}},
        {{{14, "2"}}, {}, {"Achtung: X-Schritt und Z-Schritt beide auf Pin 2 (D0): " + kBoth}},
        {{{24, "0"}},
         {"Port 888 (0x378); 0 Schritte je Seite, es wird nichts bewegt"},
         {kSteps + "„0“, es wird nichts bewegt; nach OK wird nur einmal 0 auf den Port geschrieben."}},
        {{{22, "abc"}},
         {"Port „abc“ (keine gültige Adresse); 100 Schritte je Seite, 400 Schritte in etwa 6 s",
          "Port „abc“ (keine gültige Adresse)"},
         {"Achtung: Pinbelegung.txt, Zeile 22, „Portadresse“: gelesen „abc“, erwartet -32768 bis 32767 dezimal oder 0x0 "
          "bis 0xFFFF" + kFails}},
        {{{24, ""}},
         {"Port 888 (0x378); Schritte je Seite „“ (keine ganze Zahl)"},
         {kSteps + "„“ (leer), erwartet eine ganze Zahl" + kFails},
         {}},  // no step count, no way
        // An address as Device Manager shows it, read as decimal or not at all.
        {{{22, "0378"}},
         {"Port 378 (0x17A); 100 Schritte je Seite, 400 Schritte in etwa 6 s"},
         {"Achtung: Pinbelegung.txt, Zeile 22, „Portadresse“: gelesen „0378“, das ist dezimal 378 (0x17A), wo "
          "üblicherweise kein Parallelport liegt" + kMeant + "0x378 (hexadezimal, wie der Geräte-Manager Adressen zeigt): "
          "dann „0x378“ schreiben."}},
        {{{22, "E800"}},
         {},
         {"Achtung: Pinbelegung.txt, Zeile 22, „Portadresse“: gelesen „E800“, erwartet -32768 bis 32767 dezimal oder 0x0 "
          "bis 0xFFFF" + kMeant + "0xE800 (hexadezimal, wie der Geräte-Manager Adressen zeigt): dann „0xE800“ schreiben" +
          kFails}},
        // Reading back without comparing, and a value that does not say so.
        {{}, {}, {"Achtung: PLOTTERTEST_READBACK=aus: was der Port zurückliest, wird nicht mit dem Geschriebenen "
                  "verglichen; ein Port, der die Werte nicht annimmt, fällt dabei nicht auf."},
         {kRectangle}, "", "aus"},
        {{}, {}, {"Achtung: PLOTTERTEST_READBACK=„nein“ ist nicht „aus“; verglichen wird, was der Port zurückliest, wie "
                  "sonst auch."},
         {kRectangle}, "", "nein"},
        {{{22, "0xE800"}, {24, "1"}}, {"Port 59392 (0xE800); 1 Schritt je Seite, 4 Schritte in etwa 0,06 s"}, {}},
        {{{24, "25000"}}, {"Port 888 (0x378); 25000 Schritte je Seite, 100000 Schritte in etwa 25 min"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = SampleLines();
        for (const auto& [line, text] : c.values) lines[static_cast<std::size_t>(line - 1)] = text;
        WriteLines(file(), lines);
        LoadPinAssignment();
        SetVariable("PLOTTERTEST_DRIVER_US", c.driver);
        SetVariable("PLOTTERTEST_READBACK", c.readBack);

        const host::WiringFacts view = DescribeWiring();
        SetVariable("PLOTTERTEST_DRIVER_US", "");
        SetVariable("PLOTTERTEST_READBACK", "");

        const std::string row = c.values.empty() ? "plain" : "line " + std::to_string(c.values[0].first);
        EXPECT_EQ(view.path, file());
        const std::vector<std::string> facts = {"X " + view.x.step + " / " + view.x.dir,
                                                "Y " + view.y.step + " / " + view.y.dir,
                                                "Z " + view.z.step + " / " + view.z.dir,
                                                view.port + "; " + view.steps, view.portShort};
        for (const std::string& fact : c.factsHave) {
            EXPECT_NE(std::find(facts.begin(), facts.end(), fact), facts.end()) << row << ": " << fact;
        }
        EXPECT_EQ(view.warnings, c.warnings) << row;
        if (c.values.empty() && *c.driver == '\0' && *c.readBack == '\0') {  // where the rectangle's sides should end
            const way::PictureSpot corners[] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};  // the square's, 100 steps a side
            ASSERT_EQ(view.picture.plan.also.size(), 5u);
            // Within a rounding: a 32-bit x87 build computes with more precision than a double holds.
            for (int side = 0; side <= 4; ++side) {
                EXPECT_NEAR(view.picture.plan.also[side].x, corners[side].x, 1e-9) << side;
                EXPECT_NEAR(view.picture.plan.also[side].y, corners[side].y, 1e-9) << side;
            }
            EXPECT_EQ(view.picture.plan.path.size(), 5u);
            EXPECT_EQ(view.picture.plan.arrows.size(), 4u);
        }
        if (c.way == std::vector<std::string>{"?"}) continue;
        EXPECT_EQ(view.way, c.way) << row;
    }
}

// Entries after line 24 name stop inputs; what names none loads all the same,
// is named with its line, and is not used.
TEST_F(LoadTest, EntriesAfterLine24NameStopInputs) {
    const auto unused = [](int line, const std::string& name, const std::string& why) {
        return "Achtung: Pinbelegung.txt, Zeile " + std::to_string(line) + " („" + name + "“): " + why +
               " und wird nicht verwendet.";
    };
    const struct {
        const char* name;
        std::vector<std::string> after24;
        std::vector<std::string> inputs;  // as the wiring summary lists them
        std::vector<std::string> problems;
        std::string line = "";  // and as the window's one line, where not ""
    } cases[] = {
        {"none", {}, {}, {}},
        {"a limit switch", {"Endschalter X rechts", "11 0"},
         {"Eingang Pin 11 (BUSY): Endschalter X rechts, hält an bei 0"}, {}},
        {"two, blanks around, a spare blank pair", {"  Not-Halt ", "\t10  1 ", "", "", "Endschalter Y", "12 0"},
         {"Eingang Pin 10 (ACK): Not-Halt, hält an bei 1", "Eingang Pin 12 (PAPER-OUT): Endschalter Y, hält an bei 0"},
         {},
         "Stoppeingänge: Pin 10 „Not-Halt“ bei 1 und Pin 12 „Endschalter Y“ bei 0"},
        {"Latin-1 and no caption", {"Endschalter \xFC" "ber Z", "13 1", "", "15 0"},
         {"Eingang Pin 13 (SELECT): Endschalter über Z, hält an bei 1",
          "Eingang Pin 15 (ERROR): Stoppeingang, hält an bei 0"},
         {}},
        {"a data pin", {"Taster", "2 0"}, {}, {unused(26, "Taster", "Pin 2 ist kein Eingang (nur 10, 11, 12, 13 und 15)")}},
        {"no level", {"Sonde", "15"}, {}, {unused(26, "Sonde", "„15“ ist kein Eingang mit Pegel wie „11 0“")}},
        {"a level of 2", {"Sonde", "15 2"}, {}, {unused(26, "Sonde", "„15 2“ ist kein Eingang mit Pegel wie „11 0“")}},
        {"a pin named twice", {"A", "11 0", "B", "11 1"}, {"Eingang Pin 11 (BUSY): A, hält an bei 0"},
         {unused(28, "B", "Pin 11 (BUSY) ist schon in Zeile 26 genannt")}},
        {"a caption at the end", {"Endschalter X rechts", "11 0", "Notizen"},
         {"Eingang Pin 11 (BUSY): Endschalter X rechts, hält an bei 0"},
         {"Achtung: Pinbelegung.txt, Zeile 27: „Notizen“ hat keine Zeile mit Pin und Pegel und wird nicht verwendet."}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = SampleLines();
        lines.insert(lines.end(), c.after24.begin(), c.after24.end());
        WriteLines(file(), lines);

        LoadPinAssignment();
        const host::WiringFacts view = DescribeWiring();

        EXPECT_EQ(view.inputs, c.inputs) << c.name;
        if (!c.line.empty()) {
            EXPECT_EQ(view.inputsLine, c.line) << c.name;
        }
        EXPECT_EQ(StopInputProblems, c.problems) << c.name;
        EXPECT_EQ(view.warnings, c.problems) << c.name;
    }

    // Pages of notes: the first five named, the rest in one line.
    std::vector<std::string> lines = SampleLines();
    for (int note = 0; note < 8; ++note) lines.insert(lines.end(), {"Notiz", "bla"});
    WriteLines(file(), lines);
    LoadPinAssignment();
    ASSERT_EQ(StopInputProblems.size(), 6u);
    EXPECT_EQ(StopInputProblems.back(),
              "Achtung: Pinbelegung.txt, Zeilen 35 bis 40: 3 weitere Einträge sind kein Eingang und werden nicht verwendet.");
}

TEST_F(LoadTest, ShortFileStopsAtTheFirstMissingLine) {
    std::vector<std::string> lines = SampleLines();
    lines.pop_back();
    WriteLines(file(), lines);

    const std::optional<Failure> failure = LoadFailure();

    ASSERT_TRUE(failure);
    const Failure got = failure.value_or(Failure{});  // never the default: ASSERT_TRUE returned on none
    EXPECT_EQ(got.kind, FailureKind::InputPastEndOfFile);
    EXPECT_EQ(got.detail, "Pinbelegung.txt, Zeile 24, „Schritte je Seite“: die Datei endet nach 23 von 24 Zeilen");
    EXPECT_EQ(fake::transcript, ReadingTranscript(23, true));
}

TEST_F(LoadTest, MissingFileOrDirectoryOfThatNameShowsTheMessage) {
    for (const bool directory : {false, true}) {
        if (directory) std::filesystem::create_directory(file());
        fake::transcript.clear();
        EXPECT_EQ(RunProgram({}), 2);  // the reader finds nothing, and the program says so
        const std::vector<std::string> expected = {"PathInProgramDirectory Pinbelegung.txt", "IsOrdinaryFile",
                                                   kMissingFileBox,
                                                   "Console error: plottertest: Pinbelegung.txt fehlt; gesucht wurde " +
                                                       file() + " (neben dem Programm)."};
        EXPECT_EQ(fake::transcript, expected) << (directory ? "directory" : "missing");
    }
}

}  // namespace

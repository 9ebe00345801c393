#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "config/conversions.h"
#include "connector.h"
#include "platform/failure.h"

namespace {

const ValueSource kWhere{"Pinbelegung.txt, Zeile 2", "eine Zahl"};

// What a conversion gave: its value as text, or the failure kind's name.
std::string Outcome(const std::function<std::string()>& convert) {
    try {
        return convert();
    } catch (const Failure& failure) {
        return FailureKindName(failure.kind);
    }
}

const char* const kMismatch = "Typen unverträglich";
const char* const kOverflow = "Überlauf";

struct Case {
    std::string text;
    std::string expected;  // the value, or the failure kind's German name
};

TEST(Conversions, PinNumbersAreWholeDecimalNumbersWithin32Bits) {
    const Case cases[] = {
        {"2", "2"},
        {" 17 ", "17"},
        {"\t9\t", "9"},
        {"-1", "-1"},
        {"007", "7"},
        {"2147483647", "2147483647"},
        {"-2147483648", "-2147483648"},
        // The nasty-values test covers empty, signs, fractions, hex, NUL and the 32-bit limits.
        {"3,5", kMismatch},
        {"1 000", kMismatch},
        {"- 3", kMismatch},
        {"abc", kMismatch},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Outcome([&] { return std::to_string(ConvertPinNumber(c.text, kWhere)); }), c.expected)
            << "text: " << c.text;
}

TEST(Conversions, DecimalsReadTheLeadingNumberWithCommaOrPoint) {
    const struct {
        std::string text;
        double expected;
    } cases[] = {
        {"12,5", 12.5},   {"12.5", 12.5},     {"1,234.5", 1.234}, {"abc", 0},     {"", 0},
        {"  -3,5e2x", -350}, {"3e", 3},       {"3e+", 3},          {"2E-1", 0.2},  {".5", 0.5},
        {",5", 0.5},      {"5.", 5},          {"+2", 2},           {"-", 0},       {"inf", 0},
        {"nan", 0},       {"0x10", 0},        {"1e-400", 0},       {"4 5", 4},     {"80,0", 80},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(ConvertDecimal(c.text, kWhere), c.expected) << "text: " << c.text;

    EXPECT_EQ(Outcome([] { return std::to_string(ConvertDecimal("1e400", kWhere)); }), kOverflow);
    EXPECT_EQ(Outcome([] { return std::to_string(ConvertDecimal("-1,5e999", kWhere)); }), kOverflow);
}

TEST(Conversions, PortAddressesAreDecimalOrHexWithin16Bits) {
    const Case cases[] = {
        {"888", "888"},
        {" 888 ", "888"},
        {"0x378", "888"},
        {"0X378", "888"},
        {"&H378", "888"},
        {"&h3bc", "956"},
        {"0xE800", "-6144"},
        {"&HFFFF", "-1"},
        {"0x0000378", "888"},
        {"-32768", "-32768"},
        {"32767", "32767"},
        {"32768", kOverflow},
        {"-32769", kOverflow},
        {"0x10000", kOverflow},
        {"", kMismatch},
        {"abc", kMismatch},
        {"0x", kMismatch},
        {"&H", kMismatch},
        {"0x37G", kMismatch},
        {"-0x378", kMismatch},
        {"378h", kMismatch},
        {"888.0", kMismatch},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Outcome([&] { return std::to_string(ConvertPortAddress(c.text, kWhere)); }), c.expected)
            << "text: " << c.text;

    // Typed as Device Manager shows it, in hexadecimal without 0x: what is meant.
    const Case typed[] = {
        {"0378", "0x378"}, {" 378 ", "0x378"}, {"278", "0x278"},      {"3bc", "0x3BC"},  {"0378-037F", "0x378"},
        {"E800", "0xE800"}, {"0d010", "0xD010"}, {"888", ""},         {"0888", ""},      {"0x378", ""},
        {"&H378", ""},      {"-378", ""},        {"abc", ""},         {"abcd", ""},      {"0", ""},
        {"12345", ""},
    };
    for (const Case& c : typed) EXPECT_EQ(MeantPortAddress(c.text).value_or(""), c.expected) << "text: " << c.text;
}

TEST(Conversions, StepCountsAreWholeNumbersWithin64Bits) {
    const Case cases[] = {
        {"100", "100"},
        {"0", "0"},
        {"-5", "-5"},
        {"9223372036854775807", "9223372036854775807"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"9223372036854775808", kOverflow},
        {"", kMismatch},
        {"1.5", kMismatch},
        {"100 Schritte", kMismatch},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Outcome([&] { return std::to_string(ConvertStepCount(c.text, kWhere)); }), c.expected)
            << "text: " << c.text;
}

// A text from the file in a report, and as a name shown in a line (a stop input's caption).
TEST(Conversions, ReportQuotesAndShownNamesKeepBrokenTextReadable) {
    const struct {
        std::string text, quoted, shown;
    } cases[] = {
        {"888", "„888“", "888"},
        {"", "„“", ""},
        {"  Tür \t", "„  Tür \\x09“", "Tür"},                          // UTF-8 stays; blanks around it go from a name
        {"T\xFCr", "„T\\xFCr“", "Tür"},                                // a code-page byte: shown, or read as Latin-1
        {std::string("a\0b\r\x1b", 5), "„a\\x00b\\x0D\\x1B“", "a?b??"},  // control bytes
        {"\xE2\x82", "„\\xE2\\x82“", "â?"},                            // a cut UTF-8 sequence
        {"\xED\xA0\x80", "„\\xED\\xA0\\x80“", "í\u00A0?"},           // a UTF-16 surrogate
        {std::string(45, '7'), "„" + std::string(40, '7') + "…“", std::string(40, '7') + "…"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuoteForReport(c.text), c.quoted);
        EXPECT_EQ(TextToShow(c.text), c.shown);
    }
}

// The connector's level of each input in a status register byte: bit 6 is
// pin 10, 7 pin 11 (inverted by the port), 5 pin 12, 4 pin 13, 3 pin 15.
TEST(Connector, StatusBytesReadAsTheLevelsAtTheConnector) {
    const struct {
        unsigned byte;
        const char* levels;  // pins 10, 11, 12, 13, 15
    } cases[] = {
        {0x00, "01000"},  // every bit 0: only BUSY's pin high
        {0x80, "00000"},
        {0x78, "11111"},  // what open inputs read
        {0xF8, "10111"},
        {0x40, "11000"},
        {0x20, "01100"},
        {0x10, "01010"},
        {0x08, "01001"},
        {0x07, "01000"},  // the low bits hold no input
        {0xD9, "10011"},  // QEMU's port after its reset
    };
    for (const auto& c : cases) {
        std::string levels;
        for (int i = 0; i < port::kInputCount; ++i)
            levels += static_cast<char>('0' + port::LevelIn(*port::FindPin(port::kInputPins[i]), c.byte));
        EXPECT_EQ(levels, c.levels) << std::hex << c.byte;
        EXPECT_EQ(port::StatusByte(port::InputLevels(c.byte)), c.byte & 0xF8u) << std::hex << c.byte;
    }
}

}  // namespace

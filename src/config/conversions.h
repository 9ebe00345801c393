#pragma once
// The conversions of value texts from the pin assignment file into numbers.
// Each one that can fail throws a Failure whose detail says where the text
// came from, the text read and what would have been accepted (ValueReport).

#include <cstdint>
#include <optional>
#include <string>

// Where a value text came from and what it should be, for the failure report.
struct ValueSource {
    std::string place;     // e.g. "Pinbelegung.txt, Zeile 2, „Pin X-Achse Schritt“"
    std::string accepted;  // e.g. "eine ganze Zahl"
};

// "<place>: gelesen „<text>“, erwartet <accepted>"; an empty text is shown as
// „“ (leer), and the text is made safe by QuoteForReport.
std::string ValueReport(const std::string& text, const ValueSource& source);

// A data-line bit (1, 2, 4 ... 128), or empty for a pin without a data line.
// Empty counts as 0 wherever bit values are added.
using BitValue = std::optional<std::int16_t>;

// The bit value of a bit value, empty counting as 0.
int BitOf(const BitValue& bit);

// A whole number in decimal digits with an optional leading "-" and blanks
// (spaces, tabs) around it, as a 32-bit signed integer.
// TypeMismatch: anything else, empty text included; Overflow: beyond 32 bits.
std::int32_t ConvertPinNumber(const std::string& text, const ValueSource& where);

// A decimal number: every "," counts as ".", leading blanks are skipped and the
// longest leading number (sign, digits, fraction, exponent) is read, whatever the
// locale; text that does not begin with a number (also "inf", "nan") gives 0.
// Overflow: a number beyond the range of double.
double ConvertDecimal(const std::string& text, const ValueSource& where);

// A port address: decimal as ConvertPinNumber but within -32768..32767, or
// hexadecimal as 0x378 or &H378 with one to four hex digits, read as the 16-bit
// pattern (0xE800 gives -6144). TypeMismatch: not such a number;
// Overflow: a decimal outside -32768..32767 or more than four hex digits.
std::int16_t ConvertPortAddress(const std::string& text, const ValueSource& where);

// The address a port address text most likely means where it was typed as
// Device Manager shows addresses, in hexadecimal without a prefix: "0x378"
// for "0378", "378" or "0378-037F" (a range, of which the first is the base),
// "0xE800" for "E800". Such a text reads as a decimal where no port sits, or
// does not read at all. Nothing for any other text: "888", "0x378", "abc".
std::optional<std::string> MeantPortAddress(const std::string& text);

// A step count: as ConvertPinNumber, within the 64-bit range; on Overflow the
// report names that range.
std::int64_t ConvertStepCount(const std::string& text, const ValueSource& where);

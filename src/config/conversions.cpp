#include "config/conversions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/failure.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void Fail(FailureKind kind, const std::string& text, const ValueSource& where) {
    throw Failure{kind, ValueReport(text, where)};
}

// The text without the blanks around it.
std::string Trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// A whole number in decimal digits with an optional "-", blanks around it,
// checked against min..max.
std::int64_t ConvertWholeNumber(const std::string& text, const ValueSource& where, std::int64_t min,
                                std::int64_t max) {
    const std::string number = Trimmed(text);
    const bool negative = !number.empty() && number[0] == '-';
    const std::size_t first = negative ? 1 : 0;
    if (number.size() == first) Fail(FailureKind::TypeMismatch, text, where);
    for (std::size_t i = first; i < number.size(); ++i)
        if (!IsDigit(number[i])) Fail(FailureKind::TypeMismatch, text, where);
    // Accumulate towards the negative side, which holds one value more than the positive.
    const std::int64_t limit = negative ? min : -max;
    std::int64_t value = 0;
    for (std::size_t i = first; i < number.size(); ++i) {
        const int digit = number[i] - '0';
        if (value < limit / 10) Fail(FailureKind::Overflow, text, where);
        value *= 10;
        if (value < limit + digit) Fail(FailureKind::Overflow, text, where);
        value -= digit;
    }
    return negative ? value : -value;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string ValueReport(const std::string& text, const ValueSource& source) {
    return source.place + ": gelesen " + QuoteForReport(text) + (text.empty() ? " (leer)" : "") + ", erwartet " +
           source.accepted;
}

int BitOf(const BitValue& bit) { return bit.value_or(0); }

std::int32_t ConvertPinNumber(const std::string& text, const ValueSource& where) {
    return static_cast<std::int32_t>(ConvertWholeNumber(text, where, std::numeric_limits<std::int32_t>::min(),
                                                         std::numeric_limits<std::int32_t>::max()));
}

double ConvertDecimal(const std::string& text, const ValueSource& where) {
    std::string number;
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    const auto take_digits = [&] {
        std::size_t count = 0;
        while (i < text.size() && IsDigit(text[i])) {
            number += text[i++];
            ++count;
        }
        return count;
    };
    const auto at = [&](std::size_t k) { return k < text.size() ? (text[k] == ',' ? '.' : text[k]) : '\0'; };
    if (at(i) == '+' || at(i) == '-') number += text[i++];
    std::size_t digits = take_digits();
    if (at(i) == '.') {
        number += '.';
        ++i;
        digits += take_digits();
    }
    if (digits == 0) return 0.0;
    // An exponent counts only when digits follow it: "3e" is 3, as "3x" is.
    if (at(i) == 'e' || at(i) == 'E') {
        std::size_t k = i + 1;
        if (at(k) == '+' || at(k) == '-') ++k;
        if (IsDigit(at(k))) {
            number.append(text, i, k - i);
            i = k;
            take_digits();
        }
    }
    // The number holds only digits, sign, '.' and exponent, so strtod reads it the same
    // in every locale that uses '.', and the program never switches away from "C".
    errno = 0;
    const double value = std::strtod(number.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(value)) Fail(FailureKind::Overflow, text, where);
    return value;
}

std::int16_t ConvertPortAddress(const std::string& text, const ValueSource& where) {
    const std::string number = Trimmed(text);
    std::size_t prefix = 0;
    if (number.size() >= 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X')) prefix = 2;
    if (number.size() >= 2 && number[0] == '&' && (number[1] == 'h' || number[1] == 'H')) prefix = 2;
    if (prefix == 0)
        return static_cast<std::int16_t>(ConvertWholeNumber(text, where, std::numeric_limits<std::int16_t>::min(),
                                                             std::numeric_limits<std::int16_t>::max()));
    if (number.size() == prefix) Fail(FailureKind::TypeMismatch, text, where);
    unsigned value = 0;
    int significant = 0;  // digits after leading zeros, which do not make an address too large
    for (std::size_t i = prefix; i < number.size(); ++i) {
        const int digit = HexDigit(number[i]);
        if (digit < 0) Fail(FailureKind::TypeMismatch, text, where);
        if (significant > 0 || digit != 0) ++significant;
        if (significant > 4) Fail(FailureKind::Overflow, text, where);
        value = (value << 4) | static_cast<unsigned>(digit);
    }
    // The 16-bit pattern, as Out32 takes it: E800h is -6144.
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

std::optional<std::string> MeantPortAddress(const std::string& text) {
    std::string digits = Trimmed(text);
    const std::size_t range = digits.find('-');
    if (range != std::string::npos && range > 0) digits.resize(range);  // "0378-037F"; "-888" keeps its sign
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; }))
        return std::nullopt;
    std::string hex = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
    std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return c >= 'a' && c <= 'f' ? char(c - 32) : c; });
    // The parallel ports of a PC's own (LPT1 to LPT3), typed with or without a leading 0; or four
    // hex digits of a card's, which hold a letter and a digit ("E800", "D010"), where "abcd" is a word.
    const bool lpt = hex == "378" || hex == "278" || hex == "3BC";
    const bool letter = std::any_of(hex.begin(), hex.end(), [](char c) { return c >= 'A'; });
    const bool digit = std::any_of(hex.begin(), hex.end(), IsDigit);
    const bool card = (hex.size() == 4 || (hex.size() == 3 && digits[0] == '0')) && letter && digit;
    if (!lpt && !card) return std::nullopt;
    return "0x" + hex;
}

std::int64_t ConvertStepCount(const std::string& text, const ValueSource& where) {
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    try {
        return ConvertWholeNumber(text, where, min, max);
    } catch (const Failure& failure) {
        if (failure.kind != FailureKind::Overflow) throw;
        Fail(FailureKind::Overflow, text,
             {where.place, where.accepted + " von " + std::to_string(min) + " bis " + std::to_string(max)});
    }
}

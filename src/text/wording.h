#pragma once
// How counts and numbers read in the program's German texts, the same in the
// program and in the simulated port's summary.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace wording {

// "1 Schritt", "37 Schritte".
inline std::string Steps(long long count) { return std::to_string(count) + (count == 1 ? " Schritt" : " Schritte"); }

// The value with `decimals` places and a decimal comma, "19,4"; with
// trimmed, without the zeros at its end and a comma left alone: "6", "0,18".
inline std::string Decimal(double value, int decimals, bool trimmed = false) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string number = text;
    if (trimmed && number.find('.') != std::string::npos) {
        while (number.back() == '0') number.pop_back();
        if (number.back() == '.') number.pop_back();
    }
    std::replace(number.begin(), number.end(), '.', ',');
    return number;
}

// "0x378"; with digits, at least that many: "0x08".
inline std::string Hex(unsigned value, int digits = 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%0*X", digits, value);
    return hex;
}

// A port as the user finds it in the wiring file and in a PC's settings:
// "Port 888 (0x378)".
inline std::string Port(unsigned short address) { return "Port " + std::to_string(address) + " (" + Hex(address) + ")"; }

// "A", "A und B", "A, B und C"; "" for none.
inline std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " und " : ", ") + items[i];
    return text;
}

}  // namespace wording

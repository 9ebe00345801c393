#pragma once
// How counts and numbers read in the program's German texts, the same in the
// program and in the simulated port's summary.

#include <algorithm>
#include <cstdio>
#include <string>

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

// A port as the user finds it in the wiring file and in a PC's settings:
// "Port 888 (0x378)".
inline std::string Port(unsigned short address) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(address));
    return "Port " + std::to_string(address) + " (" + hex + ")";
}

}  // namespace wording

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

}  // namespace wording

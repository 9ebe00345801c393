#include "count.h"

#include <algorithm>

namespace way {

Count Times(Count count, long long times) {
    if (times < 0) return Times(-count, -times);  // LLONG_MIN never comes: a repetition count is not negative
    Count product;
    for (auto rest = static_cast<std::uint64_t>(times); rest != 0; rest >>= 1) {
        if ((rest & 1) != 0) product += count;
        count += count;
    }
    return product;
}

Count Abs(const Count& count) { return count.Negative() ? -count : count; }

double ToDouble(const Count& count) {
    if (count.Negative()) return -ToDouble(-count);
    return static_cast<double>(count.high) * 18446744073709551616.0 + static_cast<double>(count.low);
}

std::string ToText(const Count& count) {
    if (count.Negative()) return "-" + ToText(-count);
    // Long division by ten over four 32-bit digits, most significant first.
    std::uint32_t digits[4] = {static_cast<std::uint32_t>(count.high >> 32), static_cast<std::uint32_t>(count.high),
                               static_cast<std::uint32_t>(count.low >> 32), static_cast<std::uint32_t>(count.low)};
    std::string text;
    do {
        std::uint64_t rest = 0;
        for (std::uint32_t& digit : digits) {
            const std::uint64_t part = rest << 32 | digit;
            digit = static_cast<std::uint32_t>(part / 10);
            rest = part % 10;
        }
        text += static_cast<char>('0' + rest);
    } while (digits[0] != 0 || digits[1] != 0 || digits[2] != 0 || digits[3] != 0);
    std::reverse(text.begin(), text.end());
    return text;
}

}  // namespace way

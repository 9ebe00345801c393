#pragma once
// A whole number of steps that a 64-bit count cannot hold: a drive of
// 9223372036854775807 steps a side makes four times as many, and a way can
// count them all. Two's complement over 128 bits, exact for any sum or
// product of such counts that the way makes.

#include <cstdint>
#include <string>

namespace way {

struct Count {
    std::uint64_t low = 0, high = 0;

    // cppcheck-suppress noExplicitConstructor ; a number is a count, wherever one is asked for
    constexpr Count(long long value = 0)  // NOLINT(google-explicit-constructor)
        : low(static_cast<std::uint64_t>(value)), high(value < 0 ? ~std::uint64_t{0} : 0) {}

    Count& operator+=(const Count& other) {
        const std::uint64_t sum = low + other.low;
        high += other.high + (sum < low ? 1 : 0);
        low = sum;
        return *this;
    }
    Count operator-() const {
        Count negated;
        negated.low = ~low;
        negated.high = ~high;
        return negated += 1;
    }
    Count& operator-=(const Count& other) { return *this += -other; }
    Count& operator++() { return *this += 1; }
    bool Negative() const { return (high >> 63) != 0; }

    friend Count operator+(Count a, const Count& b) { return a += b; }
    friend Count operator-(Count a, const Count& b) { return a -= b; }
    friend bool operator==(const Count& a, const Count& b) { return a.low == b.low && a.high == b.high; }
    friend bool operator!=(const Count& a, const Count& b) { return !(a == b); }
    friend bool operator<(const Count& a, const Count& b) {
        if (a.high != b.high) return static_cast<std::int64_t>(a.high) < static_cast<std::int64_t>(b.high);
        return a.low < b.low;
    }
    friend bool operator>(const Count& a, const Count& b) { return b < a; }
    friend bool operator<=(const Count& a, const Count& b) { return !(b < a); }
    friend bool operator>=(const Count& a, const Count& b) { return !(a < b); }
};

// count × times, exact while the product fits in 127 bits.
Count Times(Count count, long long times);

Count Abs(const Count& count);

// As a picture's coordinate: close, not exact, beyond 2^53.
double ToDouble(const Count& count);

// In decimal digits, "-" before a negative one: "36893488147419103228".
std::string ToText(const Count& count);

}  // namespace way

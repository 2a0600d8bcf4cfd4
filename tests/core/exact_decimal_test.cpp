// The exact decimal expansion and the general format built on it, compared on 12,000
// deterministic pseudo-random doubles with the standard library's own exact
// conversion (std::to_chars with a precision), which the program no longer links.
#include "common/exact_decimal.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "controls/num_edit_value.h"

namespace qm {
namespace {

constexpr int kValues = 12000;

double FromBits(uint64_t bits) {
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// The value kinds where digit generation goes wrong first: any bit pattern, subnormals,
// integers, dyadic fractions (exact halves and ties at some digit), powers of ten and
// their neighbours, and the extremes.
std::vector<double> SampleValues() {
    std::mt19937_64 random(20261208);
    std::vector<double> values = {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(), 0.5, 2.5, 0.125, 1e23, 5e-324};
    while (static_cast<int>(values.size()) < kValues) {
        const uint64_t r = random();
        double v = 0;
        switch (values.size() % 6) {
            case 0:  // any finite bit pattern
                v = FromBits(r & ~(uint64_t{1} << 63));
                break;
            case 1:  // subnormal
                v = FromBits(r & ((uint64_t{1} << 52) - 1));
                break;
            case 2:  // integer, up to 2^63
                v = static_cast<double>(r >> (r % 63));
                break;
            case 3:  // n / 2^j: ends in 5 at some digit, often exactly a tie
                v = std::ldexp(static_cast<double>(r % 2000001), -static_cast<int>((r >> 32) % 60));
                break;
            case 4: {  // a power of ten or a neighbour
                const int power = static_cast<int>(r % 632) - 323;
                v = std::strtod(("1e" + std::to_string(power)).c_str(), nullptr);
                if ((r >> 20) % 3 == 1) v = std::nextafter(v, 0.0);
                if ((r >> 20) % 3 == 2) v = std::nextafter(v, 1e300);
                break;
            }
            default:  // a short decimal
                v = std::strtod((std::to_string(r % 100000) + "e" + std::to_string(static_cast<int>((r >> 40) % 80) - 40))
                                    .c_str(),
                                nullptr);
                break;
        }
        if (v != 0 && std::isfinite(v)) values.push_back((r >> 62) ? v : -v);
    }
    return values;
}

// The exact digits from std::to_chars: all of them, trailing zeros removed.
void ReferenceDigits(double v, std::string& digits, int& exponent) {
    char buffer[900];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::scientific, 800);
    std::string text(buffer, result.ptr);
    const size_t e = text.find('e');
    digits = text.substr(0, 1) + (e > 2 ? text.substr(2, e - 2) : "");
    while (digits.back() == '0') digits.pop_back();
    exponent = std::atoi(text.c_str() + e + 1) + 1;
}

// |v| rounded half up to p significant digits, as scientific text from std::to_chars.
// to_chars rounds ties to even, so an exact tie is first moved up by a quarter of the
// p-th digit's unit at extended precision, where it rounds up whatever the rule.
std::string ReferenceRounded(double v, int p) {
    std::string exact;
    int exponent = 0;
    ReferenceDigits(v, exact, exponent);
    const bool tie = static_cast<int>(exact.size()) == p + 1 && exact.back() == '5';
    char buffer[64];
    std::to_chars_result result{};
    if (tie) {
        const long double above = std::fabs(static_cast<long double>(v)) + 2.5L * std::pow(10.0L, exponent - p - 1);
        result = std::to_chars(buffer, buffer + sizeof buffer, above, std::chars_format::scientific, p - 1);
    } else {
        result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::scientific, p - 1);
    }
    return std::string(v < 0 ? "-" : "") + std::string(buffer, result.ptr);
}

TEST(ExactDecimal, DigitsMatchTheStandardLibrarysExactConversion) {
    int mismatches = 0;
    for (double v : SampleValues()) {
        std::string digits, expectedDigits;
        int exponent = 0, expectedExponent = 0;
        ExactDecimalDigits(v, digits, exponent);
        ReferenceDigits(v, expectedDigits, expectedExponent);
        if (digits != expectedDigits || exponent != expectedExponent) {
            if (++mismatches <= 5) ADD_FAILURE() << "value " << v << ": " << digits << " E" << exponent;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ExactDecimal, GeneralFormatRoundsLikeTheExactConversionAtEveryPrecision) {
    // Each value at one precision, cycling through 1 ... 17; compared as numbers read at
    // extended precision, which tells any two decimals of up to 18 digits apart.
    int mismatches = 0, ties = 0, index = 0;
    for (double v : SampleValues()) {
        const int p = 1 + index++ % 17;
        const std::string written = FormatGeneral(v, p, 1, '.');
        const std::string expected = ReferenceRounded(v, p);
        std::string exact;
        int exponent = 0;
        ReferenceDigits(v, exact, exponent);
        if (static_cast<int>(exact.size()) == p + 1 && exact.back() == '5') ++ties;
        if (std::strtold(written.c_str(), nullptr) != std::strtold(expected.c_str(), nullptr)) {
            if (++mismatches <= 5) ADD_FAILURE() << "precision " << p << ": " << written << " against " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(ties, 50);  // the sample must really hold ties
}

}  // namespace
}  // namespace qm

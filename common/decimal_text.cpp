#include "common/decimal_text.h"

#include <cmath>
#include <cstdint>

namespace qm {

namespace {

constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string FixedDecimal(double value, int decimals) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 9) return {};
    const double scaled = std::nearbyint(value * kExactPowersOfTen[decimals]);
    if (std::fabs(scaled) >= kExactIntegerLimit) return {};
    const auto whole = static_cast<int64_t>(scaled);
    std::string digits = std::to_string(whole < 0 ? -whole : whole);
    const auto width = static_cast<size_t>(decimals);
    if (width > 0) {
        if (digits.size() <= width) digits.insert(0, width + 1 - digits.size(), '0');
        digits.insert(digits.size() - width, 1, '.');
    }
    if (whole < 0) digits.insert(0, 1, '-');
    return digits;
}

std::string TrimmedDecimal(double value, int maxDecimals) {
    std::string text = FixedDecimal(value, maxDecimals);
    if (text.find('.') == std::string::npos) return text;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    if (text == "-0") text = "0";
    return text;
}

const char* ReadJsonNumber(const char* begin, const char* end, double& value) {
    const char* p = begin;
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    if (p == end || !IsDigit(*p)) return nullptr;

    uint64_t mantissa = 0;
    int significant = 0;
    int exponent = 0;  // decimal exponent to apply to the mantissa
    auto takeDigit = [&](char c, bool fraction) {
        if (significant < 19) {
            if (mantissa != 0 || c != '0') ++significant;
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            if (fraction) --exponent;
        } else if (!fraction) {
            ++exponent;  // a digit beyond what the mantissa holds still scales the number
        }
    };
    if (*p == '0') {
        ++p;  // JSON allows no leading zeros: "0" stands alone before '.' or the exponent
    } else {
        while (p != end && IsDigit(*p)) takeDigit(*p++, false);
    }
    if (p != end && *p == '.') {
        ++p;
        if (p == end || !IsDigit(*p)) return nullptr;
        while (p != end && IsDigit(*p)) takeDigit(*p++, true);
    }
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '+' || *p == '-')) negativeExponent = *p++ == '-';
        if (p == end || !IsDigit(*p)) return nullptr;
        int written = 0;
        while (p != end && IsDigit(*p)) {
            if (written < 100000) written = written * 10 + (*p - '0');
            ++p;
        }
        exponent += negativeExponent ? -written : written;
    }

    double result = static_cast<double>(mantissa);
    if (result != 0) {
        // One multiplication or division by an exact power of ten rounds correctly; larger
        // exponents scale step by step and may be off in the last digit.
        while (exponent > kLargestExactPower && std::isfinite(result)) {
            result *= kExactPowersOfTen[kLargestExactPower];
            exponent -= kLargestExactPower;
        }
        while (exponent < -kLargestExactPower && result != 0) {
            result /= kExactPowersOfTen[kLargestExactPower];
            exponent += kLargestExactPower;
        }
        result = exponent >= 0 ? result * kExactPowersOfTen[exponent] : result / kExactPowersOfTen[-exponent];
    }
    value = negative ? -result : result;
    return p;
}

}  // namespace qm

#include "common/printf_number.h"

#include <cmath>
#include <cstdlib>

#include "common/exact_decimal.h"
#include "common/whole_number.h"

namespace qm {

namespace {

// |value| = 0.digits x 10^exponent, the digits without trailing zeros; none for zero.
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
};

DecimalDigits ExactDigitsOf(double magnitude) {
    DecimalDigits d;
    if (magnitude != 0)
        ExactDecimalDigits(magnitude, d.digits, d.exponent);
    return d;
}

// Keeps the first `keep` digits (none when keep <= 0) and rounds by the rest: up when
// they are more than half a unit of the last kept digit, and at exactly half when that
// digit is odd. The digits have no trailing zeros, so a '5' with digits after it is more
// than half.
void RoundToDigits(DecimalDigits& d, int keep) {
    const int count = static_cast<int>(d.digits.size());
    if (keep >= count)
        return;
    bool up = false;
    if (keep >= 0) {
        const char next = d.digits[keep];
        const bool lastKeptOdd = keep > 0 && (d.digits[keep - 1] - '0') % 2 == 1;
        up = next > '5' || (next == '5' && (keep + 1 < count || lastKeptOdd));
    }
    d.digits.resize(keep > 0 ? keep : 0);
    if (up) {
        // One more in the last kept place; nines turn to zeros and carry.
        while (!d.digits.empty() && d.digits.back() == '9')
            d.digits.pop_back();
        if (d.digits.empty()) {
            d.digits = "1";
            ++d.exponent;
        } else {
            ++d.digits.back();
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
}

// The digit at `place` (1 for the first significant digit), '0' before and after them.
char DigitAt(const DecimalDigits& d, int place) {
    return place >= 1 && place <= static_cast<int>(d.digits.size()) ? d.digits[place - 1] : '0';
}

// As printf writes infinities and NaN: "inf", "-inf", "nan".
std::string NotFiniteText(double value) {
    if (std::isnan(value))
        return "nan";
    return value < 0 ? "-inf" : "inf";
}

}  // namespace

std::string FixedPointText(double value, int decimals) {
    if (!std::isfinite(value))
        return NotFiniteText(value);
    DecimalDigits d = ExactDigitsOf(std::fabs(value));
    RoundToDigits(d, d.exponent + decimals);
    std::string text = std::signbit(value) ? "-" : "";
    if (d.digits.empty() || d.exponent <= 0)
        text += '0';
    for (int place = 1; place <= d.exponent; ++place)
        text += DigitAt(d, place);
    if (decimals > 0) {
        text += '.';
        for (int place = d.exponent + 1; place <= d.exponent + decimals; ++place)
            text += DigitAt(d, place);
    }
    return text;
}

std::string SignificantDigitsText(double value, int significantDigits) {
    if (!std::isfinite(value))
        return NotFiniteText(value);
    const int precision = significantDigits > 0 ? significantDigits : 1;
    std::string text = std::signbit(value) ? "-" : "";
    DecimalDigits d = ExactDigitsOf(std::fabs(value));
    if (d.digits.empty())
        return text + "0";
    RoundToDigits(d, precision);
    const int scientificExponent = d.exponent - 1;  // d.ddd x 10^scientificExponent
    if (scientificExponent < -4 || scientificExponent >= precision) {
        text += d.digits[0];
        if (d.digits.size() > 1)
            text += "." + d.digits.substr(1);
        text += scientificExponent < 0 ? "e-" : "e+";
        text += ZeroPaddedNumber(std::abs(scientificExponent), 2);
    } else if (d.exponent <= 0) {
        text += "0." + std::string(static_cast<size_t>(-d.exponent), '0') + d.digits;
    } else {
        for (int place = 1; place <= d.exponent; ++place)
            text += DigitAt(d, place);
        if (static_cast<int>(d.digits.size()) > d.exponent)
            text += "." + d.digits.substr(static_cast<size_t>(d.exponent));
    }
    return text;
}

}  // namespace qm

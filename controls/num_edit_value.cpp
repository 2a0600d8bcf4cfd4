// The value rules of the numeric edit: reading, clamping, writing, stepping, the
// integer reading and the typing filter. Reading rounds the text's exact value to
// extended precision and then to double: strtold into a long double (64 significant
// bits on x86, with glibc and with MinGW-w64 alike), on a text rebuilt without a decimal
// point, so the locale's decimal point never matters. Writing rounds half up on the
// exact decimal expansion of the double, which printf's "%.766e" writes in full.
#include "controls/num_edit_value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/whole_number.h"

namespace qm {

namespace {

constexpr double kLargestDouble = std::numeric_limits<double>::max();
// The largest text the control writes for a finite value: the largest double rounded
// to two significant digits. Numbers between the largest double and this read as the
// largest double, so every written text reads back; beyond it a text is not a number.
constexpr long double kLargestWritten = 1.8e308L;
// Exponents beyond this are far outside the range of a long double either way; limiting
// them keeps the arithmetic on them from overflowing.
constexpr int64_t kExponentLimit = 1000000000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Every finite double is m x 2^e, so its decimal expansion ends: after at most 767
// significant digits (a subnormal's), which "%.766e" writes exactly. For v != 0: the
// digits without trailing zeros and E with |v| = 0.digits x 10^E.
void ExactDecimalDigits(double v, std::string& digits, int& exponent) {
    constexpr int kMostSignificantDigits = 767;
    char text[kMostSignificantDigits + 16];
    std::snprintf(text, sizeof text, "%.*e", kMostSignificantDigits - 1, std::fabs(v));
    // "d.ddd...e+XX"
    const char* const e = std::strchr(text, 'e');
    digits.assign(1, text[0]);
    digits.append(text + 2, static_cast<size_t>(e - (text + 2)));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    exponent = std::atoi(e + 1) + 1;
}

}  // namespace

std::optional<double> ParseNumEditNumber(std::string_view text, char decimalSeparator) {
    std::string s(TrimBlanks(text));
    for (char& c : s) {
        if (c == decimalSeparator || c == ',') c = '.';
    }
    // [sign] digits ["." digits] [("E"|"e") [sign] digits], covering the whole text.
    size_t i = 0;
    const size_t n = s.size();
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const size_t mantissaStart = i;
    std::string digits;  // integer and fraction digits, without the point
    while (i < n && IsDigit(s[i])) digits += s[i++];
    int64_t fractionDigits = 0;
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && IsDigit(s[i])) {
            digits += s[i++];
            ++fractionDigits;
        }
    }
    const bool hasMantissa = i > mantissaStart;
    int64_t exponent = 0;
    if (i < n && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) negativeExponent = s[i++] == '-';
        const size_t exponentStart = i;
        while (i < n && IsDigit(s[i])) {
            if (exponent < kExponentLimit) exponent = exponent * 10 + (s[i] - '0');
            ++i;
        }
        if (i == exponentStart) return std::nullopt;
        if (negativeExponent) exponent = -exponent;
    } else if (!hasMantissa) {
        return std::nullopt;  // the empty text or a sign alone
    }
    if (i != n) return std::nullopt;
    if (digits.empty()) return 0.0;  // "." and the like

    // Rounded to extended precision first and then to double. Numbers from 10^309 up are
    // beyond kLargestWritten and read as nothing.
    const int64_t scale = std::clamp<int64_t>(exponent - fractionDigits, -kExponentLimit, kExponentLimit);
    const std::string decimal = digits + "e" + std::to_string(scale);
    long double number = std::strtold(decimal.c_str(), nullptr);  // infinity beyond the range
    if (number > kLargestDouble) {
        if (number > kLargestWritten) return std::nullopt;
        number = kLargestDouble;
    }
    double value = static_cast<double>(number);
    return negative ? -value + 0.0 : value;  // "+ 0.0" turns a negative zero into zero
}

NumEditRead ReadValue(std::string_view text, const NumEditSettings& settings, char decimalSeparator) {
    if (std::optional<double> number = ParseNumEditNumber(text, decimalSeparator)) {
        return {ClampValue(*number, settings), false};
    }
    return {ClampValue(settings.ErrValue, settings), settings.BeepError && !text.empty()};
}

double ClampValue(double x, const NumEditSettings& settings) {
    if (settings.MaxValue == settings.MinValue) return x;
    if (x < settings.MinValue) return settings.MinValue;
    if (x > settings.MaxValue) return settings.MaxValue;
    return x;
}

std::string FormatGeneral(double v, int significantDigits, int minExponentDigits, char decimalSeparator) {
    std::string digits;
    int exponent = 0;
    if (v != 0) {
        ExactDecimalDigits(v, digits, exponent);
        if (static_cast<int>(digits.size()) > significantDigits) {
            // Half up on the first dropped digit, carrying through the kept ones.
            bool roundUp = digits[static_cast<size_t>(significantDigits)] >= '5';
            digits.resize(static_cast<size_t>(significantDigits));
            for (size_t k = digits.size(); roundUp && k-- > 0;) {
                if (digits[k] == '9') {
                    digits[k] = '0';
                } else {
                    ++digits[k];
                    roundUp = false;
                }
            }
            if (roundUp) {  // 99...9 became 100...0
                digits.insert(digits.begin(), '1');
                digits.pop_back();
                ++exponent;
            }
        }
        while (!digits.empty() && digits.back() == '0') digits.pop_back();
    }

    std::string out;
    if (v < 0) out += '-';
    const int count = static_cast<int>(digits.size());
    if (exponent >= -3 && exponent <= significantDigits) {
        if (exponent > 0) {
            for (int k = 0; k < exponent; ++k) out += k < count ? digits[static_cast<size_t>(k)] : '0';
            if (count > exponent) {
                out += decimalSeparator;
                out.append(digits, static_cast<size_t>(exponent));
            }
        } else {
            out += '0';
            if (count > 0) {
                out += decimalSeparator;
                out.append(static_cast<size_t>(-exponent), '0');
                out += digits;
            }
        }
    } else {
        out += digits[0];
        if (count > 1) {
            out += decimalSeparator;
            out.append(digits, 1);
        }
        out += 'E';
        const int written = exponent - 1;
        if (written < 0) out += '-';
        std::string exponentDigits = std::to_string(written < 0 ? -written : written);
        if (static_cast<int>(exponentDigits.size()) < minExponentDigits) {
            out.append(static_cast<size_t>(minExponentDigits) - exponentDigits.size(), '0');
        }
        out += exponentDigits;
    }
    return out;
}

std::string FormatValue(double x, const NumEditSettings& settings, char decimalSeparator) {
    double v = ClampValue(x, settings);
    if (std::isnan(v)) {
        v = ClampValue(settings.ErrValue, settings);
        if (std::isnan(v)) v = 0;
    }
    if (std::isinf(v)) v = std::copysign(kLargestDouble, v);

    int digits = settings.Precision;
    int exponentWidth = 3;
    if (settings.Precision >= 15) {
        digits = 15;
        exponentWidth = 1;
    } else if (settings.Precision < 0) {
        digits = 15;
    } else if (settings.Precision < 2) {
        digits = 2;
    }
    std::string s = FormatGeneral(v, digits, exponentWidth, decimalSeparator);
    if (settings.AlwaysSign && v >= 0) s.insert(s.begin(), '+');

    // Decimals pads fixed notation only: a separator and zeros after the exponent of
    // "1E-5" would make a text that no longer reads as a number.
    if (settings.Decimals > 0 && s.find('E') == std::string::npos) {
        size_t separator = s.find(decimalSeparator);
        if (separator == std::string::npos) {
            if (s.find_first_of(".,") != std::string::npos) return s;
            s += decimalSeparator;
            separator = s.size() - 1;
        }
        const size_t fraction = s.size() - separator - 1;
        const size_t wanted = static_cast<size_t>(settings.Decimals);
        if (fraction < wanted) s.append(wanted - fraction, '0');
    }
    return s;
}

NumEditStep StepValue(std::string_view text, const NumEditSettings& settings, char decimalSeparator,
                      int32_t multiplier, bool up) {
    if (settings.ReadOnly) return {std::nullopt, true};
    const NumEditRead read = ReadValue(text, settings, decimalSeparator);
    const long double change = static_cast<long double>(multiplier) * static_cast<long double>(settings.Increment);
    const long double sum = up ? read.value + change : read.value - change;
    double next = read.value;
    if (std::isnan(sum)) {
        next = read.value;  // an increment that is not a number moves nothing
    } else if (std::fabs(sum) > kLargestDouble) {
        next = std::copysign(kLargestDouble, static_cast<double>(sum));
    } else {
        next = static_cast<double>(sum);
    }
    return {FormatValue(next, settings, decimalSeparator), read.beep};
}

int32_t ValueAsInteger(double value) {
    constexpr double kLimit = 2147483647.0;
    if (std::isnan(value)) return 0;
    if (value >= kLimit) return 2147483647;
    if (value <= -kLimit) return -2147483647;
    const double whole = std::floor(value);
    const double fraction = value - whole;  // exact: |value| < 2^31
    int64_t result = static_cast<int64_t>(whole);
    if (fraction > 0.5 || (fraction == 0.5 && (result & 1) != 0)) ++result;
    return static_cast<int32_t>(result);
}

bool AcceptsNumEditChar(char ch, const NumEditSettings& settings, char decimalSeparator) {
    const unsigned char c = static_cast<unsigned char>(ch);
    bool accepted = false;
    if (c < 32) {
        accepted = c != '\r';
    } else if (ch == '+' || ch == '-' || IsDigit(ch)) {
        accepted = true;
    } else if (!settings.AlwaysInteger) {
        accepted = ch == '.' || ch == ',' || ch == decimalSeparator;
    }
    if (accepted && !settings.EditorEnabled && (c >= 32 || c == '\b')) accepted = false;
    return accepted;
}

}  // namespace qm

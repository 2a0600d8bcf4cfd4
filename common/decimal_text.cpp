#include "common/decimal_text.h"

#include <cmath>
#include <cstdint>

namespace qm {

namespace {

constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

}  // namespace

std::string FixedDecimal(double value, int decimals) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 9) return {};
    const double scaled = std::nearbyint(value * kExactPowersOfTen[decimals]);
    if (std::fabs(scaled) >= kExactIntegerLimit) return {};
    const auto whole = static_cast<int64_t>(scaled);
    std::string digits;
    AppendInteger(digits, whole < 0 ? -whole : whole);
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

void AppendInteger(std::string& out, long long value) {
    char digits[24];
    char* p = digits + sizeof digits;
    // The magnitude as unsigned, so that the most negative value has one too.
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value) : value;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--p = '-';
    out.append(p, digits + sizeof digits);
}

}  // namespace qm

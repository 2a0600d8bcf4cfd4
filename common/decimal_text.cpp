#include "common/decimal_text.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>

namespace qm {

namespace {

constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

}  // namespace

bool AppendDecimal(std::string& out, double value, int decimals, bool trim) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 9)
        return false;
    const double scaled = std::nearbyint(value * kExactPowersOfTen[decimals]);
    if (std::fabs(scaled) >= kExactIntegerLimit)
        return false;
    // Digits written from the last one back: the fraction's, the point, then at least
    // one of the whole part.
    uint64_t magnitude = static_cast<uint64_t>(std::fabs(scaled));
    char text[32];
    char* const end = text + sizeof text;
    char* first = end;
    int place = 0;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        if (++place == decimals)
            *--first = '.';
    } while (magnitude || place <= decimals);
    char* last = end;
    if (trim && decimals > 0) {
        while (last[-1] == '0')
            --last;
        if (last[-1] == '.')
            --last;
    }
    if (scaled < 0)
        *--first = '-';
    out.append(first, last);
    return true;
}

std::string FixedDecimal(double value, int decimals) {
    std::string text;
    AppendDecimal(text, value, decimals, false);
    return text;
}

std::string TrimmedDecimal(double value, int maxDecimals) {
    std::string text;
    AppendDecimal(text, value, maxDecimals, true);
    return text;
}

void AppendPattern(std::string& out, const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    for (; *pattern; ++pattern) {
        const char c = *pattern;
        if (c == '~' || c == '^') {
            if (!AppendDecimal(out, va_arg(arguments, double), c == '~', false))
                out += '-';
        } else if (c == '%') {
            if (!AppendDecimal(out, va_arg(arguments, double), 4, true))
                out += "null";
        } else if (c == '`') {
            out += va_arg(arguments, const char*);
        } else {
            out += c;
        }
    }
    va_end(arguments);
}

}  // namespace qm

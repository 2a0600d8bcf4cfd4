#include "common/decimal_text.h"

#include <cmath>
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

void AppendPatternArguments(std::string& out, const char* pattern, const PatternArgument* arguments,
                            size_t count) {
    size_t next = 0;
    for (; *pattern; ++pattern) {
        const char c = *pattern;
        if (c != '~' && c != '^' && c != '%' && c != '`') {
            out += c;
            continue;
        }
        if (next == count) continue;
        const PatternArgument& argument = arguments[next++];
        if (c == '`') {
            if (argument.text) out += argument.text;
        } else if (argument.text) {
            // a text where a number belongs: nothing
        } else if (c == '%') {
            if (!AppendDecimal(out, argument.number, 4, true)) out += "null";
        } else if (!AppendDecimal(out, argument.number, c == '~', false)) {
            out += '-';
        }
    }
}

}  // namespace qm

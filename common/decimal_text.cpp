#include "common/decimal_text.h"

#include <cmath>
#include <cstdint>

namespace qm {

namespace {

constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

}  // namespace

bool AppendDecimal(std::string& out, double value, int decimals, bool trim) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 9)
        return false;
    // 10^decimals, exact: every power of ten up to 10^9 is a whole double.
    double scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const double scaled = std::nearbyint(value * scale);
    if (std::fabs(scaled) >= kExactIntegerLimit)
        return false;
    // Digits written from the last one back: the fraction's, the point, then at least
    // one of the whole part.
    // (Through a signed whole number: below 2^53, and one conversion instead of two.)
    uint64_t magnitude = static_cast<int64_t>(std::fabs(scaled));
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

void AppendWholeNumbers(std::string& out, const std::vector<int32_t>& values, const char* separator) {
    const char* before = "";
    for (int32_t value : values) {
        out.append(before);
        AppendDecimal(out, value, 0, false);  // never fails for a 32-bit whole number
        before = separator;
    }
}

void AppendPatternArguments(std::string& out, const char* pattern, const PatternArgument* arguments, uint32_t kinds) {
    for (; *pattern; ++pattern) {
        const char c = *pattern;
        if (c != '~' && c != '^' && c != '%' && c != '`') {
            out += c;
            continue;
        }
        const uint32_t kind = kinds & 3;
        if (kind == 0)
            continue;  // no argument left
        const PatternArgument& argument = *arguments++;
        kinds >>= 2;
        if (c == '`') {
            if (kind == kPatternText && argument.text)
                out.append(argument.text);
        } else if (kind != kPatternNumber) {
            // a text where a number belongs: nothing
        } else if (c == '%') {
            if (!AppendDecimal(out, argument.number, 4, true))
                out.append("null");
        } else if (!AppendDecimal(out, argument.number, c == '~', false)) {
            out += '-';
        }
    }
}

void AppendPattern(std::string& out, const char* pattern) {
    AppendPatternArguments(out, pattern, nullptr, 0);
}

}  // namespace qm

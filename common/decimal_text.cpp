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

}  // namespace qm

#include "common/decimal_text.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace qm {

namespace {

constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

// Length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

void AppendJsonText(std::string& out, const std::string& text) {
    static constexpr char kEscaped[] = "\"\\\n\r\t";
    static constexpr char kEscapeLetters[] = "\"\\nrt";
    static constexpr char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c >= 0x80 ? Utf8SequenceLength(text, i) : 1;
        const auto* escaped = static_cast<const char*>(std::memchr(kEscaped, c, sizeof kEscaped - 1));
        if (escaped) {
            const char pair[] = {'\\', kEscapeLetters[escaped - kEscaped]};
            out.append(pair, 2);
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            const char hex[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
            out.append(hex, 6);
            length = 1;
        } else {
            out.append(text.data() + i, length);
        }
        i += length;
    }
}

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
    // one of the whole part. The magnitude, below 2^53, goes through a signed whole
    // number: one conversion, where an unsigned one takes two.
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

void AppendWholeNumbers(std::string& out, const std::vector<int32_t>& values, const char* separator, const char* end) {
    const char* before = "";
    for (int32_t value : values) {
        out.append(before);
        AppendDecimal(out, value, 0, false);  // never fails for a 32-bit whole number
        before = separator;
    }
    out.append(end);
}

void AppendPatternArguments(std::string& out, const char* pattern, const PatternArgument* arguments, uint32_t kinds) {
    for (; *pattern; ++pattern) {
        const char c = *pattern;
        if (!std::memchr("~^%`$", c, 5)) {  // not a mark
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
        } else if (c == '$') {
            if (kind == kPatternString)
                AppendJsonText(out, *argument.string);
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

// Whole-number reading and saturating arithmetic shared by the portable core.
#include "common/whole_number.h"

#include <limits>

namespace qm {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    uint64_t magnitude = 0;
    const uint64_t limit = hex ? 0xFFFFFFFFull : 0x80000000ull;
    for (; i < text.size(); ++i) {
        int digit = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > limit) return std::nullopt;
    }
    if (hex) {
        // Hexadecimal numbers name a 32-bit pattern; a sign then applies to that pattern.
        auto pattern = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
        return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(pattern)) : pattern;
    }
    if (!negative && magnitude > 0x7FFFFFFFull) return std::nullopt;
    int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(value);
}

int32_t WholeNumberOrZero(std::string_view text) {
    return ParseWholeNumber(text).value_or(0);
}

std::string_view TrimBlanks(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return text.substr(begin, end - begin);
}

std::string SpacePaddedNumber(int64_t value, size_t width) {
    std::string text = std::to_string(value);
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

std::string ZeroPaddedNumber(int64_t value, size_t digits) {
    // The magnitude as unsigned, so that the most negative value has one too.
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string text = std::to_string(magnitude);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    if (value < 0)
        text.insert(0, 1, '-');
    return text;
}

std::string HexNumber(uint32_t value, size_t digits, HexCase letters) {
    const char* const digitSet = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    do {
        text.insert(0, 1, digitSet[value % 16]);
        value /= 16;
    } while (value != 0);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    return text;
}

int32_t SaturatingAdd(int32_t a, int64_t b) {
    int64_t sum = static_cast<int64_t>(a) + b;
    if (b > 0 && sum < a) sum = std::numeric_limits<int32_t>::max();  // cannot happen for |b| < 2^62
    if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(sum);
}

}  // namespace qm

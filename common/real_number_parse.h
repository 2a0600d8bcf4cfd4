// Reading a double from text as the C library's strtod reads it, without linking
// strtod: MinGW's strtod brings its own big-number, hexadecimal and locale code along
// (about 20 KB). A number is a decimal one ("-12", "3.5", ".5", "5.", "1.25e-3") or a
// hexadecimal one as C writes it ("0x1A", "0x1.8p3"), after at most one sign; its
// value is the double nearest to the exact value of the text, ties to the even one,
// which is what strtod gives in the default rounding mode.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qm {

// The double nearest to `text`, which must be one number from its first character to
// its last (no blanks). Nothing for any other text, for "inf" and "nan", and for a
// number too large for a double; a number too small for one gives a subnormal or zero,
// keeping its sign.
std::optional<double> ParseRealNumber(std::string_view text);

// A number rounded to the 64 significant bits of the x87's extended precision, the long
// double of MinGW and of glibc on x86: (-1 if negative) x significand x 2^exponent.
struct ExtendedNumber {
    uint64_t significand = 0;
    int exponent = 0;
    bool negative = false;
};

// The number in `text`, read as ParseRealNumber reads it, rounded to extended precision
// as strtold rounds it (nearest, ties to even), for a reader that keeps strtold's two
// roundings, to extended precision and then to double. Only the range of doubles is
// covered: numbers from 10^309 (2^1024 in hexadecimal) up read as nothing, numbers
// under 10^-325 as zero, which a double holds alike.
std::optional<ExtendedNumber> ParseNumberToExtendedPrecision(std::string_view text);

}  // namespace qm

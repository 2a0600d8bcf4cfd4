// Whole numbers read from text and written as text. The reading is used wherever a
// text is taken as an integer: settings values, the step buttons' captions and the log
// lines read back by the run. Leading blanks and one sign are allowed, "$", "0x" or "0X"
// mark a hexadecimal number, and the rest of the text must be digits. Anything else is
// not a number. The writing pads numbers for the log's and the settings file's columns
// as printf's "%5d", "%.4d" and "%.8x" would, without linking the C library's
// formatter, which brings its floating-point conversions along (some 15 KB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The number in text, or nothing when text is not a whole number that fits in
// 32 bits. Hexadecimal numbers may use all 32 bits ("$FFFFFFFF" is -1).
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// As ParseWholeNumber, with 0 for text that is not a number.
int32_t WholeNumberOrZero(std::string_view text);

// Removes characters with a code of 32 or less from both ends.
std::string_view TrimBlanks(std::string_view text);

// `value` in decimal, with spaces before it to make `width` characters ("%5d").
std::string SpacePaddedNumber(int64_t value, size_t width);
// `value` in decimal with at least `digits` digits, zeros put before them and the sign
// before the zeros ("%.4d").
std::string ZeroPaddedNumber(int64_t value, size_t digits);
// `value` in hexadecimal with at least `digits` digits: "%.8x", or "%.8X" with upper-case
// letters.
enum class HexCase { Lower, Upper };
std::string HexNumber(uint32_t value, size_t digits, HexCase letters = HexCase::Lower);

// Signed 32-bit addition that sticks at the limits instead of overflowing.
int32_t SaturatingAdd(int32_t a, int64_t b);

}  // namespace qm

// The whole-number reading used wherever a text is taken as an integer: settings
// values, the step buttons' captions and the log lines read back by the run.
// Leading blanks and one sign are allowed, "$", "0x" or "0X" mark a hexadecimal
// number, and the rest of the text must be digits. Anything else is not a number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qm {

// The number in text, or nothing when text is not a whole number that fits in
// 32 bits. Hexadecimal numbers may use all 32 bits ("$FFFFFFFF" is -1).
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// As ParseWholeNumber, with 0 for text that is not a number.
int32_t WholeNumberOrZero(std::string_view text);

// Removes characters with a code of 32 or less from both ends.
std::string_view TrimBlanks(std::string_view text);

// Signed 32-bit addition that sticks at the limits instead of overflowing.
int32_t SaturatingAdd(int32_t a, int64_t b);

}  // namespace qm

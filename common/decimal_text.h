// Decimal text of numbers for the run record and its page, written without the
// standard library's floating-point conversions (std::to_chars for double links tables
// that would double the size of the program).
#pragma once

#include <string>

namespace qm {

// `value` with exactly `decimals` (0 to 9) digits after the point: value x 10^decimals
// rounded to a whole number, halves to even (the product is itself rounded, so 0.35 to
// one decimal gives 0.4; plenty for a record and its plots); empty when the value is not finite or too large to round exactly (|value| x
// 10^decimals of 2^53 or more).
std::string FixedDecimal(double value, int decimals);

// As FixedDecimal, with the fraction's trailing zeros (and a bare point) taken off.
std::string TrimmedDecimal(double value, int maxDecimals);

// Appends `value` in decimal digits, with a minus sign when negative: one loop that
// every writer of the record shares, in place of std::to_string's inlined digit table.
void AppendInteger(std::string& out, long long value);

}  // namespace qm

// Decimal text of doubles for the run record and its page, written and read without
// the standard library's floating-point conversions (std::to_chars and std::from_chars
// for double link tables that would double the size of the program).
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

// Reads a JSON number (-?int(.frac)?([eE][+-]?digits)?) from the start of [begin, end).
// Returns the end of the number, or nullptr when none starts there. Numbers of up to 15
// significant digits with a decimal exponent of at most 22 either way (everything the
// record writes) read exactly rounded; others as closely as repeated scaling gives.
const char* ReadJsonNumber(const char* begin, const char* end, double& value);

}  // namespace qm

// Decimal text of numbers for the run record and its page, written without the
// standard library's floating-point conversions (std::to_chars for double links tables
// that would double the size of the program), and the one pattern writer through which
// the record and its page append their text: a call of it is far shorter code than a
// chain of std::string appends.
#pragma once

#include <string>

namespace qm {

// Appends `value` with exactly `decimals` (0 to 9) digits after the point: value x
// 10^decimals rounded to a whole number, halves to even (the product is itself rounded,
// so 0.35 to one decimal gives 0.4; plenty for a record and its plots). With `trim`, the
// fraction's trailing zeros and a bare point are left off. Appends nothing and returns
// false when the value is not finite or too large to round exactly (|value| x
// 10^decimals of 2^53 or more).
bool AppendDecimal(std::string& out, double value, int decimals, bool trim);

// AppendDecimal's text on its own: empty for a value it cannot write.
std::string FixedDecimal(double value, int decimals);
std::string TrimmedDecimal(double value, int maxDecimals);

// Appends `pattern` with its marks replaced, in order, by the arguments that follow it:
// '~' a double to one decimal, '^' a double to none (each "-" when it cannot be
// written), '%' a double to at most four decimals or "null", '`' a const char* as it
// is. Every number must be passed as a double. A C variable argument list keeps each
// call short, which is the point of the writer.
void AppendPattern(std::string& out, const char* pattern, ...);

}  // namespace qm

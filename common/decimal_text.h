// Decimal text of numbers for the run record and its page, written without the
// standard library's floating-point conversions (std::to_chars for double links tables
// that would double the size of the program). Its rounding (of value x 10^decimals) is
// the one the stored records and pages have always had, so it stays; the driver check,
// whose reports must read exactly as printf wrote them, uses snprintf
// (common/printf_text.h) instead.
#pragma once

#include <cstddef>
#include <string>

namespace qm {

// Appends `value` with exactly `decimals` (0 to 9) digits after the point: value x
// 10^decimals rounded to a whole number, halves to even (the product is itself rounded,
// so 0.35 to one decimal gives 0.4; plenty for a record and its plots). With `trim`, the
// fraction's trailing zeros and a bare point are left off. Appends nothing and returns
// false when the value is not finite or too large to round exactly (|value| x
// 10^decimals of 2^53 or more).
bool AppendDecimal(std::string& out, double value, int decimals, bool trim);

}  // namespace qm

// Decimal text of numbers for the run record and its page.
//
// The program writes numbers with three roundings, each kept for what it writes:
//  - AppendDecimal (here): value x 10^decimals, itself rounded in binary, then to a
//    whole number, ties to even. The run record's lines and the run page have always
//    been written so, and users keep those files (a record file is read back and chained
//    into the page), so their bytes stay; new writers of the record and the page use
//    this one rule too.
//  - snprintf (common/printf_text.h): the exact value of the double, ties to even, as
//    printf does. The driver check's reports, which users paste into support requests
//    and which earlier versions wrote with printf.
//  - The numeric edit (controls/num_edit_value.h): the exact value, halves up, in the
//    general number format that its text and the settings file (which restores an edit
//    by its text) have always had.
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

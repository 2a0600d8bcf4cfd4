// The exact decimal expansion of a double. Every finite double is m x 2^e with integer
// m, so its expansion is finite (at most 767 significant digits); computing it with a
// small big-integer (common/big_number.h) keeps the numeric edit's rounding and the
// printf-style number text (common/printf_number.h) exact without large tables.
#pragma once

#include <string>

namespace qm {

// For finite, non-zero v: the significant decimal digits of |v| without trailing zeros
// ("d1d2...dn", d1 != '0') and the exponent E with |v| = 0.d1d2...dn x 10^E.
void ExactDecimalDigits(double v, std::string& digits, int& exponent);

}  // namespace qm

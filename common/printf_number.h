// Doubles written as printf's "%.*f" and "%.*g" write them, character for character,
// without linking the C library's formatter (MinGW's brings its own floating-point
// conversion and big-number code, about 17 KB). Both round the exact value of the double
// (common/exact_decimal.h) to the digits written, a tie to the even digit, as printf does.
#pragma once

#include <string>

namespace qm {

// printf("%.*f", decimals, value): at least one digit before the point, exactly
// `decimals` after it (no point for none), a minus sign for every negative value,
// also one that rounds to zero ("-0.0").
std::string FixedPointText(double value, int decimals);

// printf("%.*g", significantDigits, value): the value rounded to that many significant
// digits (at least one), written as a fixed-point number when its decimal exponent is
// from -4 to below that many, otherwise as "d.ddde+XX" with at least two exponent
// digits; trailing zeros of the fraction, and a point without a fraction, left off.
std::string SignificantDigitsText(double value, int significantDigits);

}  // namespace qm

// e^x - 1, accurate near 0 as std::expm1 is, that gives the same bits in the 64-bit and
// the 32-bit Windows build. MinGW-w64's expm1 differs between the two: both compute
// 2^(x / ln 2) - 1 on the x87 unit, but the 32-bit one divides by ln 2 in extended
// precision and the 64-bit one in double, so about one result in forty differs in its
// last bit, and the curve fit (which iterates on it) then ends elsewhere in its last
// bits. Their exp and log run the same x87 code on both and round once to double, so a
// result made from them is the same on both.
#pragma once

namespace qm {

double ExpMinusOne(double x);

}  // namespace qm

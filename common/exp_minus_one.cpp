#include "common/exp_minus_one.h"

#include <cmath>

namespace qm {

// Kahan's form: with u = e^x rounded, (u - 1) * x / log(u) cancels the rounding error of
// u, which exp(x) - 1 alone would keep (all of the result's bits, near 0).
double ExpMinusOne(double x) {
    const double u = std::exp(x);
    // |x| below half an ulp of 1: e^x - 1 rounds to x.
    if (u == 1.0)
        return x;
    const double uMinusOne = u - 1.0;
    // e^x vanishes next to 1, or is beyond the largest double.
    if (uMinusOne == -1.0 || std::isinf(u))
        return uMinusOne;
    return uMinusOne * x / std::log(u);
}

}  // namespace qm

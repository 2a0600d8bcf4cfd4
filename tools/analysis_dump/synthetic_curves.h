// Focus curves made from integers alone: a counter-based random generator and
// fixed-point profiles, so that every build (64-bit, 32-bit, native) makes the same
// curves bit for bit, whatever its floating point does. The set mixes what a sweep can
// show: rows of 5, 7, 9 and 15 lines, narrow and broad, sharp and round, lopsided
// curves, noise from none to 15 %, a passing cloud (one line dimmed or brightened), a
// seeing spike (one line far too bright), a lost star (one line at 0), flat and faint
// rows and rows whose peak lies at or beyond an end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "focus/curve_analysis.h"

namespace qm {

struct SyntheticCurve {
    std::string kind;  // how it was made, to read a difference by
    int32_t increment = 0;
    std::vector<CurvePoint> points;  // in sweep order
};

// The curve of that number; the same number gives the same curve on every build.
SyntheticCurve MakeSyntheticCurve(uint32_t number);

}  // namespace qm

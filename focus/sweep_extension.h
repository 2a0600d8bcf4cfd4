// Following the focus curve past an end of the row ("sweep = extend"): when the row's
// best line is its first or its last, the focus may lie beyond it, so the run adds
// positions one Increment at a time beyond that end until the curve has clearly
// turned, the added count reaches its limit, or the next position would leave the
// focuser's travel. Portable: the run asks here where to go next and, once it is over,
// whether the curve turned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "focus/curve_analysis.h"

namespace qm {

// A position counts as clearly below the best when its value is under this share of the
// best value. Focus values scatter by a few per cent (2-5 % in the accuracy benchmark's
// scenarios, and a position keeps the largest of its values, which pulls it up rather
// than down), so a position as good as the best falls under 90 % by noise alone in about
// one reading in fifty at 5 %, and two such positions in a row almost never; a curve
// that turned falls well under it within a few Increments.
inline constexpr int32_t kClearlyBelowPercent = 90;

struct SweepExtension {
    size_t rowLines = 0;      // step lines of the row itself, the first ones logged
    int32_t increment = 0;    // distance between positions
    int32_t maxAdded = 0;     // most positions added beyond the row (Steps)
    int64_t lowest = 0;       // the added positions stay within lowest .. highest
    int64_t highest = 0;
};

// Which end of the row the run follows: -1 below the first line, +1 above the last,
// 0 when the row's best line lies inside it (the first of equal largest values, as the
// three-point rule takes it). `points` are the step lines in the order logged.
int SweepExtensionDirection(const std::vector<CurvePoint>& points, size_t rowLines);

// The position of the next added step, or nothing when the run is to finish: the row's
// best line lies inside it, the last two added positions are both clearly below the best
// of all lines, `maxAdded` positions were added, or the next one would leave the range.
std::optional<int32_t> NextExtensionPosition(const std::vector<CurvePoint>& points, const SweepExtension& sweep);

// Whether the curve turned: after a sweep that followed an end, the best of all lines,
// in the order of their positions, has a line beyond it on the followed side. Always
// true when the row's best line lies inside the row.
bool SweepCurveTurned(const std::vector<CurvePoint>& points, size_t rowLines);

// The step lines ordered by their position (equal positions kept in the order logged),
// so that the best-focus computation reads the added lines next to their neighbours.
std::vector<std::string> StepLinesByPosition(const std::vector<std::string>& lines);

}  // namespace qm

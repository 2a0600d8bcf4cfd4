#include "focus/sweep_extension.h"

#include <algorithm>

#include "focus/best_focus.h"

namespace qm {
namespace {

// Index of the first of the largest values in [first, last).
size_t BestIndex(const std::vector<CurvePoint>& points, size_t first, size_t last) {
    size_t best = first;
    for (size_t i = first; i < last; ++i)
        if (points[i].value > points[best].value) best = i;
    return best;
}

bool ClearlyBelow(int32_t value, int32_t best) {
    return static_cast<int64_t>(value) * 100 < static_cast<int64_t>(best) * kClearlyBelowPercent;
}

}  // namespace

int SweepExtensionDirection(const std::vector<CurvePoint>& points, size_t rowLines) {
    if (rowLines == 0 || points.size() < rowLines) return 0;
    const size_t best = BestIndex(points, 0, rowLines);
    if (best == 0) return -1;
    if (best == rowLines - 1) return 1;
    return 0;
}

std::optional<int32_t> NextExtensionPosition(const std::vector<CurvePoint>& points, const SweepExtension& sweep) {
    const int direction = SweepExtensionDirection(points, sweep.rowLines);
    if (direction == 0) return std::nullopt;
    const size_t added = points.size() - sweep.rowLines;
    const int32_t best = points[BestIndex(points, 0, points.size())].value;
    if (added >= 2 && ClearlyBelow(points[points.size() - 1].value, best) &&
        ClearlyBelow(points[points.size() - 2].value, best))
        return std::nullopt;
    if (static_cast<int64_t>(added) >= sweep.maxAdded) return std::nullopt;
    // Beyond the outermost position logged on the followed side, whatever order the
    // moves left the lines in.
    const auto [lowest, highest] = std::minmax_element(
        points.begin(), points.end(), [](const CurvePoint& a, const CurvePoint& b) { return a.position < b.position; });
    const int64_t next = direction > 0 ? static_cast<int64_t>(highest->position) + sweep.increment
                                       : static_cast<int64_t>(lowest->position) - sweep.increment;
    if (next < sweep.lowest || next > sweep.highest) return std::nullopt;
    return static_cast<int32_t>(next);
}

bool SweepCurveTurned(const std::vector<CurvePoint>& points, size_t rowLines) {
    const int direction = SweepExtensionDirection(points, rowLines);
    if (direction == 0) return true;
    std::vector<CurvePoint> sorted = points;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.position < b.position; });
    const size_t best = BestIndex(sorted, 0, sorted.size());
    return direction > 0 ? best + 1 < sorted.size() : best > 0;
}

std::vector<std::string> StepLinesByPosition(const std::vector<std::string>& lines) {
    std::vector<std::pair<int32_t, const std::string*>> keyed;
    keyed.reserve(lines.size());
    for (const std::string& line : lines) {
        int32_t position = 0, value = 0;
        ReadStepLine(line, position, value);
        keyed.emplace_back(position, &line);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> sorted;
    sorted.reserve(lines.size());
    for (const auto& k : keyed) sorted.push_back(*k.second);
    return sorted;
}

}  // namespace qm

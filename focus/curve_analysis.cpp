#include "focus/curve_analysis.h"

#include <algorithm>
#include <cmath>

#include "focus/best_focus.h"

namespace qm {
namespace {

constexpr int kCurveSamplesPerStep = 4;
constexpr int kMaxCurveSteps = 100;  // a plot needs no more, however far apart the lines are

constexpr int kLeastLinesForFailedRule = 5;

// R^2 of the fit, in focus values, over every line in the stretch of the row the fit
// took its points from but the one it left out as off the curve: a faint line there
// counts even where the fit's window left it out.
double FitQuality(const PeakFit& fit, const double* xs, const double* ys, size_t points) {
    auto inside = [&](size_t i) {
        return xs[i] >= fit.from && xs[i] <= fit.to && static_cast<int>(i) != fit.dropped;
    };
    double sum = 0, count = 0;
    for (size_t i = 0; i < points; ++i)
        if (inside(i)) sum += ys[i], ++count;
    if (count < 3) return 0;
    const double mean = sum / count;
    double residual = 0, spread = 0;
    for (size_t i = 0; i < points; ++i) {
        if (!inside(i)) continue;
        const double r = ys[i] - fit.Value(xs[i]);
        residual += r * r;
        spread += (ys[i] - mean) * (ys[i] - mean);
    }
    return spread > 0 ? 1 - residual / spread : 0;
}

// Whether the fit may replace the three-point result (`parting`: how far apart the two
// are, in increments): not a symmetric fit of a curve that looks lopsided and parts from it.
bool FitTrusted(const PeakFit& fit, double parting, const PeakFitSettings& settings) {
    return fit.twoSided ||
           !(settings.maxLopsided > 0 && fit.lopsided > settings.maxLopsided && parting > settings.lopsidedParting);
}

// Why the curve cannot be trusted, or an empty text when it can.
const char* JudgeCurve(const std::vector<CurvePoint>& points, const CurveAnalysis& analysis, int32_t increment,
                       double unit, const CurveCheckSettings& settings) {
    if (points.size() < 3) return "too few step lines";
    const auto best = std::max_element(points.begin(), points.end(),
                                       [](const CurvePoint& l, const CurvePoint& r) { return l.value < r.value; });
    if (best == points.begin()) return "best value on the first line";
    if (best == points.end() - 1) return "best value on the last line";
    auto lowest = [](auto first, auto last) {
        return std::min_element(first, last, [](const CurvePoint& l, const CurvePoint& r) { return l.value < r.value; })
            ->value;
    };
    const double fallsTo = settings.sideFallsTo * best->value;
    if (lowest(points.begin(), best) > fallsTo) return "no clear fall before the best line";
    if (lowest(best + 1, points.end()) > fallsTo) return "no clear fall after the best line";
    if (!analysis.fitConverged) return "no curve fits the points";
    if (analysis.fitQuality < settings.minFitQuality) return "the fitted curve does not explain the points";
    // The best lines of the lines judged: where the fit left one out, the three-point
    // result of the rest (the line off the curve may have misled the rule, not the fit).
    int32_t bestLines = analysis.threePoint;
    if (analysis.droppedPosition != 0 && analysis.threePoint != 0) {
        std::vector<std::string> lines;
        for (const CurvePoint& p : points) lines.push_back(FormatStepLine(p.position, p.value));
        if (const int32_t rest = ComputeBestFocusFromLines(lines, increment); rest != 0) bestLines = rest;
    }
    if (bestLines != 0 && std::fabs(analysis.fitPeak - bestLines) > settings.maxDisagreement * unit)
        return "the fit and the best lines disagree";
    // The three-point rule reads every line: one the fit left out as off the curve
    // misled its result when it was the best line or one of its neighbours (the result
    // lies within half an increment of the best line).
    if (analysis.threePoint != 0 && analysis.chosen == analysis.threePoint && analysis.droppedPosition != 0 &&
        std::fabs(static_cast<double>(analysis.droppedPosition) - analysis.threePoint) <= 1.5 * unit)
        return "a line off the curve misled the best lines";
    return "";
}

}  // namespace

std::pair<double, double> CurveAnalysis::FitCurvePoint(int i) const {
    const double x = rowLowest + (rowHighest - rowLowest) * i / (fitCurvePoints - 1);
    return {rowOrigin + x * rowUnit, fit.Value(x)};
}

CurveAnalysis AnalyseCurve(const std::vector<CurvePoint>& points, int32_t increment, int32_t threePoint,
                           CurveRequest request, const PeakFitSettings& fitSettings,
                           const CurveCheckSettings& checkSettings) {
    CurveAnalysis analysis;
    analysis.threePoint = threePoint;
    analysis.chosen = threePoint;
    const double unit = increment != 0 ? std::fabs(static_cast<double>(increment)) : 1.0;
    // Positions in increments from the first line keep the fit well scaled.
    const size_t count = points.size();
    const double origin = count ? points.front().position : 0;
    std::vector<double> buffer(2 * count);
    double* const xs = buffer.data();
    double* const ys = xs + count;
    double lowest = INFINITY, highest = -INFINITY;
    bool readable = true;
    for (size_t i = 0; i < count; ++i) {
        xs[i] = (points[i].position - origin) / unit;
        ys[i] = std::max(0, points[i].value);
        lowest = std::min(lowest, xs[i]);
        highest = std::max(highest, xs[i]);
        readable = readable && points[i].position != 0;  // a position not read (0) leaves no row to fit
    }
    // The lines the check judges: all but the one the fit left out.
    std::vector<CurvePoint> judged = points;
    if (count >= 3 && readable) {
        const PeakFit fit = FitPeak(xs, ys, count, fitSettings);
        if (fit.converged && fit.peak >= lowest && fit.peak <= highest) {
            analysis.fitConverged = true;
            analysis.fitPeak = origin + fit.peak * unit;
            analysis.fitQuality = FitQuality(fit, xs, ys, count);
            if (fit.dropped >= 0) {
                analysis.droppedPosition = points[static_cast<size_t>(fit.dropped)].position;
                judged.erase(judged.begin() + fit.dropped);
            }
            // A failed three-point result (a lost star, a line at 0) is replaced only by
            // a fit that the check would pass, from enough lines to be more than a guess.
            if (threePoint != 0)
                analysis.fitTrusted = FitTrusted(fit, std::fabs(analysis.fitPeak - threePoint) / unit, fitSettings);
            else
                analysis.fitTrusted = fit.pointsUsed >= kLeastLinesForFailedRule &&
                                      !*JudgeCurve(judged, analysis, increment, unit, checkSettings);
            const int samples =
                static_cast<int>(std::min(highest - lowest, double(kMaxCurveSteps))) * kCurveSamplesPerStep;
            analysis.fitCurvePoints = samples > 0 ? samples + 1 : 0;
            analysis.fit = fit;
            analysis.rowOrigin = origin;
            analysis.rowUnit = unit;
            analysis.rowLowest = lowest;
            analysis.rowHighest = highest;
        }
    }
    if (request.useFit && analysis.fitConverged && analysis.fitTrusted) {
        const auto fitted = static_cast<int32_t>(std::nearbyint(analysis.fitPeak));
        if (fitted != 0) analysis.chosen = fitted;  // 0 would read as a failed computation
    }
    if (request.check) {
        analysis.checkReason.assign(analysis.chosen == 0 ? "no best focus from the step lines"
                                                         : JudgeCurve(judged, analysis, increment, unit, checkSettings));
        if (!analysis.checkReason.empty()) {
            analysis.checkPassed = false;
            analysis.chosen = 0;
        }
    }
    return analysis;
}

}  // namespace qm

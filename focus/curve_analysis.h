// What a finished sweep's curve says beyond the three-point result: the fitted curve
// and its maximum, and whether the curve can be trusted. Used only when an option asks
// for it; the standard run takes the three-point result alone.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "focus/peak_fit.h"

namespace qm {

// One step line of the log: the position and its focus value.
struct CurvePoint {
    int32_t position = 0;
    int32_t value = 0;
};

struct CurveAnalysis {
    int32_t threePoint = 0;     // the three-point result; 0 when it failed
    bool fitConverged = false;  // a fit converged with its maximum inside the row
    double fitPeak = 0;         // position of the fitted maximum, when converged
    double fitQuality = 0;      // how well the fit explains the points, when converged
    // The fit may stand for the result; when not, `best-focus = fit` keeps the three-point
    // one. Where the three-point rule gave no result, only a fit of five lines or more
    // that would pass the curve check (whether or not it is on) stands for it.
    bool fitTrusted = false;
    // The position of the line the fit left out as off the curve (a passing cloud, a
    // seeing spike); 0 when none was. The check judges the curve without it.
    int32_t droppedPosition = 0;
    // The fitted curve across the row, for plots: fitCurvePoints points (position,
    // value) from FitCurvePoint, none without a fit. They are worked out when asked: the
    // fit and where the row lies describe the curve in far fewer bytes than a list.
    int fitCurvePoints = 0;
    PeakFit fit;                       // in increments from the first line's position
    double rowOrigin = 0;              // the first line's position
    double rowUnit = 1;                // positions per increment
    double rowLowest = 0, rowHighest = 0;  // the row's ends, in increments from rowOrigin
    std::pair<double, double> FitCurvePoint(int i) const;
    bool checkPassed = true;    // always true when the check is off
    std::string checkReason;    // why the check refused the curve; empty when it passed
    int32_t chosen = 0;         // the result the run moves to; 0 ends it as a failed computation

    bool operator==(const CurveAnalysis&) const = default;
};

// The thresholds of the curve check and the settings of the fit, chosen from the focus
// accuracy benchmark (bench/focus_accuracy), which also passes its own to compare.
struct CurveCheckSettings {
    // Each side of the best line must fall to this fraction of the best value or below.
    double sideFallsTo = 0.9;
    // Least share of the values' spread the fit must explain (R^2 of the fitted points).
    double minFitQuality = 0.8;
    // Largest distance, in increments, between the fitted maximum and the three-point
    // result: further apart, one of them was misled by a line off the curve.
    double maxDisagreement = 1.0;
};

// What the run asks of the analysis: whether a trusted fit stands for the result
// (`best-focus = fit`), and whether a doubtful curve is refused (`curve-check = on`).
struct CurveRequest {
    bool useFit = false;
    bool check = false;
};

// The settings the program uses.
inline constexpr PeakFitSettings kPeakFitSettings;
inline constexpr CurveCheckSettings kCurveCheckSettings;

// Judges the step lines of a finished sweep as the request asks. `threePoint` is
// the standard result for the same lines (0 when it failed).
CurveAnalysis AnalyseCurve(const std::vector<CurvePoint>& points, int32_t increment, int32_t threePoint,
                           CurveRequest request, const PeakFitSettings& fitSettings = kPeakFitSettings,
                           const CurveCheckSettings& checkSettings = kCurveCheckSettings);

}  // namespace qm

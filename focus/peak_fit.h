// A fit of a focus curve's peak. The focus values, as fractions of the largest, are
// taken through a power transform (the logarithm for a Gaussian, 1/value for a
// Lorentzian, Moffat-like profiles between and beyond) and a weighted least-squares
// parabola is fitted through them: symmetric, or with a curvature of its own on each
// side of the maximum for a curve that falls faster on one side. Of the shapes tried,
// the one that explains the values best wins; the two-sided one only when it explains
// them clearly better than its extra figure alone would. First over the row, then, for
// a symmetric fit, over the points near its maximum. Small on purpose: 3x3 linear
// solves only. How each choice was measured: bench/focus_accuracy/RESULTS.md.
#pragma once

#include <cstddef>

namespace qm {

struct PeakFitSettings {
    // The transforms tried, as Box-Cox powers (the first shapeCount): 0 the logarithm
    // (a Gaussian), -1 the reciprocal (a Lorentzian), -1/beta a Moffat profile of index beta.
    double shapes[5] = {0, -0.5, -1, -2};
    int shapeCount = 4;
    // Each point weighs value^(weightPower - 2 * shape), so that with weightPower 2 the
    // transformed misses count as the misses of the values themselves would.
    int weightPower = 2;
    double windowFraction = 0.15;  // points below this fraction of the largest value are left out
    // When above 0: a second fit takes only the points within this many x units of the
    // first fit's maximum, so the far flanks, where real curves depart most from any
    // one model, do not pull the result.
    double localSpan = 2.5;
    // The two-sided fit wins only when its small-sample Akaike criterion beats the
    // symmetric fit's by more than this (below 0: never tried).
    double twoSidedPenalty = 4;
    // The three-point result stands instead of a symmetric fit of a curve whose two
    // sides, fitted on their own, fall at rates that differ by more than the factor
    // maxLopsided (0: never), when the fit and the three-point result are more than
    // lopsidedParting x units apart: the broad flank of a skewed curve pulls a symmetric
    // fit further than it pulls the three brightest lines.
    double maxLopsided = 2;
    double lopsidedParting = 0.1;
};

struct PeakFit {
    bool converged = false;  // a finite maximum from at least three points
    double peak = 0;         // position of the maximum, in the units of xs
    double shape = 0;        // the transform's power
    double top = 0;          // the transformed value at the maximum
    double left = 0, right = 0;  // curvature of the transformed values before and after the maximum
    double scale = 1;        // the values are fractions of this
    bool twoSided = false;   // left and right were fitted on their own
    int pointsUsed = 0;      // points the fit took
    // The larger over the smaller curvature of the two sides when each side is fitted on
    // its own (1 for a symmetric curve; infinite when a side does not fall).
    double lopsided = 1;
    double from = 0, to = 0;  // the stretch of xs the fit took its points from
    double Value(double x) const;

    bool operator==(const PeakFit&) const = default;
};

// Fits the `count` points (xs[i], values[i]), working in `work`: room for 4 x count
// doubles, which the caller allocates with its own (the fit allocates nothing).
PeakFit FitPeak(const double* xs, const double* values, size_t count, double* work,
                const PeakFitSettings& settings = {});

}  // namespace qm

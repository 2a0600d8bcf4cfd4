// A fit of a focus curve's peak: a Pearson VII (Moffat) profile
//     value(x) = height * (1 + (2^(1/index) - 1) * ((x - peak) / width)^2)^-index,
// width the half width at half maximum, index free (1: a Lorentzian, large: a Gaussian),
// fitted by nonlinear least squares to the logarithms of the values, each weighted by
// the noise expected of it (a share of the value, plus a floor that matters on faint
// lines). A lopsided variant has a width of its own on each side of the peak; it is
// chosen over the symmetric one only when it predicts each line, fitted without that
// line, better (leave-one-out cross-validation). Fixed skews (one side a set number of
// times as wide as the other) are fitted too, and the peak is the average of theirs and
// the chosen fit's, weighted by how well each predicts the lines left out. A line that the others predict far
// from its value (a passing cloud, a seeing spike) is left out and the rest fitted
// again. How each choice was measured: bench/focus_accuracy/RESULTS.md.
#pragma once

#include <cstddef>

namespace qm {

struct PeakFitSettings {
    double windowFraction = 0.1;  // lines below this fraction of the largest value are left out
    // The noise model of the weights: the standard deviation of a value's logarithm is
    // sqrt(relativeNoise^2 + (noiseFloor / fraction of the largest value)^2).
    double relativeNoise = 0.05;
    double noiseFloor = 0.01;
    // A weak pull of the index towards 2 (in its logarithm, this many natural-log units
    // per standard deviation; 0: none), which keeps rows of few lines from trading index
    // for width.
    double indexPrior = 1.5;
    // The lopsided variant is tried on rows of at least this many lines (0: never), and
    // chosen when its cross-validation score (the squared misses, in noise units, of
    // each line predicted by the fit of the others) is below lopsidedMargin times the
    // symmetric one's (its extra width fits noise too),
    // and by more than lopsidedGain noise units squared (a difference that noise alone
    // would seldom make).
    int lopsidedFromLines = 6;
    double lopsidedMargin = 0.3;
    double lopsidedGain = 8;
    // The three-point result stands instead of the symmetric fit of a row too short for
    // the lopsided variant to be cross-validated when that variant, fitted to the same
    // lines, has one width more than maxLopsided times the other (0: never) and the
    // fit lies more than lopsidedParting x units from the three-point result: the broad
    // flank of a skewed curve pulls a symmetric fit further than the three brightest lines.
    double maxLopsided = 1.6;
    double lopsidedParting = 0.1;
    // A line is left out when the fit of the others misses its value by more than
    // dropBeyond in the logarithm (0.25: 22 % too faint or 28 % too bright) and by more
    // than dropAgainstRest times the others' typical miss; only in rows of at least
    // dropFromLines lines (0: never).
    double dropBeyond = 0.25;
    double dropAgainstRest = 4;
    int dropFromLines = 6;
    // Where the lopsided fit of all lines is chosen, the line is left out only when the
    // rest's cross-validation score per line is below this share of all lines' score.
    double dropAgainstLopsided = 0.3;
    // Rows of at least skewFromLines lines (0: never) are also fitted with fixed skews
    // (one side 1.5, 2, 3 or 4 times as wide as the other, either side), each
    // cross-validated; the peak is the average of theirs and the chosen fit's, weighted
    // by exp(-score / 2), the chosen fit's weight times symmetricPrior.
    // The scores are divided by the least score per line where that exceeds 1 (the
    // lines scatter more than the noise model expects).
    int skewFromLines = 6;
    double symmetricPrior = 300;
    bool scaleScores = true;
};

struct PeakFit {
    bool converged = false;      // a finite maximum from at least three lines
    double peak = 0;             // position of the maximum, in the units of xs
    double height = 0;           // the value at the maximum
    double left = 1, right = 1;  // half widths at half maximum before and after the maximum
    double index = 1;            // the profile's index
    bool twoSided = false;       // left and right differ (fitted on their own, or a fixed skew)
    int pointsUsed = 0;          // lines the fit took
    int dropped = -1;            // the line left out as off the curve, -1 for none
    // The larger over the smaller width of the lopsided variant fitted to the same lines
    // (1 where it was not: a row long enough to choose between the two by
    // cross-validation, or a fit that did not converge).
    double lopsided = 1;
    double from = 0, to = 0;  // the stretch of xs the fit took its lines from
    double Value(double x) const;

    bool operator==(const PeakFit&) const = default;
};

// Fits the `count` lines (xs[i], values[i]).
PeakFit FitPeak(const double* xs, const double* values, size_t count, const PeakFitSettings& settings = {});

}  // namespace qm

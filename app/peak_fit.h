// A fit of a focus curve's peak: a weighted least-squares parabola through the logarithm
// of the focus values (a Gaussian through the values), weighted towards the bright
// points, first over the row and then over the points near its maximum, plus how
// lopsided the points are about it (a curvature for each side, the shared maximum
// searched nearby). Small on purpose: 3x3 linear solves only. Robust refits and a
// two-sided peak as the result were measured and left out (bench/focus_accuracy/RESULTS.md).
#pragma once

#include <vector>

namespace qm {

struct PeakFitSettings {
    int weightPower = 2;            // each point weighs value^weightPower
    double windowFraction = 0.15;   // points below this fraction of the largest value are left out
    // When above 0: a second fit takes only the points within this many x units of the
    // first fit's maximum, so the far flanks, where real curves depart most from any
    // one model, do not pull the result.
    double localSpan = 2.5;
    // When the run's result may come from the fit, the three-point result stands instead
    // for a star whose fitted half width at half maximum is below narrowWidth (x units)
    // and whose fit took more than narrowMaxPoints points, and for a curve whose two
    // sides' fitted curvatures differ by more than the factor maxLopsided (0: never) when
    // the fit and the three-point result are more than lopsidedParting x units apart.
    double narrowWidth = 2;
    int narrowMaxPoints = 4;
    double maxLopsided = 2;
    double lopsidedParting = 0.1;
};

struct PeakFit {
    bool converged = false;  // a finite maximum from at least three points
    double peak = 0;         // position of the maximum, in the units of xs
    double a = 0, b = 0, c = 0;  // log(value) = a x^2 + b x + c around the mean of xs
    double centre = 0;       // the mean of xs the coefficients are taken about
    int pointsUsed = 0;      // points the fit took
    // The larger over the smaller curvature of log(value) on the two sides of the maximum
    // when each side is fitted on its own (1 for a symmetric curve; infinite when a side
    // does not fall or has no points).
    double lopsided = 1;
    double from = 0, to = 0;  // the stretch of xs the fit took its points from
    double Value(double x) const;
    // Half width at half maximum of the fitted Gaussian, in x units (0 when not converged).
    double HalfWidth() const;
};

PeakFit FitPeak(const std::vector<double>& xs, const std::vector<double>& values,
                const PeakFitSettings& settings = {});

}  // namespace qm

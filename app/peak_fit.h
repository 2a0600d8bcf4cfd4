// A robust fit of a focus curve's peak: a parabola through the logarithm of the focus
// values (a Gaussian through the values), weighted towards the bright points near the
// peak and refitted with biweight weights so that one dimmed or spurious point barely
// moves it. Small on purpose: a 3x3 linear solve repeated a few times.
#pragma once

#include <vector>

namespace qm {

struct PeakFitSettings {
    double weightPower = 2;         // each point weighs value^weightPower (before robustness)
    double windowFraction = 0.15;   // points below this fraction of the largest value are left out
    int robustPasses = 0;           // biweight refits; 0 is a plain weighted fit
    double minResidualScale = 0.03; // the biweight scale never drops below this (log units)
    // When above 0: a second fit takes only the points within this many x units of the
    // first fit's maximum, so the far flanks, where real curves depart most from any
    // one model, do not pull the result.
    double localSpan = 2.5;
    // Lets the two sides of the peak fall at different rates (a half Gaussian each side,
    // the peak searched around the symmetric fit's), kept when its weighted error is
    // below twoSidedGain times the symmetric fit's. Off: on symmetric curves the extra
    // freedom costs more than it gains on skewed ones (bench/focus_accuracy).
    bool twoSided = false;
    double twoSidedGain = 1;

};

struct PeakFit {
    bool converged = false;  // a finite maximum from at least three points
    double peak = 0;         // position of the maximum, in the units of xs
    double a = 0, b = 0, c = 0;  // log(value) = a x^2 + b x + c around the mean of xs
    double centre = 0;       // the mean of xs the coefficients are taken about
    int pointsUsed = 0;      // points with a weight left after the last pass
    bool twoSided = false;    // then log(value) = c + (x < peak ? a : b) (x - peak)^2
    double from = 0, to = 0;  // the stretch of xs the fit took its points from
    double Value(double x) const;
};

PeakFit FitPeak(const std::vector<double>& xs, const std::vector<double>& values,
                const PeakFitSettings& settings = {});

}  // namespace qm

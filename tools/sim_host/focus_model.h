// The simulated imaging host's idea of a star: how sharp it looks at a given focuser
// position, and the focus value a camera exposure at that position would report.
// The star's width (FWHM, in pixels) grows hyperbolically away from the true focus,
//     fwhm(p) = sqrt(minFwhm^2 + (slope * (p - trueFocus))^2),
// each exposure blurs it by a random seeing factor, and the focus value is
// scale / fwhm with multiplicative and additive noise, rounded and kept within
// 0 .. INT32_MAX (larger means sharper). Noise comes from a seeded std::mt19937, so a
// run with the same seed and the same positions gives the same values.
// Portable: no Windows headers; the host and the accuracy benchmark share it.
#pragma once

#include <cstdint>
#include <random>

namespace qm::sim {

struct FocusModelParams {
    double trueFocus = 1000;   // focuser position of the sharpest image, in steps
    double minFwhm = 2.0;      // star width at the true focus, in pixels
    double slope = 0.02;       // growth of the width far from focus, pixels per step
    double scale = 100000;     // focus value of a star 1 pixel wide
    double noise = 0;          // standard deviation of the multiplicative noise (0.05 = 5 %)
    double additiveNoise = 0;  // standard deviation of the additive noise, in focus-value units
    double seeing = 0;         // standard deviation of the log of the seeing blur factor
    double slopeAbove = 0;     // slope above the true focus, for a skewed curve (0: slope)
    double cloudPosition = 0;  // exposures at exactly this position are dimmed by cloudFactor
    double cloudFactor = 1;    // 1: no cloud
    uint32_t seed = 1;
};

class FocusModel {
  public:
    explicit FocusModel(const FocusModelParams& params);

    const FocusModelParams& Params() const { return params_; }

    // Star width at position without seeing: the shape of the focus curve.
    double Fwhm(double position) const;
    // Focus value at position without any noise, before rounding.
    double IdealValue(double position) const;
    // One exposure at position: draws seeing and noise, advances the generator.
    int32_t Measure(double position);

    // Rounds a focus value to the nearest integer and keeps it within 0 .. INT32_MAX;
    // values that are not numbers read as 0.
    static int32_t ClipValue(double value);

  private:
    FocusModelParams params_;
    std::mt19937 random_;
    std::normal_distribution<double> normal_{0.0, 1.0};
};

}  // namespace qm::sim

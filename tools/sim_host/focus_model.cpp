// The simulated star and its noisy focus values (see focus_model.h).
#include "tools/sim_host/focus_model.h"

#include <cmath>
#include <limits>

namespace qm::sim {

FocusModel::FocusModel(const FocusModelParams& params) : params_(params), random_(params.seed) {}

double FocusModel::Fwhm(double position) const {
    const double slope =
        position > params_.trueFocus && params_.slopeAbove > 0 ? params_.slopeAbove : params_.slope;
    const double defocus = slope * (position - params_.trueFocus);
    return std::sqrt(params_.minFwhm * params_.minFwhm + defocus * defocus);
}

double FocusModel::IdealValue(double position) const {
    // A zero width (minFwhm 0 exactly at focus) is an infinitely sharp star; ClipValue
    // turns the resulting infinity into the largest value.
    return params_.scale / Fwhm(position);
}

int32_t FocusModel::Measure(double position) {
    // Draw all three numbers on every call, whatever the parameters, so the sequence
    // for a seed depends only on the number of exposures, not on which noises are on.
    const double seeingDraw = normal_(random_);
    const double noiseDraw = normal_(random_);
    const double additiveDraw = normal_(random_);
    // Seeing only ever widens or narrows the star by a positive factor.
    const double width = Fwhm(position) * std::exp(params_.seeing * seeingDraw);
    double value = params_.scale / width;
    value *= 1.0 + params_.noise * noiseDraw;
    value += params_.additiveNoise * additiveDraw;
    if (position == params_.cloudPosition) value *= params_.cloudFactor;
    return ClipValue(value);
}

int32_t FocusModel::ClipValue(double value) {
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    if (!(value > 0))
        return 0;  // also NaN
    if (value >= kMax)
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::llround(value));
}

}  // namespace qm::sim

#include "app/peak_fit.h"

#include <algorithm>
#include <cmath>

namespace qm {
namespace {

// Solves m x = v (3x3) by Gaussian elimination with partial pivoting; false when singular.
bool Solve3(double m[3][4], double x[3]) {
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        if (!(std::fabs(m[pivot][col]) > 1e-12)) return false;
        for (int k = 0; k < 4; ++k) std::swap(m[col][k], m[pivot][k]);
        for (int r = col + 1; r < 3; ++r) {
            const double f = m[r][col] / m[col][col];
            for (int k = col; k < 4; ++k) m[r][k] -= f * m[col][k];
        }
    }
    for (int r = 2; r >= 0; --r) {
        double s = m[r][3];
        for (int k = r + 1; k < 3; ++k) s -= m[r][k] * x[k];
        x[r] = s / m[r][r];
    }
    return std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]);
}

}  // namespace

double PeakFit::Value(double x) const {
    const double d = x - centre;
    return std::exp(a * d * d + b * d + c);
}

namespace {

PeakFit FitOnce(const std::vector<double>& xs, const std::vector<double>& values, const PeakFitSettings& settings) {
    PeakFit fit;
    const size_t n = std::min(xs.size(), values.size());
    if (n < 3) return fit;
    const double largest = *std::max_element(values.begin(), values.begin() + n);
    if (!(largest > 0)) return fit;

    // Only positive points above the window take part; x about their mean, values as
    // fractions of the largest, keep the normal equations well scaled.
    std::vector<double> x, y, weight;
    double mean = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!(values[i] > 0) || values[i] < settings.windowFraction * largest) continue;
        x.push_back(xs[i]);
        y.push_back(std::log(values[i] / largest));
        double w = 1;
        for (int k = 0; k < settings.weightPower; ++k) w *= values[i] / largest;
        weight.push_back(w);
        mean += xs[i];
    }
    if (x.size() < 3) return fit;
    mean /= static_cast<double>(x.size());
    fit.from = *std::min_element(x.begin(), x.end());
    fit.to = *std::max_element(x.begin(), x.end());
    for (double& xi : x) xi -= mean;

    double m[3][4] = {};
    for (size_t i = 0; i < x.size(); ++i) {
        const double basis[3] = {x[i] * x[i], x[i], 1};
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k) m[r][k] += weight[i] * basis[r] * basis[k];
            m[r][3] += weight[i] * basis[r] * y[i];
        }
    }
    double coef[3] = {};
    if (!Solve3(m, coef)) return fit;
    fit.pointsUsed = static_cast<int>(x.size());
    fit.a = coef[0];
    fit.b = coef[1];
    fit.c = coef[2] + std::log(largest);
    fit.centre = mean;
    if (!(fit.a < 0)) return fit;
    fit.peak = mean - fit.b / (2 * fit.a);
    fit.converged = std::isfinite(fit.peak);
    return fit;
}

}  // namespace

PeakFit FitPeak(const std::vector<double>& xs, const std::vector<double>& values, const PeakFitSettings& settings) {
    const PeakFit whole = FitOnce(xs, values, settings);
    if (!(settings.localSpan > 0) || !whole.converged) return whole;
    std::vector<double> nearX, nearY;
    for (size_t i = 0; i < xs.size() && i < values.size(); ++i) {
        if (std::fabs(xs[i] - whole.peak) <= settings.localSpan) nearX.push_back(xs[i]), nearY.push_back(values[i]);
    }
    PeakFit local = FitOnce(nearX, nearY, settings);
    if (!local.converged) return whole;
    // The stretch judged is the one the points were taken from, faint ones included.
    local.from = whole.peak - settings.localSpan;
    local.to = whole.peak + settings.localSpan;
    return local;
}

}  // namespace qm

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

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + mid, v.end());
    return v[mid];
}

}  // namespace

double PeakFit::Value(double x) const {
    if (twoSided) {
        const double d = x - peak;
        return std::exp((d < 0 ? a : b) * d * d + c);
    }
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
    std::vector<double> x, y, base;
    double mean = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!(values[i] > 0) || values[i] < settings.windowFraction * largest) continue;
        x.push_back(xs[i]);
        y.push_back(std::log(values[i] / largest));
        base.push_back(std::pow(values[i] / largest, settings.weightPower));
        mean += xs[i];
    }
    if (x.size() < 3) return fit;
    mean /= static_cast<double>(x.size());
    fit.from = *std::min_element(x.begin(), x.end());
    fit.to = *std::max_element(x.begin(), x.end());
    for (double& xi : x) xi -= mean;

    std::vector<double> weight = base, residual(x.size());
    double coef[3] = {};
    for (int pass = 0; pass <= settings.robustPasses; ++pass) {
        double m[3][4] = {};
        int used = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            if (!(weight[i] > 0)) continue;
            ++used;
            const double basis[3] = {x[i] * x[i], x[i], 1};
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 3; ++k) m[r][k] += weight[i] * basis[r] * basis[k];
                m[r][3] += weight[i] * basis[r] * y[i];
            }
        }
        if (used < 3 || !Solve3(m, coef)) return fit;
        fit.pointsUsed = used;
        if (pass == settings.robustPasses) break;
        // Biweight: a point far off the curve, measured against the typical residual,
        // loses its weight; the scale has a floor so that a near-perfect curve does not
        // make ordinary noise look like an outlier.
        std::vector<double> magnitudes;
        for (size_t i = 0; i < x.size(); ++i) {
            residual[i] = y[i] - (coef[0] * x[i] * x[i] + coef[1] * x[i] + coef[2]);
            magnitudes.push_back(std::fabs(residual[i]));
        }
        const double scale = std::max(1.4826 * Median(magnitudes), settings.minResidualScale);
        const double cutoff = 4.685 * scale;
        for (size_t i = 0; i < x.size(); ++i) {
            const double u = residual[i] / cutoff;
            weight[i] = std::fabs(u) < 1 ? base[i] * (1 - u * u) * (1 - u * u) : 0;
        }
    }
    fit.a = coef[0];
    fit.b = coef[1];
    fit.c = coef[2] + std::log(largest);
    fit.centre = mean;
    if (!(fit.a < 0)) return fit;
    fit.peak = mean - fit.b / (2 * fit.a);
    fit.converged = std::isfinite(fit.peak);
    if (!fit.converged || !settings.twoSided || x.size() < 5) return fit;
    constexpr double kSearch = 0.6, kGrid = 0.01;
    const double symmetricPeak = fit.peak - mean;
    double symmetricError = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double r = y[i] - (coef[0] * x[i] * x[i] + coef[1] * x[i] + coef[2]);
        symmetricError += weight[i] * r * r;
    }
    double bestError = settings.twoSidedGain * symmetricError;
    for (double p = symmetricPeak - kSearch; p <= symmetricPeak + kSearch + 1e-9; p += kGrid) {
        double m[3][4] = {};
        for (size_t i = 0; i < x.size(); ++i) {
            if (!(weight[i] > 0)) continue;
            const double d2 = (x[i] - p) * (x[i] - p);
            const double basis[3] = {x[i] < p ? d2 : 0, x[i] < p ? 0 : d2, 1};
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 3; ++k) m[r][k] += weight[i] * basis[r] * basis[k];
                m[r][3] += weight[i] * basis[r] * y[i];
            }
        }
        double side[3];
        if (!Solve3(m, side) || !(side[0] < 0) || !(side[1] < 0)) continue;
        double error = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            const double d = x[i] - p;
            const double r = y[i] - ((d < 0 ? side[0] : side[1]) * d * d + side[2]);
            error += weight[i] * r * r;
        }
        if (error < bestError) {
            bestError = error;
            fit.twoSided = true;
            fit.a = side[0], fit.b = side[1], fit.c = side[2] + std::log(largest);
            fit.peak = p + mean;
        }
    }
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

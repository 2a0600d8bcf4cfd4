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

double PeakFit::HalfWidth() const { return a < 0 ? std::sqrt(std::log(2.0) / -a) : 0; }

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

    // Weighted least squares of y on three basis functions of x; the weighted sum of
    // squared misses, or infinity when the system is singular.
    auto solve = [&](auto basisOf, double coef[3]) {
        double m[3][4] = {};
        for (size_t i = 0; i < x.size(); ++i) {
            double basis[3];
            basisOf(x[i], basis);
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 3; ++k) m[r][k] += weight[i] * basis[r] * basis[k];
                m[r][3] += weight[i] * basis[r] * y[i];
            }
        }
        if (!Solve3(m, coef)) return double(INFINITY);
        double misses = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            double basis[3];
            basisOf(x[i], basis);
            const double r = y[i] - (basis[0] * coef[0] + basis[1] * coef[1] + basis[2] * coef[2]);
            misses += weight[i] * r * r;
        }
        return misses;
    };
    double coef[3] = {};
    if (!std::isfinite(solve([](double xi, double* b) { b[0] = xi * xi, b[1] = xi, b[2] = 1; }, coef))) return fit;
    fit.pointsUsed = static_cast<int>(x.size());
    fit.a = coef[0];
    fit.b = coef[1];
    fit.c = coef[2] + std::log(largest);
    fit.centre = mean;
    if (!(fit.a < 0)) return fit;
    const double top = -fit.b / (2 * fit.a);
    fit.peak = mean + top;
    fit.converged = std::isfinite(fit.peak);
    // A two-sided curve, a curvature of its own on each side of a maximum searched within
    // one x unit of the symmetric one: how much faster one side falls than the other.
    double bestMisses = INFINITY;
    for (int k = -50; k <= 50; ++k) {
        const double vertex = top + k * 0.02;
        double sides[3] = {};
        const double misses = solve(
            [vertex](double xi, double* b) {
                const double d = xi - vertex;
                b[0] = d < 0 ? d * d : 0, b[1] = d < 0 ? 0 : d * d, b[2] = 1;
            },
            sides);
        if (!(misses < bestMisses)) continue;
        bestMisses = misses;
        fit.lopsided = sides[0] < 0 && sides[1] < 0 ? std::max(sides[0] / sides[1], sides[1] / sides[0]) : INFINITY;
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

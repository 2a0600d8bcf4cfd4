#include "focus/least_squares.h"

#include <algorithm>
#include <cmath>

namespace qm {
namespace {

double SumOfSquares(const std::vector<double>& r) {
    double s = 0;
    for (double v : r) s += v * v;
    return std::isfinite(s) ? s : INFINITY;
}

// Solves a x = b (n x n, a row-major) by Gaussian elimination with partial pivoting;
// false when singular.
bool SolveLinear(std::vector<double> a, std::vector<double> b, size_t n, std::vector<double>& x) {
    for (size_t col = 0; col < n; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < n; ++r)
            if (std::fabs(a[r * n + col]) > std::fabs(a[pivot * n + col])) pivot = r;
        if (!(std::fabs(a[pivot * n + col]) > 1e-300)) return false;
        for (size_t k = 0; k < n; ++k) std::swap(a[col * n + k], a[pivot * n + k]);
        std::swap(b[col], b[pivot]);
        for (size_t r = col + 1; r < n; ++r) {
            const double f = a[r * n + col] / a[col * n + col];
            for (size_t k = col; k < n; ++k) a[r * n + k] -= f * a[col * n + k];
            b[r] -= f * b[col];
        }
    }
    x.assign(n, 0);
    for (size_t r = n; r-- > 0;) {
        double s = b[r];
        for (size_t k = r + 1; k < n; ++k) s -= a[r * n + k] * x[k];
        x[r] = s / a[r * n + r];
        if (!std::isfinite(x[r])) return false;
    }
    return true;
}

}  // namespace

LeastSquaresFit MinimiseSquares(const ResidualFunction& residuals, size_t residualCount, std::vector<double>& params,
                                int maxIterations) {
    LeastSquaresFit fit;
    const size_t n = params.size(), m = residualCount;
    std::vector<double> r(m), trial(m), jacobian(m * n), normal(n * n), gradient(n), step;
    if (!residuals(params, r) || !std::isfinite(fit.cost = SumOfSquares(r))) return fit;
    double damping = 1e-3;
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
        // The Jacobian by forward differences, each step scaled to its parameter.
        for (size_t k = 0; k < n; ++k) {
            std::vector<double> moved = params;
            const double h = 1e-6 * std::max(1.0, std::fabs(params[k]));
            moved[k] += h;
            if (!residuals(moved, trial)) {
                moved[k] = params[k] - h;
                if (!residuals(moved, trial)) return fit;
                for (size_t i = 0; i < m; ++i) jacobian[i * n + k] = (r[i] - trial[i]) / h;
            } else {
                for (size_t i = 0; i < m; ++i) jacobian[i * n + k] = (trial[i] - r[i]) / h;
            }
        }
        for (size_t a = 0; a < n; ++a) {
            gradient[a] = 0;
            for (size_t i = 0; i < m; ++i) gradient[a] -= jacobian[i * n + a] * r[i];
            for (size_t b = 0; b < n; ++b) {
                double s = 0;
                for (size_t i = 0; i < m; ++i) s += jacobian[i * n + a] * jacobian[i * n + b];
                normal[a * n + b] = s;
            }
        }
        bool improved = false;
        while (!improved && damping < 1e12) {
            std::vector<double> damped = normal;
            for (size_t a = 0; a < n; ++a) damped[a * n + a] += damping * std::max(normal[a * n + a], 1e-12);
            if (SolveLinear(damped, gradient, n, step)) {
                std::vector<double> next = params;
                for (size_t a = 0; a < n; ++a) next[a] += step[a];
                double cost = INFINITY;
                if (residuals(next, trial) && (cost = SumOfSquares(trial)) < fit.cost) {
                    const double gain = fit.cost - cost;
                    params = next;
                    r.swap(trial);
                    fit.cost = cost;
                    damping = std::max(damping / 3, 1e-9);
                    improved = true;
                    if (gain < 1e-10 * (1 + cost)) {
                        fit.converged = true;
                        return fit;
                    }
                    continue;
                }
            }
            damping *= 4;
        }
        if (!improved) break;  // no step lowers the cost: a minimum, as far as can be told
    }
    fit.converged = std::isfinite(fit.cost);
    return fit;
}

}  // namespace qm

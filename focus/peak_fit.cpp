#include "focus/peak_fit.h"

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

// The Box-Cox transform of a positive fraction (increasing in it) and its inverse; a
// transformed value beyond the transform's reach reads as an infinite value.
double Transform(double y, double shape) {
    return shape == 0 ? std::log(y) : (std::exp(shape * std::log(y)) - 1) / shape;
}
double Untransform(double g, double shape) {
    if (shape == 0) return std::exp(g);
    const double base = 1 + shape * g;
    return base > 0 ? std::exp(std::log(base) / shape) : INFINITY;
}

// The three basis functions at x: a parabola (x^2, x, 1), or about `vertex` a
// curvature for each side ((x - vertex)^2 before it, after it, 1).
void Basis(double x, double vertex, bool twoSided, double basis[3]) {
    const double d = x - vertex;
    basis[0] = twoSided ? (d < 0 ? d * d : 0) : x * x;
    basis[1] = twoSided ? (d < 0 ? 0 : d * d) : x;
    basis[2] = 1;
}

// Weighted least squares of g on the basis; the weighted sum of squared misses, or
// infinity when the system is singular.
double SolveWeighted(const double* x, const double* g, const double* weight, size_t count, double vertex,
                     bool twoSided, double coef[3]) {
    double m[3][4] = {};
    double basis[3];
    for (size_t i = 0; i < count; ++i) {
        Basis(x[i], vertex, twoSided, basis);
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k) m[r][k] += weight[i] * basis[r] * basis[k];
            m[r][3] += weight[i] * basis[r] * g[i];
        }
    }
    if (!Solve3(m, coef)) return INFINITY;
    double misses = 0;
    for (size_t i = 0; i < count; ++i) {
        Basis(x[i], vertex, twoSided, basis);
        const double r = g[i] - (basis[0] * coef[0] + basis[1] * coef[1] + basis[2] * coef[2]);
        misses += weight[i] * r * r;
    }
    return misses;
}

// One fit of the points with a positive value above the window and, when `span` is
// above 0, within `span` of `centre`: the best of the shapes, symmetric or two-sided.
PeakFit FitOnce(const double* xs, const double* values, size_t n, double* work, const PeakFitSettings& settings,
                double centre, double span) {
    PeakFit best;
    auto taken = [&](size_t i) { return !(span > 0) || std::fabs(xs[i] - centre) <= span; };
    double largest = -INFINITY;
    size_t candidates = 0;
    for (size_t i = 0; i < n; ++i)
        if (taken(i)) largest = std::max(largest, values[i]), ++candidates;
    if (candidates < 3 || !(largest > 0)) return best;

    // x about the points' mean, values as fractions of the largest: the normal equations
    // stay well scaled. The work area holds x, the fractions, their transform and the weights.
    double* const x = work;
    double* const y = x + n;
    double* const g = y + n;
    double* const weight = g + n;
    size_t used = 0;
    double mean = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!taken(i) || !(values[i] > 0) || values[i] < settings.windowFraction * largest) continue;
        x[used] = xs[i];
        y[used++] = values[i] / largest;
        mean += xs[i];
    }
    if (used < 3) return best;
    const double count = static_cast<double>(used);
    mean /= count;
    double from = INFINITY, to = -INFINITY;
    for (size_t i = 0; i < used; ++i) {
        x[i] -= mean;
        from = std::min(from, x[i]);
        to = std::max(to, x[i]);
    }

    auto solve = [&](double vertex, bool twoSided, double coef[3]) {
        return SolveWeighted(x, g, weight, used, vertex, twoSided, coef);
    };
    // How well a fit explains the values themselves: n ln(squared misses / n).
    auto score = [&](const PeakFit& fit) {
        double misses = 0;
        for (size_t i = 0; i < used; ++i) {
            const double r = y[i] - fit.Value(x[i] + mean) / largest;
            misses += r * r;
        }
        return count * std::log(misses / count + 1e-12);
    };
    // The two-sided fit's one extra figure against the symmetric fit's three, in the
    // small-sample Akaike criterion; it needs at least six points.
    const double twoSidedCost = used > 5 && settings.twoSidedPenalty >= 0
                                    ? settings.twoSidedPenalty + 2 + 40 / (count - 5) - 24 / (count - 4)
                                    : INFINITY;

    double bestScore = INFINITY;
    for (int s = 0; s < settings.shapeCount && s < 5; ++s) {
        const double shape = settings.shapes[s];
        for (size_t i = 0; i < used; ++i) {
            g[i] = Transform(y[i], shape);
            weight[i] = std::exp((settings.weightPower - 2 * shape) * std::log(y[i]));
        }
        double coef[3] = {};
        if (!std::isfinite(solve(0, false, coef)) || !(coef[0] < 0)) continue;
        PeakFit fit;
        fit.shape = shape;
        fit.scale = largest;
        fit.pointsUsed = static_cast<int>(used);
        fit.from = from + mean;
        fit.to = to + mean;
        const double vertex = -coef[1] / (2 * coef[0]);
        fit.peak = mean + vertex;
        fit.top = coef[2] - coef[1] * coef[1] / (4 * coef[0]);
        fit.left = fit.right = coef[0];
        if (!std::isfinite(fit.peak) || !std::isfinite(Untransform(fit.top, shape))) continue;
        fit.converged = true;
        // The two-sided fit: a curvature of its own on each side of a maximum searched
        // within one x unit of the symmetric one.
        double leastMisses = INFINITY, sides[3] = {}, sidesVertex = vertex;
        for (int k = -50; k <= 50; ++k) {
            const double v = vertex + k * 0.02;
            double c[3] = {};
            const double misses = solve(v, true, c);
            if (misses < leastMisses) leastMisses = misses, sidesVertex = v, std::copy(c, c + 3, sides);
        }
        const bool bothFall = sides[0] < 0 && sides[1] < 0;
        fit.lopsided = bothFall ? std::max(sides[0] / sides[1], sides[1] / sides[0]) : INFINITY;
        const double symmetricScore = score(fit);
        if (symmetricScore < bestScore) bestScore = symmetricScore, best = fit;
        if (!bothFall || !std::isfinite(twoSidedCost)) continue;
        PeakFit twoSided = fit;
        twoSided.twoSided = true;
        twoSided.peak = mean + sidesVertex;
        twoSided.top = sides[2];
        twoSided.left = sides[0];
        twoSided.right = sides[1];
        const double twoSidedScore = score(twoSided) + twoSidedCost;
        if (twoSidedScore < bestScore && twoSidedScore < symmetricScore && std::isfinite(Untransform(sides[2], shape)))
            bestScore = twoSidedScore, best = twoSided;
    }
    return best;
}

}  // namespace

double PeakFit::Value(double x) const {
    const double d = x - peak;
    return scale * Untransform(top + (d < 0 ? left : right) * d * d, shape);
}

PeakFit FitPeak(const double* xs, const double* values, size_t count, double* work,
                const PeakFitSettings& settings) {
    PeakFit fit = FitOnce(xs, values, count, work, settings, 0, 0);
    // A two-sided fit needs the points the near refit would leave out.
    if (!(settings.localSpan > 0) || !fit.converged || fit.twoSided) return fit;
    const double centre = fit.peak;
    const PeakFit local = FitOnce(xs, values, count, work, settings, centre, settings.localSpan);
    if (local.converged) {
        fit = local;
        // The stretch judged is the one the points were taken from, faint ones included.
        fit.from = centre - settings.localSpan;
        fit.to = centre + settings.localSpan;
    }
    return fit;
}

}  // namespace qm

#include "focus/peak_fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/exp_minus_one.h"
#include "focus/least_squares.h"

namespace qm {
namespace {

constexpr double kLn2 = 0.69314718055994531;
constexpr double kLeastFall = 0.98;    // the fitted curve at the row's ends, at most, of its height
constexpr double kIndexCentre = kLn2;  // the prior's centre: index 2, in its logarithm
// Reach of the parameters (logarithms of the index and of the widths in x units).
constexpr double kLowestLogIndex = -0.9, kHighestLogIndex = 4.0;  // 0.4 to 55
constexpr double kLowestLogWidth = -0.9, kHighestLogWidth = 5.0;  // 0.4 to 150 x units
// The fitted height at most 1.5 times the largest value: no spike of a peak between lines.
constexpr double kHighestLogHeight = 0.4;
// The fixed skews tried: one side this many times as wide as the other, on either side.
constexpr double kFixedSkews[] = {1.5, 2, 3, 4};

// One line as the fit sees it.
struct Sample {
    double x;
    double logValue;  // log of the value as a fraction of the largest
    double sd;        // expected noise of logValue
};

// Parameters: peak, log left width, log right width (lopsided only), log height, log index.
// A fixed skew gives the right side the left width times exp(logSkew), with no parameter
// of its own.
struct Shape {
    bool twoSided = false;
    double logSkew = 0;
    size_t Count() const { return twoSided ? 5 : 4; }
};

double LogProfile(const std::vector<double>& p, Shape shape, double x) {
    const size_t h = shape.twoSided ? 3 : 2;
    const double d = x - p[0];
    const double logWidth = d <= 0 ? p[1] : shape.twoSided ? p[2] : p[1] + shape.logSkew;
    const double index = std::exp(p[h + 1]);
    const double k = ExpMinusOne(kLn2 / index);
    const double u = d * std::exp(-logWidth);
    return p[h] - index * std::log1p(k * u * u);
}

bool Reachable(const std::vector<double>& p, Shape shape, double lowest, double highest) {
    const size_t h = shape.twoSided ? 3 : 2;
    auto within = [](double v, double lo, double hi) { return v >= lo && v <= hi; };
    return within(p[0], lowest, highest) && within(p[1], kLowestLogWidth, kHighestLogWidth) &&
           within(p[1] + shape.logSkew, kLowestLogWidth, kHighestLogWidth) &&
           (!shape.twoSided || within(p[2], kLowestLogWidth, kHighestLogWidth)) &&
           within(p[h + 1], kLowestLogIndex, kHighestLogIndex) && p[h] <= kHighestLogHeight;
}

// Fits `shape` to the samples but `leaveOut` (none when beyond them), from `p`, in place.
bool FitShape(const std::vector<Sample>& samples,
              size_t leaveOut,
              Shape shape,
              std::vector<double>& p,
              const PeakFitSettings& settings,
              double* cost = nullptr) {
    const double lowest = samples.front().x - 2, highest = samples.back().x + 2;
    const size_t h = shape.twoSided ? 3 : 2;
    auto residuals = [&](const std::vector<double>& q, std::vector<double>& r) {
        if (!Reachable(q, shape, lowest, highest))
            return false;
        size_t k = 0;
        for (size_t i = 0; i < samples.size(); ++i)
            if (i != leaveOut)
                r[k++] = (samples[i].logValue - LogProfile(q, shape, samples[i].x)) / samples[i].sd;
        if (settings.indexPrior > 0)
            r[k] = (q[h + 1] - kIndexCentre) / settings.indexPrior;
        return true;
    };
    const size_t used = samples.size() - (leaveOut < samples.size() ? 1 : 0);
    const LeastSquaresFit fit = MinimiseSquares(residuals, used + (settings.indexPrior > 0 ? 1 : 0), p);
    if (cost)
        *cost = fit.cost;
    return fit.converged;
}

// A first guess: a parabola through the logarithms (a Gaussian), weighted by the
// noise, or the brightest line and a width of one x unit where that does not open
// downwards.
std::vector<double> StartingGuess(const std::vector<Sample>& samples, Shape shape, bool brightestLine) {
    double m[3][4] = {};
    const double origin = samples.front().x;
    for (const Sample& s : samples) {
        const double d = s.x - origin, basis[3] = {d * d, d, 1}, w = 1 / (s.sd * s.sd);
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k)
                m[r][k] += w * basis[r] * basis[k];
            m[r][3] += w * basis[r] * s.logValue;
        }
    }
    const auto brightest =
        std::max_element(samples.begin(), samples.end(), [](auto& l, auto& r) { return l.logValue < r.logValue; });
    double peak = brightest->x, logWidth = 0, logHeight = 0;
    if (brightestLine)
        logWidth = std::log(std::max(0.5, (samples.back().x - samples.front().x) / 2));
    // Three unknowns: Cramer's rule.
    auto det3 = [](double a0, double a1, double a2, double b0, double b1, double b2, double c0, double c1, double c2) {
        return a0 * (b1 * c2 - b2 * c1) - a1 * (b0 * c2 - b2 * c0) + a2 * (b0 * c1 - b1 * c0);
    };
    const double det = det3(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]);
    if (!brightestLine && std::fabs(det) > 1e-12) {
        const double c0 = det3(m[0][3], m[0][1], m[0][2], m[1][3], m[1][1], m[1][2], m[2][3], m[2][1], m[2][2]) / det;
        const double c1 = det3(m[0][0], m[0][3], m[0][2], m[1][0], m[1][3], m[1][2], m[2][0], m[2][3], m[2][2]) / det;
        const double c2 = det3(m[0][0], m[0][1], m[0][3], m[1][0], m[1][1], m[1][3], m[2][0], m[2][1], m[2][3]) / det;
        const double vertex = origin - c1 / (2 * c0);
        if (c0 < 0 && vertex >= samples.front().x && vertex <= samples.back().x) {
            peak = vertex;
            logWidth = std::clamp(0.5 * std::log(-kLn2 / c0), kLowestLogWidth + 0.5, kHighestLogWidth - 0.5);
            logHeight = std::min(kHighestLogHeight - 0.1, c2 - c1 * c1 / (4 * c0));
        }
    }
    // A fixed skew keeps the mean of the two widths at the guess's width.
    logWidth -= shape.logSkew / 2;
    std::vector<double> p{peak, logWidth};
    if (shape.twoSided)
        p.push_back(logWidth);
    p.push_back(logHeight);
    p.push_back(kIndexCentre);
    return p;
}

// A shape fitted to every sample, and how well it predicts each sample when fitted
// without it: the squared misses in noise units summed (the cross-validation score),
// and each miss in the logarithm.
struct Candidate {
    Shape shape;
    bool fitted = false;
    std::vector<double> p;
    double crossValidation = INFINITY;
    std::vector<double> logMisses;   // per sample, fitted without it
    std::vector<double> restMisses;  // per sample: the others' root-mean-square log miss in that fit
};

Candidate FitCandidate(const std::vector<Sample>& samples,
                       Shape shape,
                       bool crossValidate,
                       const PeakFitSettings& settings) {
    Candidate c;
    c.shape = shape;
    // From the parabola's guess, and from the brightest line with a width of half the
    // row, where the parabola misleads (a flat or one-sided row): the better fit.
    double leastCost = INFINITY;
    for (int start = 0; start < 2; ++start) {
        std::vector<double> p = StartingGuess(samples, shape, start == 1);
        double cost = INFINITY;
        if (FitShape(samples, samples.size(), shape, p, settings, &cost) && cost < leastCost)
            leastCost = cost, c.p = p, c.fitted = true;
    }
    if (!c.fitted || !crossValidate)
        return c;
    c.crossValidation = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        std::vector<double> q = c.p;
        if (!FitShape(samples, i, shape, q, settings)) {
            c.crossValidation = INFINITY;
            c.logMisses.assign(samples.size(), 0);
            c.restMisses.assign(samples.size(), INFINITY);
            return c;
        }
        const double miss = samples[i].logValue - LogProfile(q, shape, samples[i].x);
        c.crossValidation += (miss / samples[i].sd) * (miss / samples[i].sd);
        c.logMisses.push_back(miss);
        double rest = 0;
        for (size_t k = 0; k < samples.size(); ++k) {
            if (k == i)
                continue;
            const double m = samples[k].logValue - LogProfile(q, shape, samples[k].x);
            rest += m * m;
        }
        c.restMisses.push_back(std::sqrt(rest / static_cast<double>(samples.size() - 1)));
    }
    return c;
}

// The symmetric fit, the fixed skews and, on rows long enough, the lopsided one with
// widths of its own, each cross-validated.
struct Fits {
    Candidate symmetric, twoSided;
    std::vector<Candidate> skewed;  // one per fixed skew, both sides
    // The symmetric fit, or the lopsided one where it predicts the left-out lines better.
    const Candidate& Best(const PeakFitSettings& settings) const {
        const bool better = twoSided.crossValidation < settings.lopsidedMargin * symmetric.crossValidation &&
                            twoSided.crossValidation + settings.lopsidedGain < symmetric.crossValidation;
        return twoSided.fitted && (!symmetric.fitted || better) ? twoSided : symmetric;
    }
};

// Weight of a candidate in the average: exp(-score / 2) of its cross-validation score
// (an Akaike weight), the scores in units of the misses seen (where the lines scatter
// more than the noise model says, as with noise added to faint lines, a difference of
// scores counts for less), the symmetric one favoured by the settings' prior. Weights
// vary smoothly with the scores, so no near tie of two candidates flips the result.
double CandidateWeight(const Candidate& c, double leastScore, double scale, double prior) {
    if (!c.fitted || !std::isfinite(c.crossValidation))
        return 0;
    return prior * std::exp(-(c.crossValidation - leastScore) / (2 * scale));
}

Fits FitBoth(const std::vector<Sample>& samples, const PeakFitSettings& settings) {
    const bool lopsided = settings.lopsidedFromLines > 0 && samples.size() >= size_t(settings.lopsidedFromLines);
    Fits fits;
    fits.symmetric = FitCandidate(samples, Shape{false}, true, settings);
    if (lopsided)
        fits.twoSided = FitCandidate(samples, Shape{true}, true, settings);
    if (settings.skewFromLines > 0 && samples.size() >= size_t(settings.skewFromLines))
        for (double ratio : kFixedSkews)
            for (double side : {-1.0, 1.0})
                fits.skewed.push_back(FitCandidate(samples, Shape{false, side * std::log(ratio)}, true, settings));
    return fits;
}

// The line whose leaving out lets the others be explained best, and whether it lies
// far off the curve they make; `size` when none does.
size_t LineOffTheCurve(const Candidate& c, const PeakFitSettings& settings) {
    if (c.restMisses.empty())
        return c.restMisses.size();
    const size_t worst = std::min_element(c.restMisses.begin(), c.restMisses.end()) - c.restMisses.begin();
    const double miss = std::fabs(c.logMisses[worst]);
    return miss > settings.dropBeyond && miss > settings.dropAgainstRest * c.restMisses[worst] ? worst
                                                                                               : c.restMisses.size();
}

}  // namespace

double PeakFit::Value(double x) const {
    const double d = x - peak;
    const double u = d / (d > 0 ? right : left);
    return height * std::exp(-index * std::log1p(ExpMinusOne(kLn2 / index) * u * u));
}

PeakFit FitPeak(const double* xs, const double* values, size_t count, const PeakFitSettings& settings) {
    PeakFit fit;
    double largest = 0;
    for (size_t i = 0; i < count; ++i)
        largest = std::max(largest, values[i]);
    if (!(largest > 0) || !std::isfinite(largest))
        return fit;
    // The lines taken, in order of x, and where each came from.
    std::vector<size_t> order;
    for (size_t i = 0; i < count; ++i)
        if (values[i] > 0 && values[i] >= settings.windowFraction * largest && std::isfinite(xs[i]))
            order.push_back(i);
    std::sort(order.begin(), order.end(), [&](size_t l, size_t r) { return xs[l] < xs[r]; });
    if (order.size() < 3)
        return fit;
    std::vector<Sample> samples;
    for (size_t i : order) {
        const double fraction = values[i] / largest;
        const double floor = settings.noiseFloor / fraction;
        samples.push_back(
            {xs[i], std::log(fraction), std::sqrt(settings.relativeNoise * settings.relativeNoise + floor * floor)});
    }
    if (!(samples.back().x > samples.front().x))
        return fit;

    Fits fits = FitBoth(samples, settings);
    Candidate best = fits.Best(settings);
    if (!best.fitted)
        return fit;
    // A line far off the curve the others make is left out, and the rest fitted again.
    // The symmetric fit finds it (a lopsided one could take a spike for its broad
    // flank); it is left out when the fit of the rest predicts its own lines much
    // better than the fit of all lines predicts them (a lopsided curve's flank line
    // is explained by the lopsided fit, and stays).
    if (settings.dropFromLines > 0 && samples.size() >= size_t(settings.dropFromLines)) {
        const size_t worst = LineOffTheCurve(fits.symmetric, settings);
        if (worst < samples.size()) {
            std::vector<Sample> rest = samples;
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(worst));
            Fits refits = FitBoth(rest, settings);
            const Candidate refit = refits.Best(settings);
            const double perLine = best.crossValidation / static_cast<double>(samples.size());
            const double restPerLine = refit.crossValidation / static_cast<double>(rest.size());
            if (refit.fitted && (!best.shape.twoSided || restPerLine < settings.dropAgainstLopsided * perLine)) {
                best = refit;
                fits = std::move(refits);
                fit.dropped = static_cast<int>(order[worst]);
                samples.swap(rest);
            }
        }
    }
    const bool crossValidated =
        (settings.lopsidedFromLines > 0 && samples.size() >= static_cast<size_t>(settings.lopsidedFromLines)) ||
        !fits.skewed.empty();
    if (!crossValidated && samples.size() >= 5) {
        const Candidate twoSided = FitCandidate(samples, Shape{true}, false, settings);
        if (twoSided.fitted)
            fit.lopsided = std::exp(std::fabs(twoSided.p[1] - twoSided.p[2]));
    }
    // The peak: the average of the chosen fit's and the fixed skews' peaks, each weighted
    // by how well it predicts the lines left out; the curve: that of the weightiest.
    const Candidate* top = &best;
    double peak = best.p[0];
    if (!fits.skewed.empty() && std::isfinite(best.crossValidation)) {
        double leastScore = best.crossValidation;
        for (const Candidate& c : fits.skewed)
            if (c.fitted)
                leastScore = std::min(leastScore, c.crossValidation);
        const double scale =
            settings.scaleScores ? std::max(1.0, leastScore / static_cast<double>(samples.size())) : 1.0;
        double topWeight = CandidateWeight(best, leastScore, scale, settings.symmetricPrior);
        double sum = topWeight * best.p[0], total = topWeight;
        for (const Candidate& c : fits.skewed) {
            const double w = CandidateWeight(c, leastScore, scale, 1);
            sum += w * c.p[0], total += w;
            if (w > topWeight)
                topWeight = w, top = &c;
        }
        peak = sum / total;
    }
    const std::vector<double>& p = top->p;
    const Shape shape = top->shape;
    const size_t h = shape.twoSided ? 3 : 2;
    fit.peak = peak;
    fit.left = std::exp(p[1]);
    fit.right = std::exp(shape.twoSided ? p[2] : p[1] + shape.logSkew);
    if (shape.twoSided || shape.logSkew != 0)
        fit.lopsided = std::max(fit.left, fit.right) / std::min(fit.left, fit.right);
    fit.height = largest * std::exp(p[h]);
    fit.index = std::exp(p[h + 1]);
    fit.twoSided = shape.twoSided || shape.logSkew != 0;
    fit.pointsUsed = static_cast<int>(samples.size());
    fit.from = samples.front().x;
    fit.to = samples.back().x;
    // A maximum only where the curve falls on both sides of it within the lines taken:
    // not the end of a row that only rises, nor a flat one.
    fit.converged = std::isfinite(fit.peak) && std::isfinite(fit.height) && fit.height > 0 &&
                    fit.Value(fit.from) < kLeastFall * fit.height && fit.Value(fit.to) < kLeastFall * fit.height;
    return fit;
}

}  // namespace qm

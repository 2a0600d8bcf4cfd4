// How close an autofocus run gets to the true focus. Simulates many sweeps of a
// noisy star (tools/sim_host/focus_model.h) the way the program runs them (Steps
// positions, increment 100, Expo/Step values per step, the largest kept, values below
// 0 as 0), writes the step lines the program logs, and estimates the best focus from
// those same lines four ways:
//   program    the program's own computation (qm::ComputeBestFocusFromLines: the first
//              largest line, interpolated with its two neighbours in single precision);
//   parabola   a least-squares parabola through all step values, its vertex;
//   hyp-lin    the linearised hyperbola fit: a least-squares parabola through
//              1/value^2 (the star width squared, up to a factor), its vertex;
//   hyperbola  a least-squares hyperbola width(p) = sqrt(a^2 + b^2 (p - c)^2) through
//              the widths 1/value (Levenberg-Marquardt, started from hyp-lin), its
//              centre c: the fit autofocus programs use on star widths.
// Every estimate is kept within the sweep, as the program's is.
//
// Prints four tables (noise, number of steps, values per step, additive noise), each for the default
// star (width 2 px at focus, growing 0.02 px a step) and a broad one (0.005 px a
// step), with the mean absolute error (MAE) in steps of each method and how often it
// failed, then one "summary:" line per scenario for bench/make_readme.py. The verdict
// column compares the program with the better of the two hyperbola fits in that
// scenario: "wins" below 0.9 of its error, "loses" above 1.1, "par" between.
//
// Exits 1, with an "error:" line, when a figure cannot be produced: a method that gave
// no estimate at all in a scenario, or the noise-free hyperbola fits not recovering the
// true focus (which would mean the fits, not the program, are being measured).
//   focus_accuracy [sweeps per scenario, default 20000] [seed, default 1]
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "focus/best_focus.h"
#include "tools/sim_host/focus_model.h"

namespace {

constexpr int kIncrement = 100;
constexpr int kStartPosition = 10000;
// True focus offsets from the start position are drawn from +-kMaxOffset.
constexpr double kMaxOffset = 150;
constexpr double kDefaultSlope = 0.02;
constexpr double kBroadSlope = 0.005;

struct Scenario {
    const char* table;
    std::string name;
    double noise;
    double seeing;
    double slope;
    int steps;
    int expo;
    double additive = 0;  // noise in focus-value units: sky background, read noise
};

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> list;
    for (double slope : {kDefaultSlope, kBroadSlope}) {
        const char* star = slope == kDefaultSlope ? "" : "broad, ";
        const double noises[] = {0, 0.02, 0.05, 0.10, 0.20};
        for (double noise : noises) {
            // From 10 % on, seeing blurs each exposure by about as much again.
            const double seeing = noise >= 0.10 ? noise : 0;
            char name[64];
            std::snprintf(name, sizeof name, "%snoise %.0f%%%s", star, noise * 100, seeing > 0 ? " +seeing" : "");
            list.push_back({"noise", name, noise, seeing, slope, 7, 2});
        }
        for (int steps : {5, 7, 9, 15}) {
            char name[64];
            std::snprintf(name, sizeof name, "%s5%%, Steps %d", star, steps);
            list.push_back({"steps", name, 0.05, 0, slope, steps, 2});
        }
        for (int expo : {1, 2, 5}) {
            char name[64];
            std::snprintf(name, sizeof name, "%s5%%, Expo/Step %d", star, expo);
            list.push_back({"expo", name, 0.05, 0, slope, 7, expo});
        }
        // Noise of a fixed size, whatever the star's brightness: it weighs most on the
        // faint values far from focus, where the widths the fits use are largest.
        for (double additive : {1000.0, 2000.0}) {
            char name[64];
            std::snprintf(name, sizeof name, "%sadditive %.0f", star, additive);
            list.push_back({"additive", name, 0, 0, slope, 7, 2, additive});
        }
    }
    return list;
}

class ErrorStats {
  public:
    void Add(double error) {
        ++count_;
        sum_ += error;
        sumAbs_ += std::fabs(error);
        max_ = std::max(max_, std::fabs(error));
    }
    void Fail() { ++failures_; }
    int Count() const { return count_; }
    int Failures() const { return failures_; }
    double Mean() const { return count_ ? sum_ / count_ : NAN; }
    double MeanAbs() const { return count_ ? sumAbs_ / count_ : NAN; }
    double Max() const { return max_; }

  private:
    int count_ = 0;
    int failures_ = 0;
    double sum_ = 0;
    double sumAbs_ = 0;
    double max_ = 0;
};

// Solves the 3x3 system m x = v by Cramer's rule; nothing when it is singular.
std::optional<std::array<double, 3>> Solve3(const double m[3][3], const double v[3]) {
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    if (!(std::fabs(d) > 1e-300))
        return std::nullopt;
    std::array<double, 3> x{};
    for (int k = 0; k < 3; ++k) {
        double mk[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                mk[r][c] = c == k ? v[r] : m[r][c];
        x[k] = det(mk) / d;
    }
    return x;
}

// Least-squares parabola y = a x^2 + b x + c; x is in increments from the middle of
// the sweep, which keeps the normal equations well scaled. Returns (a, b, c).
std::optional<std::array<double, 3>> FitParabola(const std::vector<double>& xs, const std::vector<double>& ys) {
    double s[5] = {}, t[3] = {};  // sums of x^k and of y x^k
    for (size_t i = 0; i < xs.size(); ++i) {
        double xk = 1;
        for (int k = 0; k < 5; ++k) {
            s[k] += xk;
            if (k < 3)
                t[k] += ys[i] * xk;
            xk *= xs[i];
        }
    }
    const double m[3][3] = {{s[4], s[3], s[2]}, {s[3], s[2], s[1]}, {s[2], s[1], s[0]}};
    const double v[3] = {t[2], t[1], t[0]};
    return Solve3(m, v);
}

// Vertex of the least-squares parabola, when it opens the wanted way.
std::optional<double> ParabolaVertex(const std::vector<double>& xs, const std::vector<double>& ys, bool wantMaximum) {
    const auto fit = FitParabola(xs, ys);
    if (!fit)
        return std::nullopt;
    const double a = (*fit)[0], b = (*fit)[1];
    if (wantMaximum ? !(a < 0) : !(a > 0))
        return std::nullopt;
    return -b / (2 * a);
}

// Least-squares hyperbola w(x) = sqrt(a^2 + b^2 (x - c)^2) through the widths, by
// Levenberg-Marquardt from the linearised fit (or, when that fails, from the
// narrowest point). Returns c, or nothing when it does not converge to a finite
// curve that rises on both sides.
std::optional<double> HyperbolaCentre(const std::vector<double>& xs, const std::vector<double>& ws) {
    std::vector<double> squares(ws.size());
    for (size_t i = 0; i < ws.size(); ++i)
        squares[i] = ws[i] * ws[i];
    double a = 0, b = 0, c = 0;
    const auto lin = FitParabola(xs, squares);
    if (lin && (*lin)[0] > 0) {
        b = std::sqrt((*lin)[0]);
        c = -(*lin)[1] / (2 * (*lin)[0]);
        const double minimum = (*lin)[2] - (*lin)[0] * c * c;
        a = std::sqrt(std::max(minimum, 1e-6 * squares[0]));
    } else {
        const size_t narrowest = static_cast<size_t>(std::min_element(ws.begin(), ws.end()) - ws.begin());
        c = xs[narrowest];
        a = ws[narrowest];
        b = std::max(1e-3, (*std::max_element(ws.begin(), ws.end()) - a) / (xs.back() - xs.front()));
    }
    auto sse = [&](double pa, double pb, double pc) {
        double total = 0;
        for (size_t i = 0; i < xs.size(); ++i) {
            const double d = xs[i] - pc;
            const double r = ws[i] - std::sqrt(pa * pa + pb * pb * d * d);
            total += r * r;
        }
        return total;
    };
    double error = sse(a, b, c);
    double lambda = 1e-3;
    for (int iteration = 0; iteration < 100; ++iteration) {
        double jtj[3][3] = {}, jtr[3] = {};
        for (size_t i = 0; i < xs.size(); ++i) {
            const double d = xs[i] - c;
            const double h = std::sqrt(a * a + b * b * d * d);
            if (!(h > 0))
                return std::nullopt;
            const double j[3] = {a / h, b * d * d / h, -b * b * d / h};
            const double r = ws[i] - h;
            for (int p = 0; p < 3; ++p) {
                jtr[p] += j[p] * r;
                for (int q = 0; q < 3; ++q)
                    jtj[p][q] += j[p] * j[q];
            }
        }
        bool improved = false;
        while (lambda < 1e12) {
            double damped[3][3];
            for (int p = 0; p < 3; ++p)
                for (int q = 0; q < 3; ++q)
                    damped[p][q] = jtj[p][q] + (p == q ? lambda * jtj[p][p] : 0);
            const auto step = Solve3(damped, jtr);
            if (step) {
                const double na = a + (*step)[0], nb = b + (*step)[1], nc = c + (*step)[2];
                const double next = sse(na, nb, nc);
                if (std::isfinite(next) && next <= error) {
                    const bool converged = error - next <= 1e-12 * (error + 1e-300);
                    a = na, b = nb, c = nc, error = next;
                    lambda = std::max(lambda / 10, 1e-12);
                    improved = !converged;
                    break;
                }
            }
            lambda *= 10;
        }
        if (!improved)
            break;
    }
    if (!std::isfinite(c) || !(std::fabs(b) > 1e-9))
        return std::nullopt;
    return c;
}

struct Method {
    const char* name;
    ErrorStats stats;
};

struct Outcome {
    std::string scenario;
    const char* table;
    std::array<Method, 4> methods;
};

void Record(Method& method, std::optional<double> estimate, double truth) {
    if (estimate && std::isfinite(*estimate))
        method.stats.Add(*estimate - truth);
    else
        method.stats.Fail();
}

Outcome RunScenario(const Scenario& scenario, int sweeps, uint32_t seed) {
    Outcome outcome{scenario.name, scenario.table, {{{"program", {}}, {"parabola", {}}, {"hyp-lin", {}}, {"hyperbola", {}}}}};
    std::mt19937 offsets(seed);
    std::uniform_real_distribution<double> offset(-kMaxOffset, kMaxOffset);
    const int first = kStartPosition - kIncrement * (scenario.steps / 2);
    const double centre = first + kIncrement * (scenario.steps - 1) / 2.0;
    const double lowest = first, highest = first + kIncrement * (scenario.steps - 1);
    // Estimates in increments from the centre back to positions, kept within the sweep.
    auto toPosition = [&](std::optional<double> x) -> std::optional<double> {
        if (!x)
            return std::nullopt;
        return std::clamp(centre + kIncrement * *x, lowest, highest);
    };
    for (int sweep = 0; sweep < sweeps; ++sweep) {
        qm::sim::FocusModelParams params;
        params.trueFocus = kStartPosition + offset(offsets);
        params.noise = scenario.noise;
        params.seeing = scenario.seeing;
        params.slope = scenario.slope;
        params.additiveNoise = scenario.additive;
        params.seed = seed * 1000003u + static_cast<uint32_t>(sweep);
        qm::sim::FocusModel model(params);

        std::vector<std::string> lines;
        std::vector<double> xs, values, widths;
        bool anyZero = false;
        for (int k = 0; k < scenario.steps; ++k) {
            const int position = first + k * kIncrement;
            int32_t best = 0;  // the largest of the step's values, at least 0
            for (int e = 0; e < scenario.expo; ++e)
                best = std::max(best, model.Measure(position));
            lines.push_back(qm::FormatStepLine(position, best));
            xs.push_back((position - centre) / kIncrement);
            values.push_back(best);
            // Width up to a constant factor (value = scale / width); 1e5 keeps it near 1.
            widths.push_back(best > 0 ? 1e5 / best : 0);
            anyZero = anyZero || best == 0;
        }
        const double truth = params.trueFocus;
        const int32_t program = qm::ComputeBestFocusFromLines(lines, kIncrement);
        Record(outcome.methods[0], program ? std::optional<double>(program) : std::nullopt, truth);
        Record(outcome.methods[1], toPosition(ParabolaVertex(xs, values, true)), truth);
        std::vector<double> squares(widths.size());
        for (size_t i = 0; i < widths.size(); ++i)
            squares[i] = widths[i] * widths[i];
        Record(outcome.methods[2], anyZero ? std::nullopt : toPosition(ParabolaVertex(xs, squares, false)), truth);
        Record(outcome.methods[3], anyZero ? std::nullopt : toPosition(HyperbolaCentre(xs, widths)), truth);
    }
    return outcome;
}

// The better of the two hyperbola fits in a scenario (by mean absolute error).
const Method& BestHyperbola(const Outcome& o) {
    return o.methods[2].stats.MeanAbs() < o.methods[3].stats.MeanAbs() ? o.methods[2] : o.methods[3];
}

// The ratio program / better hyperbola; a peer within a tenth of a step of the truth
// makes any ratio meaningless, so it is then given as a bound.
std::string RatioText(const Outcome& o) {
    const double peer = BestHyperbola(o).stats.MeanAbs();
    char text[32];
    if (peer < 0.1)
        std::snprintf(text, sizeof text, "exact");
    else
        std::snprintf(text, sizeof text, "%.2f", o.methods[0].stats.MeanAbs() / peer);
    return text;
}

const char* Verdict(double ratio) {
    return ratio < 0.9 ? "wins" : ratio > 1.1 ? "loses" : "par";
}

}  // namespace

int main(int argc, char** argv) {
    const int sweeps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
    std::printf(
        "focus accuracy: %d sweeps per scenario, increment %d, true focus uniform within +-%.0f of the sweep's "
        "centre, star width 2 px at focus growing %.3f px a step (broad: %.3f), seed %u\n",
        sweeps, kIncrement, kMaxOffset, kDefaultSlope, kBroadSlope, seed);
    std::printf("mean absolute error in steps (failed sweeps in brackets when any); ratio = program / better hyperbola\n");

    std::vector<Outcome> outcomes;
    const char* table = "";
    for (const Scenario& scenario : Scenarios()) {
        if (std::string(table) != scenario.table) {
            table = scenario.table;
            std::printf("\n%-26s %14s %14s %14s %14s %7s %s\n", "scenario", "program", "parabola", "hyp-lin", "hyperbola",
                        "ratio", "verdict");
        }
        outcomes.push_back(RunScenario(scenario, sweeps, seed));
        const Outcome& o = outcomes.back();
        std::printf("%-26s", o.scenario.c_str());
        for (const Method& m : o.methods) {
            char cell[32];
            if (m.stats.Failures())
                std::snprintf(cell, sizeof cell, "%.1f (%d)", m.stats.MeanAbs(), m.stats.Failures());
            else
                std::snprintf(cell, sizeof cell, "%.1f", m.stats.MeanAbs());
            std::printf(" %14s", cell);
        }
        const double ratio = o.methods[0].stats.MeanAbs() / BestHyperbola(o).stats.MeanAbs();
        std::printf(" %7s %s\n", RatioText(o).c_str(), Verdict(ratio));
        std::fflush(stdout);
    }

    bool sound = true;
    for (const Outcome& o : outcomes) {
        for (const Method& m : o.methods) {
            if (m.stats.Count() == 0) {
                std::printf("error: %s gave no estimate in \"%s\"\n", m.name, o.scenario.c_str());
                sound = false;
            }
        }
        // Without noise the star's widths lie exactly on a hyperbola: both fits must find
        // its centre (to well under a step; the widths come from rounded values).
        if (o.scenario.find("noise 0%") != std::string::npos) {
            for (int k : {2, 3}) {
                if (!(o.methods[k].stats.MeanAbs() < 0.5)) {
                    std::printf("error: %s misses the noise-free centre by %.2f steps in \"%s\"\n",
                                o.methods[k].name, o.methods[k].stats.MeanAbs(), o.scenario.c_str());
                    sound = false;
                }
            }
        }
    }
    if (!sound)
        return 1;

    std::printf("\n");
    for (const Outcome& o : outcomes) {
        const Method& peer = BestHyperbola(o);
        const double ratio = o.methods[0].stats.MeanAbs() / peer.stats.MeanAbs();
        std::printf("summary:\tbest focus MAE, %s\t%.1f steps\t%s %.1f steps\t%s\t%s\n", o.scenario.c_str(),
                    o.methods[0].stats.MeanAbs(), peer.name, peer.stats.MeanAbs(), RatioText(o).c_str(), Verdict(ratio));
    }
    return 0;
}

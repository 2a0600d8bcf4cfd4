// How close an autofocus run gets to the true focus. Simulates many sweeps of a
// noisy star (tools/sim_host/focus_model.h) the way the program runs them (7 steps,
// increment 100, 2 values per step, the largest kept, values below 0 as 0), writes the
// step lines the program logs, and estimates the best focus from those lines three ways:
//   program  the program's own computation (qm::ComputeBestFocusFromLines: the first
//            largest line, interpolated with its two neighbours in single precision);
//   parabola a least-squares parabola through all step lines, its vertex;
//   hyperbola a least-squares parabola through 1/value^2 of all lines, whose vertex is
//            exact for a noise-free star of this model (fwhm^2 is a parabola in position).
// Prints, per noise scenario, the mean error (bias), the mean absolute error, the RMS error and the largest
// error of each, in focuser steps, and how many sweeps the program's computation failed.
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

#include "app/best_focus.h"
#include "tools/sim_host/focus_model.h"

namespace {

constexpr int kSteps = 7;
constexpr int kIncrement = 100;
constexpr int kExpo = 2;
constexpr int kStartPosition = 10000;
// True focus offsets from the start position are drawn from +-kMaxOffset.
constexpr double kMaxOffset = 150;

struct Scenario {
    const char* name;
    double noise;
    double seeing;
    double additiveNoise;
    double slope = 0.02;  // 0.005: a broad star, whose curve is nearly a parabola over the sweep
};

constexpr Scenario kScenarios[] = {
    {"noise-free", 0, 0, 0},
    {"noise 2%", 0.02, 0, 0},
    {"noise 5%", 0.05, 0, 0},
    {"noise 5% seeing 0.05", 0.05, 0.05, 0},
    {"noise 10% seeing 0.1", 0.10, 0.10, 0},
    {"noise 20% seeing 0.2", 0.20, 0.20, 0},
    {"additive 2000", 0, 0, 2000},
    {"broad, noise-free", 0, 0, 0, 0.005},
    {"broad, noise 5%", 0.05, 0, 0, 0.005},
};

class ErrorStats {
  public:
    void Add(double error) {
        ++count_;
        sum_ += error;
        sumAbs_ += std::fabs(error);
        sumSquares_ += error * error;
        max_ = std::max(max_, std::fabs(error));
    }
    int Count() const { return count_; }
    double Mean() const { return count_ ? sum_ / count_ : NAN; }
    double MeanAbs() const { return count_ ? sumAbs_ / count_ : NAN; }
    double Rms() const { return count_ ? std::sqrt(sumSquares_ / count_) : NAN; }
    double Max() const { return max_; }

  private:
    int count_ = 0;
    double sum_ = 0;
    double sumAbs_ = 0;
    double sumSquares_ = 0;
    double max_ = 0;
};

// Vertex of the least-squares parabola y = a x^2 + b x + c through the points, with
// x in increments from the middle of the sweep (keeps the normal equations well scaled).
// Nothing when the fit opens the wrong way (wantMaximum: a must be < 0) or is degenerate.
std::optional<double> ParabolaVertex(const std::vector<double>& positions,
                                     const std::vector<double>& ys,
                                     bool wantMaximum) {
    const double centre = (positions.front() + positions.back()) / 2;
    double s[5] = {}, t[3] = {};  // sums of x^k and of y x^k
    for (size_t i = 0; i < positions.size(); ++i) {
        const double x = (positions[i] - centre) / kIncrement;
        double xk = 1;
        for (int k = 0; k < 5; ++k) {
            s[k] += xk;
            if (k < 3)
                t[k] += ys[i] * xk;
            xk *= x;
        }
    }
    // Normal equations [s4 s3 s2; s3 s2 s1; s2 s1 s0] (a b c) = (t2 t1 t0), by Cramer's rule.
    auto det3 = [](double a, double b, double c, double d, double e, double f, double g, double h, double i) {
        return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    };
    const double d = det3(s[4], s[3], s[2], s[3], s[2], s[1], s[2], s[1], s[0]);
    if (std::fabs(d) < 1e-12)
        return std::nullopt;
    const double a = det3(t[2], s[3], s[2], t[1], s[2], s[1], t[0], s[1], s[0]) / d;
    const double b = det3(s[4], t[2], s[2], s[3], t[1], s[1], s[2], t[0], s[0]) / d;
    if (wantMaximum ? !(a < 0) : !(a > 0))
        return std::nullopt;
    const double vertex = centre + kIncrement * (-b / (2 * a));
    // A vertex outside the sweep is not trusted further than its ends.
    return std::clamp(vertex, positions.front(), positions.back());
}

void PrintRow(const char* scenario, const char* method, const ErrorStats& s, int failures) {
    std::printf("%-22s %-9s %8.1f %8.1f %8.1f %8.0f %8d\n", scenario, method, s.Mean(), s.MeanAbs(), s.Rms(), s.Max(),
                failures);
}

}  // namespace

int main(int argc, char** argv) {
    const int sweeps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
    std::printf(
        "focus accuracy: %d sweeps per scenario, %d steps of %d, %d values per step, true focus within "
        "+-%.0f of the start, model minFwhm 2 slope 0.02 (broad: 0.005) scale 100000, seed %u\n",
        sweeps, kSteps, kIncrement, kExpo, kMaxOffset, seed);
    std::printf("%-22s %-9s %8s %8s %8s %8s %8s\n", "scenario", "method", "bias", "MAE", "RMS", "max", "failed");

    for (const Scenario& scenario : kScenarios) {
        std::mt19937 offsets(seed);
        std::uniform_real_distribution<double> offset(-kMaxOffset, kMaxOffset);
        ErrorStats program, parabola, hyperbola;
        int programFailures = 0, parabolaFailures = 0, hyperbolaFailures = 0;
        for (int sweep = 0; sweep < sweeps; ++sweep) {
            qm::sim::FocusModelParams params;
            params.trueFocus = kStartPosition + offset(offsets);
            params.noise = scenario.noise;
            params.seeing = scenario.seeing;
            params.additiveNoise = scenario.additiveNoise;
            params.slope = scenario.slope;
            params.seed = seed * 1000003u + static_cast<uint32_t>(sweep);
            qm::sim::FocusModel model(params);

            std::vector<std::string> lines;
            std::vector<double> positions, values, inverseSquares;
            bool anyZero = false;
            const int first = kStartPosition - kIncrement * (kSteps / 2);
            for (int k = 0; k < kSteps; ++k) {
                const int position = first + k * kIncrement;
                int32_t best = 0;  // the largest of the step's values, at least 0
                for (int e = 0; e < kExpo; ++e)
                    best = std::max(best, model.Measure(position));
                lines.push_back(qm::FormatStepLine(position, best));
                positions.push_back(position);
                values.push_back(best);
                if (best > 0)
                    inverseSquares.push_back(1.0 / (static_cast<double>(best) * best));
                anyZero = anyZero || best == 0;
            }
            const double truth = params.trueFocus;
            if (const int32_t result = qm::ComputeBestFocusFromLines(lines, kIncrement)) {
                program.Add(result - truth);
            } else {
                ++programFailures;
            }
            if (const auto vertex = ParabolaVertex(positions, values, true)) {
                parabola.Add(*vertex - truth);
            } else {
                ++parabolaFailures;
            }
            const auto vertex = anyZero ? std::nullopt : ParabolaVertex(positions, inverseSquares, false);
            if (vertex) {
                hyperbola.Add(*vertex - truth);
            } else {
                ++hyperbolaFailures;
            }
        }
        PrintRow(scenario.name, "program", program, programFailures);
        PrintRow(scenario.name, "parabola", parabola, parabolaFailures);
        PrintRow(scenario.name, "hyperbola", hyperbola, hyperbolaFailures);
    }
    return 0;
}

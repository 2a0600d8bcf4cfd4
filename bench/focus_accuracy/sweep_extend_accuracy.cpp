// How near the true focus a run with "sweep = extend" ends when the focus lies beyond
// an end of its row, against a run of the same star centred on the true focus (the
// fixed row, same noise, same seeds) and the fixed row that started where the extended
// one did. Each run is simulated as the program makes it: the row of Steps positions
// Increment apart, Expo/Step values per position with the largest kept, the added
// positions from qm::NextExtensionPosition, the lines read in the order of positions,
// and the three-point rule (qm::ComputeBestFocusFromLines), failing where the curve did
// not turn. The star is the simulated host's (tools/sim_host/focus_model.h).
//
// Prints, per scenario, the mean absolute error in steps of each run and how often it
// failed, and the ratio of the extended run's error to the centred run's; exits 1 when
// a run kind never produced a result.
//   sweep_extend_accuracy [sweeps per scenario, default 4000] [seed, default 1]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "focus/best_focus.h"
#include "focus/sweep_extension.h"
#include "tools/sim_host/focus_model.h"

namespace {

constexpr int kIncrement = 100;
constexpr int kSteps = 7;
constexpr int kStartPosition = 10000;
constexpr int kMaxStep = 60000;

struct Scenario {
    const char* name;
    double noise;
    double slope;
    int expo;
};

// The run's step lines at the positions it visits; `extend` follows an end of the row.
int32_t Run(qm::sim::FocusModel& model, int start, int expo, bool extend) {
    std::vector<std::string> lines;
    std::vector<qm::CurvePoint> points;
    auto visit = [&](int position) {
        int32_t best = 0;
        for (int e = 0; e < expo; ++e) best = std::max(best, model.Measure(position));
        lines.push_back(qm::FormatStepLine(position, best));
        points.push_back({position, best});
    };
    const int first = start - kIncrement * (kSteps / 2);
    for (int k = 0; k < kSteps; ++k) visit(first + k * kIncrement);
    if (!extend || qm::SweepExtensionDirection(points, points.size()) == 0)
        return qm::ComputeBestFocusFromLines(lines, kIncrement);
    const qm::SweepExtension sweep{static_cast<size_t>(kSteps), kIncrement, kSteps, 1, kMaxStep};
    while (const auto next = qm::NextExtensionPosition(points, sweep)) visit(*next);
    if (!qm::SweepCurveTurned(points, sweep.rowLines)) return 0;
    return qm::ComputeBestFocusFromLines(qm::StepLinesByPosition(lines), kIncrement);
}

struct Tally {
    double errorSum = 0;
    int results = 0, failures = 0;
    void Add(int32_t result, double truth) {
        if (result == 0) {
            ++failures;
            return;
        }
        errorSum += std::fabs(result - truth);
        ++results;
    }
    double Mae() const { return results ? errorSum / results : NAN; }
    double FailPercent() const { return 100.0 * failures / (failures + results); }
};

}  // namespace

int main(int argc, char** argv) {
    const int sweeps = argc > 1 ? std::atoi(argv[1]) : 4000;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1;
    const Scenario scenarios[] = {
        {"noise 2%", 0.02, 0.02, 2}, {"noise 5%", 0.05, 0.02, 2}, {"noise 5%, Expo/Step 1", 0.05, 0.02, 1},
        {"broad, noise 2%", 0.02, 0.005, 2}, {"broad, noise 5%", 0.05, 0.005, 2},
    };
    std::printf("True focus 1-3 Increments beyond either end of a row of %d (Increment %d); MAE in steps "
                "(failed runs in %%)\n\n", kSteps, kIncrement);
    std::printf("| scenario | extended | centred on the focus | fixed row | extended / centred |\n");
    std::printf("|---|---|---|---|---|\n");
    bool ok = true;
    for (const Scenario& s : scenarios) {
        std::mt19937 draw(seed);
        std::uniform_real_distribution<double> beyond(1.0, 3.0);
        Tally extended, centred, fixed;
        for (int i = 0; i < sweeps; ++i) {
            const int side = i % 2 ? 1 : -1;
            const double rowEnd = kStartPosition + side * kIncrement * (kSteps / 2);
            qm::sim::FocusModelParams params;
            params.trueFocus = rowEnd + side * kIncrement * beyond(draw);
            params.noise = s.noise;
            params.slope = s.slope;
            params.seed = seed * 1000003u + static_cast<uint32_t>(i);
            qm::sim::FocusModel a(params), b(params), c(params);
            extended.Add(Run(a, kStartPosition, s.expo, true), params.trueFocus);
            centred.Add(Run(b, static_cast<int>(std::lround(params.trueFocus)), s.expo, false), params.trueFocus);
            fixed.Add(Run(c, kStartPosition, s.expo, false), params.trueFocus);
        }
        ok = ok && extended.results > 0 && centred.results > 0 && fixed.results > 0;
        std::printf("| %s | %.1f (%.1f%%) | %.1f (%.1f%%) | %.1f (%.1f%%) | %.2f |\n", s.name, extended.Mae(),
                    extended.FailPercent(), centred.Mae(), centred.FailPercent(), fixed.Mae(), fixed.FailPercent(),
                    extended.Mae() / centred.Mae());
    }
    if (!ok) {
        std::printf("error: a run kind gave no result in some scenario\n");
        return 1;
    }
    return 0;
}

// The opt-in best-focus fit and curve check: the analysis of a finished sweep's lines,
// and a run through the window with the options on and off.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "focus/best_focus.h"
#include "focus/curve_analysis.h"
#include "record/run_options.h"
#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

constexpr uintptr_t kHost = 0x4242;

std::vector<CurvePoint> Sampled(int first, int increment, int steps, double focus, double width,
                                double (*shape)(double)) {
    std::vector<CurvePoint> points;
    for (int k = 0; k < steps; ++k) {
        const int position = first + k * increment;
        points.push_back({position, static_cast<int32_t>(std::lround(50000 * shape((position - focus) / width)))});
    }
    return points;
}
double Gauss(double d) { return std::exp(-d * d * std::log(2.0)); }
double Lorentz(double d) { return 1 / (1 + d * d); }

std::vector<CurvePoint> Points(int first, const std::vector<int32_t>& values) {
    std::vector<CurvePoint> points;
    for (size_t k = 0; k < values.size(); ++k) points.push_back({first + static_cast<int32_t>(k) * 100, values[k]});
    return points;
}

TEST(CurveAnalysis, FitFindsThePeakOfCurvesThreePointsMissAndFallsBackOutsideTheRow) {
    const CurveRequest fit{.useFit = true};
    struct Case {
        const char* name;
        std::vector<CurvePoint> points;
        int32_t threePoint;
        int32_t expected;  // within 2 steps
        bool converged;
    };
    const Case cases[] = {
        {"gauss between lines", Sampled(700, 100, 7, 1040, 100, Gauss), 1033, 1040, true},
        {"broad gauss", Sampled(700, 100, 7, 960, 250, Gauss), 975, 960, true},
        {"lorentz on a line", Sampled(700, 100, 9, 1100, 150, Lorentz), 1100, 1100, true},
        // Rising to the last line: the fitted maximum lies beyond the row.
        {"monotonic", Points(700, {10, 20, 30, 40, 50, 60, 70}), 1290, 1290, false},
        {"flat", Points(700, {50, 50, 50, 50, 50}), 800, 800, false},
        {"unreadable line", Points(0, {10, 40, 50, 40, 10}), 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CurveAnalysis a = AnalyseCurve(c.points, 100, c.threePoint, fit);
        EXPECT_EQ(a.fitConverged, c.converged);
        EXPECT_NEAR(a.chosen, c.expected, 2);
        EXPECT_EQ(a.threePoint, c.threePoint);
        EXPECT_TRUE(a.checkPassed);
        if (c.converged) {
            EXPECT_GT(a.fitCurvePoints, 1);
            EXPECT_GT(a.fitQuality, 0.95);
        }
    }
}

// A Lorentzian twice as broad beyond the focus as before it.
std::vector<CurvePoint> Skewed(int first, int steps, double focus, double width) {
    std::vector<CurvePoint> points;
    for (int k = 0; k < steps; ++k) {
        const int position = first + k * 100;
        const double d = (position - focus) / (position > focus ? 2 * width : width);
        points.push_back({position, static_cast<int32_t>(std::lround(50000 / (1 + d * d)))});
    }
    return points;
}

double Moffat(double d) { return std::pow(1 + d * d * (std::pow(2.0, 0.4) - 1), -2.5); }
double Moffat4(double d) { return std::pow(1 + d * d * (std::pow(2.0, 0.25) - 1), -4); }
double Hyperbolic(double d) { return 1 / std::sqrt(1 + 3 * d * d); }

// The points with the value at `position` multiplied by `factor` (a cloud, a spike).
std::vector<CurvePoint> Scaled(std::vector<CurvePoint> points, int32_t position, double factor) {
    for (CurvePoint& p : points)
        if (p.position == position) p.value = static_cast<int32_t>(std::lround(p.value * factor));
    return points;
}

TEST(CurveAnalysis, FitFindsThePeakOfEachShapeAndStandsOnlyWhereItIsTrusted) {
    const CurveRequest fit{.useFit = true};
    struct Case {
        const char* name;
        std::vector<CurvePoint> points;
        double focus;
        bool twoSided;
        bool trusted;  // otherwise the run keeps the three-point result
    };
    const Case cases[] = {
        // Heavy wings above 15 % two lines out: a Gaussian alone would be pulled off.
        {"narrow lorentz", Sampled(600, 100, 9, 1040, 100, Lorentz), 1040, false, true},
        {"narrow gauss", Sampled(700, 100, 7, 1040, 100, Gauss), 1040, false, true},
        {"broad lorentz", Sampled(600, 100, 9, 1040, 250, Lorentz), 1040, false, true},
        {"broad gauss", Sampled(600, 100, 9, 1040, 250, Gauss), 1040, false, true},
        {"broad moffat", Sampled(600, 100, 9, 1060, 250, Moffat), 1060, false, true},
        // One side falls half as fast: a curvature of its own for each side finds the peak.
        {"skewed broad", Skewed(600, 9, 1000, 200), 1000, true, true},
        {"skewed narrow", Skewed(600, 9, 1000, 100), 1000, true, true},
        // Too few lines for two sides: a symmetric fit drifts to the broad flank.
        {"skewed, five lines", Skewed(850, 5, 1000, 150), 1000, false, false},
        // The index is free: a profile between a Lorentzian and a Gaussian, and one
        // broader than a Lorentzian (the simulated host's star).
        {"broad moffat index 4", Sampled(600, 100, 9, 1030, 250, Moffat4), 1030, false, true},
        {"hyperbolic", Sampled(600, 100, 9, 1070, 150, Hyperbolic), 1070, false, true},
        // A broad star whose neighbour of the best line caught a 4 % seeing spike: the
        // three-point rule is drawn towards it, the fit hardly.
        {"spiked broad star", Scaled(Sampled(600, 100, 9, 1030, 250, Lorentz), 1100, 1.04), 1030, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        for (const CurvePoint& p : c.points) lines.push_back(FormatStepLine(p.position, p.value));
        const int32_t threePoint = ComputeBestFocusFromLines(lines, 100);
        ASSERT_NE(threePoint, 0);
        const CurveAnalysis a = AnalyseCurve(c.points, 100, threePoint, fit);
        ASSERT_TRUE(a.fitConverged);
        EXPECT_EQ(a.fitTrusted, c.trusted);
        EXPECT_EQ(a.chosen, c.trusted ? std::nearbyint(a.fitPeak) : threePoint);
        if (c.trusted) EXPECT_NEAR(a.fitPeak, c.focus, 3);
        if (c.twoSided || std::string(c.name).starts_with("spiked"))
            EXPECT_LT(std::fabs(a.chosen - c.focus) + 10, std::fabs(threePoint - c.focus));
        EXPECT_EQ(a.droppedPosition, 0);
        // Without a three-point result the fit, of five lines or more and passing the
        // check, is the only one left; a fit of fewer lines leaves no result.
        EXPECT_EQ(AnalyseCurve(c.points, 100, 0, fit).chosen, a.fit.pointsUsed >= 5 ? std::nearbyint(a.fitPeak) : 0);
    }
}

// One line far off a curve the others explain: the fit leaves it out (the record names
// it) and the check judges the rest. With the three-point rule, a result such a line
// misled (it was the best line or a neighbour) is still refused.
TEST(CurveAnalysis, LineOffTheCurveIsLeftOutAndTheRestJudged) {
    struct Case {
        const char* name;
        std::vector<CurvePoint> points;
        double focus;
        int32_t dropped;
        std::string threePointReason;  // the check's verdict with best-focus = three-point
    };
    const auto broad = Sampled(600, 100, 9, 1030, 200, Gauss);
    const auto lorentz = Sampled(700, 100, 7, 960, 150, Lorentz);
    const Case cases[] = {
        {"cloud on the best line", Scaled(broad, 1000, 0.5), 1030, 1000, "a line off the curve misled the best lines"},
        {"cloud on a neighbour", Scaled(broad, 1100, 0.4), 1030, 1100, "a line off the curve misled the best lines"},
        {"cloud on the flank", Scaled(broad, 800, 0.6), 1030, 800, ""},
        {"spike on the flank", Scaled(broad, 1300, 1.8), 1030, 1300, ""},
        {"spike becoming the best line", Scaled(lorentz, 1100, 1.8), 960, 1100,
         "a line off the curve misled the best lines"},
        {"cloud, lorentz", Scaled(lorentz, 800, 0.5), 960, 800, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        for (const CurvePoint& p : c.points) lines.push_back(FormatStepLine(p.position, p.value));
        const int32_t threePoint = ComputeBestFocusFromLines(lines, 100);
        const CurveAnalysis fit = AnalyseCurve(c.points, 100, threePoint, CurveRequest{true, true});
        EXPECT_EQ(fit.droppedPosition, c.dropped);
        EXPECT_TRUE(fit.checkPassed) << fit.checkReason;
        EXPECT_NEAR(fit.chosen, c.focus, 5);
        EXPECT_GT(fit.fitQuality, 0.99);
        const CurveAnalysis three = AnalyseCurve(c.points, 100, threePoint, CurveRequest{false, true});
        EXPECT_EQ(three.checkReason, c.threePointReason);
        EXPECT_EQ(three.chosen, c.threePointReason.empty() ? threePoint : 0);
    }
    // A clean curve, a row too short to leave a line out, and noise alone leave every line in.
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 0.03);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<CurvePoint> points = Sampled(600, 100, 9, 980 + trial % 40, 200, Lorentz);
        for (CurvePoint& p : points) p.value = static_cast<int32_t>(p.value * (1 + noise(random)));
        ASSERT_EQ(AnalyseCurve(points, 100, 1000, CurveRequest{true, false}).droppedPosition, 0) << trial;
    }
    EXPECT_EQ(AnalyseCurve(Scaled(Sampled(800, 100, 5, 1000, 200, Gauss), 900, 0.5), 100, 1000, CurveRequest{true, false})
                  .droppedPosition,
              0);
}

// A star whose side beyond the focus is `skew` times as wide as the side before it
// (before it when skew < 1), with multiplicative noise; the largest of two exposures.
struct NoisyStar {
    double (*shape)(double);
    double width;  // of the narrow side, in steps
    double skew;
    double noise;
    std::vector<CurvePoint> Sweep(int first, int steps, double focus, std::mt19937& random) const {
        std::normal_distribution<double> normal(0, noise);
        std::vector<CurvePoint> points;
        for (int k = 0; k < steps; ++k) {
            const int position = first + k * 100;
            const double d = position - focus;
            const bool broadSide = skew >= 1 ? d > 0 : d < 0;
            const double w = broadSide ? width * std::max(skew, 1 / skew) : width;
            const double ideal = 50000 * shape(d / w);
            const double v = std::max(ideal * (1 + normal(random)), ideal * (1 + normal(random)));
            points.push_back({position, static_cast<int32_t>(std::lround(std::max(v, 0.0)))});
        }
        return points;
    }
};

struct MeanErrors {
    double rule = 0, fit = 0;
};

// Mean absolute errors of the three-point rule and of best-focus = fit over `runs` sweeps
// of the star, each with its focus drawn within one Increment of the row's centre.
MeanErrors Errors(const NoisyStar& star, int steps, int runs, unsigned seed, const PeakFitSettings& settings = {}) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> offset(-100, 100);
    MeanErrors e;
    const int first = 1000 - 100 * (steps / 2);
    for (int run = 0; run < runs; ++run) {
        const double focus = 1000 + offset(random);
        const std::vector<CurvePoint> points = star.Sweep(first, steps, focus, random);
        std::vector<std::string> lines;
        for (const CurvePoint& p : points)
            lines.push_back(FormatStepLine(p.position, p.value));
        const int32_t threePoint = ComputeBestFocusFromLines(lines, 100);
        const int32_t fit = AnalyseCurve(points, 100, threePoint, CurveRequest{.useFit = true}, settings).chosen;
        e.rule += std::fabs(threePoint - focus) / runs;
        e.fit += std::fabs(fit - focus) / runs;
    }
    return e;
}

// On a lopsided star the three-point rule is drawn towards the broad side; the fixed
// skews find the peak. On symmetric stars they must cost next to nothing.
TEST(CurveAnalysis, LopsidedStarsAreReadBetterThanByTheRuleAndSymmetricOnesAsWell) {
    PeakFitSettings noSkews;
    noSkews.skewFromLines = 0;
    struct Case {
        const char* name;
        NoisyStar star;
        int steps;
        double atMostOfRule;       // the fit's error at most this share of the rule's
        double atMostOfSymmetric;  // and at most this share of the fit without fixed skews
    };
    const Case cases[] = {
        {"gauss, broad side after", {Gauss, 150, 2.5, 0.03}, 9, 0.6, 1.1},
        {"moffat, broad side before", {Moffat, 150, 1 / 3.0, 0.03}, 9, 0.6, 1.1},
        // Too little skew for the freely lopsided fit to be chosen: a fixed one is.
        {"lorentz, 1.5 times, Steps 7", {Lorentz, 150, 1.5, 0.03}, 7, 0.5, 0.8},
        {"symmetric gauss", {Gauss, 200, 1, 0.03}, 9, 0.8, 1.1},
        {"symmetric lorentz, Steps 7", {Lorentz, 150, 1, 0.03}, 7, 0.8, 1.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeanErrors shipped = Errors(c.star, c.steps, 40, 11);
        const MeanErrors symmetric = Errors(c.star, c.steps, 40, 11, noSkews);
        EXPECT_LT(shipped.fit, c.atMostOfRule * shipped.rule);
        EXPECT_LT(shipped.fit, c.atMostOfSymmetric * symmetric.fit);
    }
}

// Two exposures saved: on round stars the fit of five lines ends nearer the focus than
// the three-point rule reading seven.
TEST(CurveAnalysis, FitOfFiveLinesBeatsTheRuleOfSevenOnRoundStars) {
    const NoisyStar stars[] = {
        {Gauss, 200, 1, 0.05},
        {Moffat, 150, 1, 0.05},
        {Lorentz, 100, 1, 0.05},
    };
    for (const NoisyStar& star : stars) {
        const MeanErrors five = Errors(star, 5, 60, 5), seven = Errors(star, 7, 60, 5);
        EXPECT_LT(five.fit, 0.9 * seven.rule) << star.width;
    }
}

// A passing cloud on the best line or a neighbour misleads the three-point rule by more
// than an Increment; the fit leaves the line out, and the check compares the fit with the
// best lines of the rest: the run keeps the fit's result.
TEST(CurveAnalysis, CloudNearTheBestLineMisleadsTheRuleButNotTheCheckedFit) {
    struct Case {
        const char* name;
        std::vector<CurvePoint> points;
        double focus;
        int32_t dropped;
    };
    const auto lorentz = Sampled(600, 100, 9, 1000, 250, Lorentz);
    const auto moffat = Sampled(600, 100, 9, 960, 220, Moffat);
    const auto gauss = Sampled(600, 100, 9, 1020, 250, Gauss);
    const Case cases[] = {
        {"lorentz, line two out too bright", Scaled(lorentz, 1200, 1.8), 1000, 1200},
        {"moffat, line two out too bright", Scaled(moffat, 800, 1.8), 960, 800},
        {"gauss, line two out too bright", Scaled(gauss, 1200, 1.5), 1020, 1200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        for (const CurvePoint& p : c.points) lines.push_back(FormatStepLine(p.position, p.value));
        const int32_t threePoint = ComputeBestFocusFromLines(lines, 100);
        const CurveAnalysis a = AnalyseCurve(c.points, 100, threePoint, CurveRequest{true, true});
        EXPECT_GT(std::fabs(threePoint - c.focus), 100);
        EXPECT_EQ(a.droppedPosition, c.dropped);
        EXPECT_TRUE(a.checkPassed) << a.checkReason;
        EXPECT_NEAR(a.chosen, c.focus, 5);
    }
}

// Where the three-point rule gives no result (a line at 0), the fit stands for it only
// when it took five lines or more and would pass the check, whether the check is on or not.
TEST(CurveAnalysis, FitStandsForAFailedThreePointResultOnlyWhenTrusted) {
    struct Case {
        const char* name;
        std::vector<CurvePoint> points;
        bool stands;
    };
    std::vector<CurvePoint> farWing = Sampled(600, 100, 9, 1000, 150, Lorentz);
    farWing.front().value = 0;
    std::vector<CurvePoint> fourLines = Sampled(700, 100, 7, 1000, 70, Gauss);
    const Case cases[] = {
        {"junk row", Points(10137, {0, 300, 0, 310, 0, 305, 0}), false},
        {"lost star at the far wing", farWing, true},
        {"four lines above 0", fourLines, false},
        {"no clear fall", Points(700, {0, 47000, 48000, 50000, 49000, 48500, 48000}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        for (const CurvePoint& p : c.points) lines.push_back(FormatStepLine(p.position, p.value));
        ASSERT_EQ(ComputeBestFocusFromLines(lines, 100), 0);
        for (bool check : {false, true}) {
            const CurveAnalysis a = AnalyseCurve(c.points, 100, 0, CurveRequest{true, check});
            EXPECT_EQ(a.fitTrusted, c.stands);
            EXPECT_EQ(a.chosen != 0, c.stands) << a.chosen;
            if (c.stands) EXPECT_NEAR(a.chosen, 1000, 3);
        }
    }
}

// Whatever the values (zeros, equal lines, the largest a line can hold, wild noise), the
// fit's result stays inside the row and its plotted curve is finite.
TEST(CurveAnalysis, AnyValuesGiveAResultInsideTheRowAndAFiniteCurve) {
    std::mt19937 random(7);
    const int32_t extremes[] = {0, 1, 2, 50000, 2147483647};
    for (int trial = 0; trial < 20000; ++trial) {
        const int steps = 3 + static_cast<int>(random() % 13);
        const int increment = trial % 2 ? 100 : -37;
        std::vector<CurvePoint> points;
        for (int k = 0; k < steps; ++k) {
            const int32_t value = random() % 4 == 0 ? extremes[random() % 5]
                                                    : static_cast<int32_t>(random() % (trial % 3 ? 60000 : 8));
            points.push_back({5000 + k * increment, value});
        }
        const int32_t lowest = std::min(points.front().position, points.back().position);
        const int32_t highest = std::max(points.front().position, points.back().position);
        const CurveAnalysis a = AnalyseCurve(points, increment, 0, CurveRequest{.useFit = true, .check = true});
        if (a.fitConverged) {
            SCOPED_TRACE(trial);
            ASSERT_GE(a.fitPeak, lowest);
            ASSERT_LE(a.fitPeak, highest);
            ASSERT_TRUE(std::isfinite(a.fitQuality));
            for (int i = 0; i < a.fitCurvePoints; ++i) {
                const auto [x, y] = a.FitCurvePoint(i);
                ASSERT_TRUE(std::isfinite(x) && std::isfinite(y) && y >= 0);
            }
        }
        if (a.chosen != 0) {
            ASSERT_GE(a.chosen, lowest);
            ASSERT_LE(a.chosen, highest);
        }
    }
}

TEST(CurveAnalysis, CheckRefusesCurvesThatCannotBeTrusted) {
    struct Case {
        const char* name;
        std::vector<CurvePoint> points;
        BestFocusMethod method;
        std::string reason;  // empty: passes
    };
    const auto three = BestFocusMethod::ThreePoint, fit = BestFocusMethod::Fit;
    const Case cases[] = {
        {"good", Sampled(700, 100, 7, 1040, 100, Gauss), three, ""},
        {"good, fit", Sampled(700, 100, 7, 1040, 100, Gauss), fit, ""},
        {"peak beyond the row", Sampled(700, 100, 7, 1500, 150, Lorentz), fit, "best value on the last line"},
        {"peak before the row", Sampled(700, 100, 7, 500, 150, Lorentz), three, "best value on the first line"},
        {"flat after the best", Points(700, {10000, 20000, 40000, 50000, 48000, 47000, 46000}), three,
         "no clear fall after the best line"},
        {"flat before the best", Points(700, {47000, 48000, 49000, 50000, 30000, 20000, 10000}), fit,
         "no clear fall before the best line"},
        // A cloud dims the position nearest the focus: the fit leaves it out, but it misled
        // the three-point rule (the best line's neighbour).
        {"clouded peak", Points(700, {6000, 12000, 36000, 16000, 38000, 14000, 6000}), three,
         "a line off the curve misled the best lines"},
        {"clouded peak, fit", Points(700, {6000, 12000, 36000, 16000, 38000, 14000, 6000}), fit, ""},
        // Two halves that make no one peak, even with a line left out.
        {"two peaks", Points(700, {6000, 36000, 12000, 6000, 14000, 38000, 16000}), fit, "no curve fits the points"},
        {"no result", Points(0, {10, 40, 50, 40, 10}), three, "no best focus from the step lines"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        for (const CurvePoint& p : c.points) lines.push_back(FormatStepLine(p.position, p.value));
        const int32_t threePoint = ComputeBestFocusFromLines(lines, 100);
        const CurveAnalysis a = AnalyseCurve(c.points, 100, threePoint, CurveRequest{c.method == BestFocusMethod::Fit, true});
        EXPECT_EQ(a.checkReason, c.reason);
        EXPECT_EQ(a.checkPassed, c.reason.empty());
        if (!c.reason.empty()) EXPECT_EQ(a.chosen, 0);
        else EXPECT_NE(a.chosen, 0);
    }
}

// A connected window whose host has sent its handle, with the given options.
struct OptionsRun : FakeWindow {
    explicit OptionsRun(const RunOptions& options, int32_t start = 1000) {
        driver.position = start;
        form.SetRunOptions(options);
        form.FormCreate();
        Connect();
        form.HandleFocuserMessage(3, static_cast<intptr_t>(kHost));
    }
    void Sweep(const std::vector<int32_t>& values) {
        form.ButStartClick();
        for (int32_t v : values)
            for (int i = 0; i < 2; ++i) SendValues({i == 0 ? v : v / 2});
    }
    // Everything the run did that anyone outside could see.
    std::vector<std::string> Outside() const {
        std::vector<std::string> out;
        for (const Call& c : driver.calls) out.push_back("driver " + c.access + " " + c.member + "(" + c.args + ")");
        for (const std::string& l : Memo1.lines) out.push_back("log " + l);
        for (const std::string& t : LabStatus.painted) out.push_back("status " + t);
        out.push_back("status now " + LabStatus.Text());
        for (const Post& p : platform.posts) out.push_back("post " + std::to_string(p.wParam));
        for (uint32_t ms : platform.sleeps) out.push_back("sleep " + std::to_string(ms));
        return out;
    }
};

TEST(CurveOptionsRun, WithoutOptionsOrWithEveryLineRejectedTheRunIsTheStandardOne) {
    struct Counted : RejectedOptionLines {
        int count = 0;
        void Add(int, std::string_view, OptionLineFault) override { ++count; }
    } rejected;
    const RunOptions options = ParseRunOptions("best-focus = quick\ncurve-check = maybe\nrun-record\n", &rejected);
    ASSERT_EQ(rejected.count, 3);
    const std::vector<int32_t> sweeps[] = {
        {10, 20, 40, 50, 45, 30, 15},           // a good curve
        {10000, 20000, 40000, 50000, 48000, 47000, 46000},  // no clear fall: the check would refuse it
        {6000, 12000, 36000, 16000, 38000, 14000, 6000},    // clouded: the check would refuse it
    };
    for (const auto& values : sweeps) {
        for (bool backlash : {false, true}) {
            OptionsRun standard(RunOptions{}), parsed(options);
            standard.CBBacklash.checked = parsed.CBBacklash.checked = backlash;
            standard.Sweep(values);
            parsed.Sweep(values);
            EXPECT_EQ(parsed.Outside(), standard.Outside());
            // And that run is the three-point one: its result, or "Error" where that fails.
            const std::vector<std::string> steps(standard.Memo1.lines.begin(), standard.Memo1.lines.begin() + 7);
            const int32_t threePoint = ComputeBestFocusFromLines(steps, 100);
            const auto& painted = standard.LabStatus.painted;
            if (threePoint != 0) {
                EXPECT_EQ(standard.Memo1.lines.back(), FormatResultLine(threePoint));
                EXPECT_EQ(standard.driver.moves.back(), threePoint);
            } else {
                EXPECT_EQ(standard.Memo1.lines.size(), 7u);
                EXPECT_NE(std::find(painted.begin(), painted.end(), "Error"), painted.end());
            }
        }
    }
}

TEST(CurveOptionsRun, RefusedCurveEndsAsAFailedComputationAndFitMovesToTheFittedPeak) {
    OptionsRun checked(RunOptions{BestFocusMethod::ThreePoint, true, false});
    checked.Sweep({6000, 12000, 36000, 16000, 38000, 14000, 6000});
    EXPECT_EQ(checked.Memo1.lines.size(), 7u);  // no result line
    EXPECT_NE(std::find(checked.LabStatus.painted.begin(), checked.LabStatus.painted.end(), "Error"),
              checked.LabStatus.painted.end());
    EXPECT_EQ(checked.driver.moves.back(), checked.form.RunStartPosition());
    EXPECT_EQ(checked.platform.posts.size(), 1u);

    // Lines at 0 between three bright ones: the three-point rule fails, and a fit of
    // three lines does not stand for it.
    OptionsRun junk(RunOptions{BestFocusMethod::Fit, false, false}, 10437);
    junk.Sweep({0, 300, 0, 310, 0, 305, 0});
    EXPECT_EQ(junk.Memo1.lines.size(), 7u);
    EXPECT_NE(std::find(junk.LabStatus.painted.begin(), junk.LabStatus.painted.end(), "Error"),
              junk.LabStatus.painted.end());
    EXPECT_EQ(junk.form.RunStartPosition(), 10137);
    EXPECT_EQ(junk.driver.moves.back(), 10137);

    // The run moves to the fitted peak (a step from the true 1040: the fit's index is
    // drawn slightly towards 2, and a Gaussian's is infinite), not to the three-point 1033.
    OptionsRun fitted(RunOptions{BestFocusMethod::Fit, false, false});
    std::vector<int32_t> values;
    const std::vector<CurvePoint> gauss = Sampled(700, 100, 7, 1040, 100, Gauss);
    for (const CurvePoint& p : gauss) values.push_back(p.value);
    fitted.Sweep(values);
    const auto fittedPeak = static_cast<int32_t>(std::nearbyint(AnalyseCurve(gauss, 100, 1033, CurveRequest{}).fitPeak));
    EXPECT_NEAR(fittedPeak, 1040, 1);
    EXPECT_EQ(fitted.Memo1.lines.back(), FormatResultLine(fittedPeak));
    EXPECT_EQ(fitted.driver.moves.back(), fittedPeak);
}

// "sweep = extend": a star whose focus lies beyond an end of the row. Each position
// reports a Lorentzian 150 steps wide around `focus`, as its first of two values.
struct FollowedRun : OptionsRun {
    using OptionsRun::OptionsRun;
    void Follow(double focus) {
        form.ButStartClick();
        for (int guard = 0; form.IsRunning() && guard < 100; ++guard) {
            const double d = ((driver.absolute ? driver.position : form.SoftPosition()) - focus) / 150;
            const auto v = static_cast<int32_t>(std::lround(50000 / (1 + d * d)));
            SendValues({v, v / 2});
        }
    }
    std::vector<int32_t> Logged() const {
        std::vector<int32_t> out;
        for (const std::string& l : Memo1.lines)
            if (l.find(" = ") != std::string::npos) out.push_back(std::stoi(l));
        return out;
    }
};

std::vector<int32_t> Row(int32_t first, int32_t last, int32_t by = 100) {
    std::vector<int32_t> out;
    for (int32_t p = first; by > 0 ? p <= last : p >= last; p += by) out.push_back(p);
    return out;
}
std::vector<int32_t> Then(std::vector<int32_t> a, const std::vector<int32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(SweepExtendRun, FollowsTheCurvePastTheRowsEndUntilItTurns) {
    struct Case {
        const char* name;
        int32_t start;
        bool absolute;
        int32_t maxStep;
        double focus;
        std::vector<int32_t> visited;
        int32_t result;  // 0: "Error", back to where the run was switched on
    };
    const Case cases[] = {
        // Two positions under 90 % of the best end the added ones.
        {"beyond the low end", 1000, true, 30000, 450, Then(Row(700, 1300), Row(600, 200, -100)), 450},
        {"beyond the high end", 1000, true, 30000, 1550, Then(Row(700, 1300), Row(1400, 1800)), 1550},
        // Still rising after Steps added positions: no focus in the curve.
        {"never turning", 1000, true, 30000, 5000, Then(Row(700, 1300), Row(1400, 2000)), 0},
        // The travel ends: at MaxStep before the curve fell twice, yet past its peak.
        {"turned at MaxStep", 1000, true, 1600, 1450, Then(Row(700, 1300), Row(1400, 1600)), 1450},
        {"row ends at MaxStep", 1000, true, 1300, 1550, Row(700, 1300), 0},
        // Position 0 is never added: its step line would read as a failed line.
        {"turned above 0", 600, true, 30000, 170, Then(Row(300, 900), Row(200, 100, -100)), 168},
        {"rising towards 0", 500, true, 30000, 50, Then(Row(200, 800), {100}), 0},
        // A relative focuser keeps to the count alone, whatever MaxStep it reports.
        {"relative, high end", 10000, false, 100, 10550, Then(Row(9700, 10300), Row(10400, 10800)), 10550},
        {"relative, never turning", 10000, false, 100, 9000, Then(Row(9700, 10300), Row(9600, 9000, -100)), 0},
        {"focus inside the row", 1000, true, 30000, 1040, Row(700, 1300), 1040},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunOptions extend;
        extend.sweep = SweepMode::Extend;
        FollowedRun w(extend, c.start);
        w.driver.absolute = c.absolute;
        w.driver.maxStep = c.maxStep;
        w.Connect();  // MaxStep is read on connecting
        w.Follow(c.focus);
        ASSERT_FALSE(w.form.IsRunning());
        EXPECT_EQ(w.Logged(), c.visited);
        const auto& painted = w.LabStatus.painted;
        if (c.result != 0) {
            EXPECT_NEAR(std::stoi(w.Memo1.lines.back()), c.result, 3);
            EXPECT_EQ(w.Memo1.lines.back().find(" -> Focus") != std::string::npos, true);
        } else {
            EXPECT_EQ(w.Memo1.lines.size(), c.visited.size());  // no result line
            EXPECT_NE(std::find(painted.begin(), painted.end(), "Error"), painted.end());
        }
        const int32_t movedTo = c.result != 0 ? std::stoi(w.Memo1.lines.back()) : w.form.RunStartPosition();
        EXPECT_EQ(c.absolute ? w.driver.position : w.form.SoftPosition(), movedTo);
        EXPECT_EQ(w.platform.posts.size(), 1u);
        // Every position after the first was reached by a step: an 80 ms pause, then the move.
        size_t stepPauses = 0;
        for (uint32_t ms : w.platform.sleeps) stepPauses += ms == TFormAFoc::kBeforeMovePause;
        EXPECT_EQ(stepPauses, c.visited.size() - 1 + 1);  // and one before the final move

        // Without the option the same star gives the fixed row's run, call for call.
        FollowedRun fixed(RunOptions{}, c.start), rejected(ParseRunOptions("sweep = extended\n"), c.start);
        for (FollowedRun* r : {&fixed, &rejected}) {
            r->driver.absolute = c.absolute;
            r->driver.maxStep = c.maxStep;
            r->Connect();
            r->Follow(c.focus);
        }
        EXPECT_EQ(rejected.Outside(), fixed.Outside());
        EXPECT_EQ(fixed.Logged(), std::vector<int32_t>(c.visited.begin(), c.visited.begin() + 7));
        // With the focus inside the row, the option changes nothing either.
        if (c.visited.size() == 7 && c.result != 0) EXPECT_EQ(w.Outside(), fixed.Outside());
    }
}

// The host guide's longest run with "sweep = extend": a focuser whose moves never end and
// a curve that never turns take the row's time and Steps added positions, within the
// formula, and longer than the fixed row's formula allows.
TEST(SweepExtendRun, LongestRunStaysWithinTheHostGuidesLimit) {
    RunOptions extend;
    extend.sweep = SweepMode::Extend;
    FollowedRun w(extend);
    w.driver.stuck = true;
    w.CBBacklash.checked = true;
    const uint32_t begin = w.platform.now;
    w.Follow(5000);  // values 300 ms apart
    const double seconds = (w.platform.now - begin) / 1000.0;
    const double wait = 10.05, t = 0.3, steps = 7, expo = 2;
    const double fixedRow = wait + steps * expo * t + (steps - 1) * (0.08 + wait + 0.2 + t) + 0.08 + 0.5 + wait +
                            (0.5 + wait);
    const double added = steps * (expo * t + 0.08 + wait + 0.2 + t);
    EXPECT_EQ(w.Logged().size(), 14u);
    EXPECT_GT(seconds, fixedRow);
    EXPECT_LE(seconds, fixedRow + added);
}

}  // namespace
}  // namespace qm::test

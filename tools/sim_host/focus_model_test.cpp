// Tests of the simulated star: the shape of its focus curve, the clipping of values
// and the reproducibility of its noise.
#include "tools/sim_host/focus_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace qm::sim {
namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

FocusModelParams Quiet(double trueFocus) {
    FocusModelParams p;
    p.trueFocus = trueFocus;
    return p;
}

TEST(FocusModel, CurvePeaksAtTheTrueFocusAndIsSymmetric) {
    for (double trueFocus : {-500.0, 0.0, 1234.0, 98765.5}) {
        FocusModel model(Quiet(trueFocus));
        const int32_t peak = model.Measure(trueFocus);
        EXPECT_EQ(peak, 50000) << trueFocus;  // scale 100000 / minFwhm 2
        for (double d : {1.0, 10.0, 100.0, 350.0, 5000.0}) {
            const int32_t below = model.Measure(trueFocus - d);
            const int32_t above = model.Measure(trueFocus + d);
            EXPECT_LT(below, peak) << trueFocus << " " << d;
            EXPECT_EQ(below, above) << trueFocus << " " << d;
        }
    }
}

TEST(FocusModel, SkewAndCloudChangeOnlyTheirSideAndPosition) {
    FocusModelParams p = Quiet(1000);
    p.slopeAbove = 0.04;  // the curve falls twice as fast above the focus
    p.cloudPosition = 800;
    p.cloudFactor = 0.5;
    FocusModel changed(p);
    FocusModel plain(Quiet(1000));
    EXPECT_EQ(changed.Measure(1000), 50000);
    EXPECT_EQ(changed.Measure(900), plain.Measure(900));
    EXPECT_LT(changed.Measure(1100), plain.Measure(1100));
    EXPECT_EQ(changed.Measure(1050), plain.Measure(1100));  // half the distance, twice the slope
    EXPECT_NEAR(changed.Measure(800), plain.Measure(800) / 2.0, 1);
    EXPECT_EQ(changed.Measure(801), plain.Measure(801));
}

TEST(FocusModel, ValuesFallMonotonicallyAwayFromFocus) {
    FocusModel model(Quiet(1000));
    int32_t previous = model.Measure(1000);
    for (int step = 1; step <= 40; ++step) {
        const int32_t value = model.Measure(1000 + 50.0 * step);
        EXPECT_LT(value, previous) << step;
        previous = value;
    }
}

TEST(FocusModel, WidthFollowsTheHyperbola) {
    FocusModelParams p = Quiet(0);
    p.minFwhm = 3;
    p.slope = 0.04;
    FocusModel model(p);
    EXPECT_DOUBLE_EQ(model.Fwhm(0), 3.0);
    EXPECT_DOUBLE_EQ(model.Fwhm(100), 5.0);  // sqrt(3^2 + 4^2)
    EXPECT_DOUBLE_EQ(model.Fwhm(-100), 5.0);
    EXPECT_DOUBLE_EQ(model.IdealValue(100), 20000.0);
}

TEST(FocusModel, SameSeedGivesSameValuesAndOtherSeedsDiffer) {
    FocusModelParams p = Quiet(1000);
    p.noise = 0.1;
    p.seeing = 0.2;
    p.additiveNoise = 50;
    auto sweep = [](FocusModelParams params) {
        FocusModel model(params);
        std::vector<int32_t> values;
        for (int i = 0; i < 50; ++i)
            values.push_back(model.Measure(700 + 20.0 * i));
        return values;
    };
    const auto first = sweep(p);
    EXPECT_EQ(first, sweep(p));
    p.seed = 2;
    EXPECT_NE(first, sweep(p));
}

TEST(FocusModel, NoisyValuesScatterAroundTheIdealValue) {
    FocusModelParams p = Quiet(1000);
    p.noise = 0.05;
    FocusModel model(p);
    double sum = 0;
    constexpr int kCount = 4000;
    for (int i = 0; i < kCount; ++i)
        sum += model.Measure(1000);
    EXPECT_NEAR(sum / kCount, 50000, 250);  // mean within 0.5 %; 5 % noise gives ~0.08 % standard error
}

struct ClipCase {
    double raw;
    int32_t expected;
};

TEST(FocusModel, ClipKeepsValuesWithinZeroAndInt32) {
    const ClipCase cases[] = {
        {0.0, 0},
        {-0.4, 0},
        {-1e300, 0},
        {std::nan(""), 0},
        {-std::numeric_limits<double>::infinity(), 0},
        {0.4, 0},
        {0.5, 1},
        {1.5, 2},
        {12345.49, 12345},
        {2147483646.4, 2147483646},
        {2147483647.0, kInt32Max},
        {2147483647.6, kInt32Max},
        {1e300, kInt32Max},
        {std::numeric_limits<double>::infinity(), kInt32Max},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FocusModel::ClipValue(c.raw), c.expected) << c.raw;
}

TEST(FocusModel, ExtremeParametersStayInRange) {
    struct Extreme {
        const char* what;
        FocusModelParams params;
        double position;
    };
    FocusModelParams zeroWidth = Quiet(0);
    zeroWidth.minFwhm = 0;
    FocusModelParams huge = Quiet(0);
    huge.scale = 1e12;
    FocusModelParams wild = Quiet(0);
    wild.noise = 5;
    wild.additiveNoise = 1e6;
    wild.seeing = 3;
    FocusModelParams negativeScale = Quiet(0);
    negativeScale.scale = -100000;
    const Extreme cases[] = {
        {"zero width at focus", zeroWidth, 0},
        {"huge scale", huge, 10},
        {"wild noise", wild, 100},
        {"negative scale", negativeScale, 0},
        {"far away", Quiet(0), 2147483647.0},
    };
    for (const auto& c : cases) {
        FocusModel model(c.params);
        for (int i = 0; i < 200; ++i) {
            const int32_t v = model.Measure(c.position);
            ASSERT_GE(v, 0) << c.what;
        }
    }
    EXPECT_EQ(FocusModel(zeroWidth).Measure(0), kInt32Max);
    EXPECT_EQ(FocusModel(huge).Measure(0), kInt32Max);
    EXPECT_EQ(FocusModel(negativeScale).Measure(0), 0);
}

}  // namespace
}  // namespace qm::sim

// The best-focus computation from the log's step lines.
#include "focus/best_focus.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

std::vector<std::string> Sweep(int32_t first, int32_t increment, std::vector<int32_t> values) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < values.size(); ++i)
        lines.push_back(FormatStepLine(first + static_cast<int32_t>(i) * increment, values[i]));
    return lines;
}

TEST(BestFocus, LineFormats) {
    EXPECT_EQ(FormatStepLine(900, 4512), "  900 = 4512");
    EXPECT_EQ(FormatStepLine(-25, 0), "  -25 = 0");
    EXPECT_EQ(FormatStepLine(123456, 7), "123456 = 7");
    EXPECT_EQ(FormatResultLine(1126), " 1126 -> Focus");
}

struct Example {
    std::vector<int32_t> values;
    int32_t increment;
    int32_t expected;
};

TEST(BestFocus, WorkedExamples) {
    const Example examples[] = {
        {{10, 20, 40, 50, 45, 30, 15}, 100, 1126},
        {{10, 20, 45, 50, 40, 30, 15}, 100, 1074},
        {{10, 20, 40, 50, 40, 30, 15}, 100, 1102},
        {{10, 20, 40, 50, 50, 30, 15}, 100, 1150},  // the first of two equal maxima
        {{10, 20, 30, 40, 50, 60, 70}, 100, 1400},  // maximum on the last line: no interpolation
        {{70, 60, 50, 40, 30, 20, 10}, 100, 800},   // maximum on the first line
        {{10, 20, 40, 50, 50, 30, 15}, 1, 1100},    // half of 1 rounds to even: no shift
        {{10, 20, 40, 50, 50, 30, 15}, 3, 1102},    // 1.5 rounds to even: a shift of 2
    };
    for (const auto& e : examples)
        EXPECT_EQ(ComputeBestFocusFromLines(Sweep(800, 100, e.values), e.increment), e.expected)
            << "increment " << e.increment << ", first value " << e.values[0];
}

TEST(BestFocus, FailsOnShortOrBadLogs) {
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(800, 100, {1, 2, 3, 2}), 100), 0);         // fewer than five
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(800, 100, {1, 2, 0, 2, 1}), 100), 0);      // a zero value
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(0, 100, {1, 2, 3, 2, 1}), 100), 0);        // position 0
    auto garbled = Sweep(800, 100, {1, 2, 3, 2, 1});
    garbled[1] = "  900 = x";
    EXPECT_EQ(ComputeBestFocusFromLines(garbled, 100), 0);
    garbled[1] = "no separator";
    EXPECT_EQ(ComputeBestFocusFromLines(garbled, 100), 0);
    // A sweep whose interpolated result lands exactly on 0 fails as well.
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(-150, 100, {1, 10, 10, 2, 1}), 100), 0);
}

TEST(BestFocus, ReadsPositionsAndValuesOfAnyWidth) {
    // Positions beyond five characters and ten-digit values read back as written.
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(123400, 100, {10, 20, 40, 50, 45, 30, 15}), 100), 123726);
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(-20000, 100, {10, 20, 40, 50, 45, 30, 15}), 100), -19674);
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(800, 100, {1, 2, 2147483647, 3, 1}), 100), 1000);
    EXPECT_EQ(ComputeBestFocusFromLines(Sweep(800, 100, {1, 2, 3, 2147483647, 2147483647}), 100), 1150);
}

}  // namespace
}  // namespace qm

// Scaling of 96-DPI pixel sizes to other screen densities.
#include "common/dpi_scale.h"

#include <gtest/gtest.h>

#include <climits>

namespace qm {
namespace {

TEST(ScaleToDpiTest, Table) {
    struct Case {
        int value, dpi, expected;
    };
    const Case cases[] = {
        // 96 DPI, and a density that is not one, change nothing.
        {318, 96, 318},
        {-7, 96, -7},
        {141, 0, 141},
        {141, -120, 141},
        // 125 %: 11 * 1.25 = 13.75; 29 * 1.25 = 36.25; 6 * 1.25 = 7.5 rounds up.
        {11, 120, 14},
        {29, 120, 36},
        {6, 120, 8},
        // 150 %: halves round away from zero, on both sides of it.
        {11, 144, 17},
        {1, 144, 2},
        {-1, 144, -2},
        {-3, 144, -5},
        {141, 144, 212},
        // 200 %: exact.
        {318, 192, 636},
        {-469, 192, -938},
        // Below 96 DPI sizes shrink; a one-pixel line still rounds to one.
        {1, 72, 1},
        {11, 72, 8},
        // A product beyond int is held at its limits.
        {INT_MAX, 192, INT_MAX},
        {INT_MIN, 192, INT_MIN},
        {INT_MAX / 2, 192, INT_MAX - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScaleToDpi(c.value, c.dpi), c.expected) << c.value << " at " << c.dpi;
}

TEST(ScaleDownToDpiTest, Table) {
    struct Case {
        int value, dpi, expected;
    };
    const Case cases[] = {
        {11, 96, 11}, {11, 0, 11},   {11, 120, 13}, {11, 144, 16},           {11, 192, 22},           {3, 120, 3},
        {3, 144, 4},  {19, 144, 28}, {-3, 144, -4}, {INT_MAX, 192, INT_MAX}, {INT_MIN, 192, INT_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScaleDownToDpi(c.value, c.dpi), c.expected) << c.value << " at " << c.dpi;
}

TEST(LineWidthForDpiTest, OneLineBecomesTwoFromHalfAgain) {
    struct Case {
        int dpi, expected;
    };
    const Case cases[] = {{96, 1}, {0, 1}, {48, 1}, {120, 1}, {143, 1}, {144, 2}, {192, 2}, {240, 3}, {288, 3}};
    for (const Case& c : cases)
        EXPECT_EQ(LineWidthForDpi(c.dpi), c.expected) << c.dpi;
}

}  // namespace
}  // namespace qm

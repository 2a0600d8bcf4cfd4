// e^x - 1 made from exp and log: accurate near 0, exact at the ends of its range.
#include "common/exp_minus_one.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qm {
namespace {

TEST(ExpMinusOne, MatchesTheCorrectlyRoundedValueWithinTwoUlps) {
    struct Case {
        double x, expected;  // expected: e^x - 1 worked out in 60 digits, rounded to a double
    };
    const Case cases[] = {
        {1e-10, 1.00000000005e-10},  // exp(x) - 1 would keep one digit of these
        {-1e-8, -9.999999950000001e-09}, {1e-05, 1.0000050000166668e-05},
        {0.0126, 0.012679714448849464},  // the fit's range: ln 2 / index, index 0.4 to 55
        {0.5, 0.6487212707001282},       {0.6931471805599453, 1.0},
        {1.0, 1.7182818284590453},       {1.7328679513998633, 4.656854249492381},
        {-1.0, -0.6321205588285577},     {700.0, 1.0142320547350045e+304},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(ExpMinusOne(c.x), c.expected, 4.5e-16 * std::fabs(c.expected)) << "x = " << c.x;
}

TEST(ExpMinusOne, IsExactAtTheEndsOfItsRange) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double exact[][2] = {
        {0.0, 0.0},    {1e-300, 1e-300}, {-1e-300, -1e-300},  // below half an ulp of 1: x itself
        {-40.0, -1.0}, {-800.0, -1.0},   {-kInf, -1.0},       // e^x vanishes next to 1
        {710.0, kInf}, {kInf, kInf},                          // beyond the largest double
    };
    for (const auto& c : exact)
        EXPECT_EQ(ExpMinusOne(c[0]), c[1]) << "x = " << c[0];
    EXPECT_TRUE(std::signbit(ExpMinusOne(-0.0)));
    EXPECT_TRUE(std::isnan(ExpMinusOne(std::numeric_limits<double>::quiet_NaN())));
}

}  // namespace
}  // namespace qm

// The big whole number's operations where limbs carry, borrow and shift into each
// other; the number text conversions built on it are tested against the C library in
// real_number_parse_test.cpp and printf_number_test.cpp.
#include "common/big_number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

namespace qm {
namespace {

std::string DecimalText(BigNumber n) {
    std::string text;
    do {
        text += static_cast<char>('0' + n.DivideBy(10));
    } while (!n.IsZero());
    std::reverse(text.begin(), text.end());
    return text;
}

TEST(BigNumber, OperationsAcrossLimbs) {
    const uint64_t kAllOnes = ~uint64_t{0};
    const struct {
        const char* what;
        uint64_t start;
        std::function<void(BigNumber&)> operation;
        const char* expected;
        int bitLength;
    } cases[] = {
        {"carry into a new limb", 0xFFFFFFFF, [](BigNumber& n) { n.Add(1); }, "4294967296", 33},
        {"carry through two limbs", kAllOnes, [](BigNumber& n) { n.Add(1); }, "18446744073709551616", 65},
        {"whole limbs", kAllOnes, [](BigNumber& n) { n.MultiplyByPowerOfTwo(32); }, "79228162514264337589248983040",
         96},
        {"limbs and bits", kAllOnes, [](BigNumber& n) { n.MultiplyByPowerOfTwo(33); }, "158456325028528675178497966080",
         97},
        {"power of five", 3, [](BigNumber& n) { n.MultiplyByPowerOfFive(27); }, "22351741790771484375", 65},
        {"borrow through a limb", kAllOnes,
         [](BigNumber& n) {
             n.MultiplyByPowerOfTwo(32);
             n.Subtract(BigNumber(kAllOnes));
         },
         "79228162495817593515539431425", 96},
        {"down to zero", kAllOnes, [](BigNumber& n) { n.Subtract(BigNumber(~uint64_t{0})); }, "0", 0},
        {"times zero", kAllOnes, [](BigNumber& n) { n.MultiplyBy(0); }, "0", 0},
    };
    for (const auto& c : cases) {
        BigNumber n(c.start);
        c.operation(n);
        EXPECT_EQ(DecimalText(n), c.expected) << c.what;
        EXPECT_EQ(n.BitLength(), c.bitLength) << c.what;
    }
}

TEST(BigNumber, ComparesByValue) {
    BigNumber small(uint64_t{1} << 40);
    BigNumber large(1);
    large.MultiplyByPowerOfTwo(41);
    EXPECT_EQ(Compare(small, large), -1);
    EXPECT_EQ(Compare(large, small), 1);
    small.MultiplyBy(2);
    EXPECT_EQ(Compare(small, large), 0);
    EXPECT_EQ(Compare(BigNumber(), BigNumber(0)), 0);
    EXPECT_EQ(Compare(BigNumber(0xFFFFFFFF), BigNumber(uint64_t{1} << 32)), -1);  // fewer limbs
    EXPECT_EQ(Compare(BigNumber(uint64_t{1} << 32), BigNumber(0xFFFFFFFF)), 1);
}

}  // namespace
}  // namespace qm

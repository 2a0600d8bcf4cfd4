#include "common/decimal_text.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(DecimalText, FixedAndTrimmed) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        int decimals;
        const char* fixed;
        const char* trimmed;
    } cases[] = {
        {1012.4, 4, "1012.4000", "1012.4"},
        {0.987, 4, "0.9870", "0.987"},
        {-0.25, 1, "-0.2", "-0.2"},  // halves to even
        {0.35, 1, "0.4", "0.4"},     // scaled first: 0.35 x 10 rounds to 3.5 exactly
        {2.5, 0, "2", "2"},
        {-3.5, 0, "-4", "-4"},
        {1000, 3, "1000.000", "1000"},
        {-0.00001, 4, "0.0000", "0"},
        {0.05, 4, "0.0500", "0.05"},
        {2147483647.0, 4, "2147483647.0000", "2147483647"},
        {-2147483648.0, 1, "-2147483648.0", "-2147483648"},
        {1e13, 4, "", ""},  // beyond exact rounding at four decimals
        {NAN, 2, "", ""},
        {inf, 0, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FixedDecimal(c.value, c.decimals), c.fixed) << c.value;
        EXPECT_EQ(TrimmedDecimal(c.value, c.decimals), c.trimmed) << c.value;
    }
}

TEST(DecimalText, ReadsJsonNumbersAndWhereTheyEnd) {
    struct Case {
        const char* text;
        double value;
        size_t length;  // 0: not a number
    } cases[] = {
        {"0", 0, 1},          {"-0", 0, 2},          {"12", 12, 2},
        {"1012.4,", 1012.4, 6}, {"0.987]", 0.987, 5},  {"-39.5", -39.5, 5},
        {"1e3", 1000, 3},     {"2.5E-2", 0.025, 6},  {"7e+1x", 70, 4},
        {"0123", 0, 1},  // JSON has no leading zeros: the number is "0"
        {"123456789012345678901234", 123456789012345678901234.0, 24},
        {"1e400", std::numeric_limits<double>::infinity(), 5},
        {"1e-400", 0, 6},
        {"+1", 0, 0},         {".5", 0, 0},          {"1.", 0, 0},
        {"1e", 0, 0},         {"-", 0, 0},           {"", 0, 0},
    };
    for (const Case& c : cases) {
        const char* end = c.text + std::strlen(c.text);
        double value = -1;
        const char* stop = ReadJsonNumber(c.text, end, value);
        if (c.length == 0) {
            EXPECT_EQ(stop, nullptr) << c.text;
            continue;
        }
        ASSERT_NE(stop, nullptr) << c.text;
        EXPECT_EQ(static_cast<size_t>(stop - c.text), c.length) << c.text;
        if (std::isinf(c.value))
            EXPECT_TRUE(std::isinf(value)) << c.text;
        else
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
    }
}

// What the record writes reads back as the same double it would write again.
TEST(DecimalText, WrittenNumbersReadBackExactly) {
    for (double v : {1012.4, 0.987, 39.5, -7.0625, 123456.789, 2147483647.0, 0.0001}) {
        const std::string text = TrimmedDecimal(v, 4);
        double back = 0;
        ASSERT_NE(ReadJsonNumber(text.data(), text.data() + text.size(), back), nullptr);
        EXPECT_EQ(back, std::nearbyint(v * 10000) / 10000) << text;
    }
}

}  // namespace
}  // namespace qm

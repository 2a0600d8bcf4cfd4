#include "common/decimal_text.h"

#include <cmath>
#include <cstdlib>
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

TEST(DecimalText, Integers) {
    struct Case {
        long long value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {-1, "-1"},
        {1026, "1026"},
        {4294967295LL, "4294967295"},
        {-2147483648LL, "-2147483648"},
        {std::numeric_limits<long long>::max(), "9223372036854775807"},
        {std::numeric_limits<long long>::min(), "-9223372036854775808"},
    };
    for (const Case& c : cases) {
        std::string out = "x";
        AppendInteger(out, c.value);
        EXPECT_EQ(out, std::string("x") + c.text) << c.value;
    }
}

// What the record writes reads back as the same double it would write again.
TEST(DecimalText, WrittenNumbersReadBackExactly) {
    for (double v : {1012.4, 0.987, 39.5, -7.0625, 123456.789, 2147483647.0, 0.0001}) {
        const std::string text = TrimmedDecimal(v, 4);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), std::nearbyint(v * 10000) / 10000) << text;
    }
}

}  // namespace
}  // namespace qm

#include "common/decimal_text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qm {
namespace {

// AppendDecimal's text on its own: empty for a value it cannot write.
std::string Decimal(double value, int decimals, bool trim) {
    std::string text;
    const bool written = AppendDecimal(text, value, decimals, trim);
    EXPECT_EQ(written, !text.empty()) << value;
    return text;
}

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
        {-2147483648.0, 0, "-2147483648", "-2147483648"},
        {4294967295.0, 0, "4294967295", "4294967295"},
        {0, 0, "0", "0"},
        {0.05, 2, "0.05", "0.05"},
        {-1.5, 9, "-1.500000000", "-1.5"},
        {1e13, 4, "", ""},  // beyond exact rounding at four decimals
        {NAN, 2, "", ""},
        {inf, 0, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Decimal(c.value, c.decimals, false), c.fixed) << c.value;
        EXPECT_EQ(Decimal(c.value, c.decimals, true), c.trimmed) << c.value;
    }
}

// What the record writes reads back as the same double it would write again.
TEST(DecimalText, WrittenNumbersReadBackExactly) {
    for (double v : {1012.4, 0.987, 39.5, -7.0625, 123456.789, 2147483647.0, 0.0001}) {
        const std::string text = Decimal(v, 4, true);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), std::nearbyint(v * 10000) / 10000) << text;
    }
}

}  // namespace
}  // namespace qm

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

TEST(DecimalText, Patterns) {
    const auto put = [](const char* pattern, auto... arguments) {
        std::string out = "x";
        AppendPattern(out, pattern, arguments...);
        return out;
    };
    const std::string quoted = "say \"hi\"\n";
    struct Case {
        std::string written;
        const char* text;
    };
    const std::vector<Case> cases = {
        {put("plain"), "xplain"},
        {put("x=\"~\" y=\"~\"", 62.0, -0.04), "xx=\"62.0\" y=\"0.0\""},
        {put("^, ^, ^", 7.0, -2147483648.0, 4294967295.0), "x7, -2147483648, 4294967295"},
        {put("[%,%,%]", 39.5, double(NAN), 1012.40004), "x[39.5,null,1012.4]"},
        {put("~ s|^", double(INFINITY), 1e300), "x- s|-"},
        {put("<b>`</b>`", "focus", "!"), "x<b>focus</b>!"},
        {put("a`b^c%", "-", 3.0, 0.25), "xa-b3c0.25"},
        // Whole numbers of any type are taken as numbers; a mark left without its
        // argument, or given one of the other kind, writes nothing.
        {put("^/~/^", 7, int64_t{-3}, 4000000000u), "x7/-3.0/4000000000"},
        {put("^ ^|`", 5.0), "x5 |"},
        {put("[^][`]", "text", 2.0), "x[][]"},
        // A string by its address, escaped for JSON; only '$' takes one, and '$' only one.
        {put("\"$\"", &quoted), "x\"say \\\"hi\\\"\\n\""},
        {put("[`][^][$]", &quoted, &quoted, "text"), "x[][][]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.written, c.text);
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

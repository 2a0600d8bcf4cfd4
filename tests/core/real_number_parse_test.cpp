// ParseRealNumber against the C library's strtod, which it stands in for: a table of
// the hard cases with their values as literals (which the compiler rounds), texts that
// must be refused, and many generated texts compared with the strtod of the platform
// the tests run on (glibc natively, MinGW's under Wine).
#include "common/real_number_parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace qm {
namespace {

uint64_t BitsOf(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

double FromBits(uint64_t bits) {
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// What the program read before: strtod over the whole text, a finite result.
std::optional<double> ByStrtod(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// "same" compares bits, so that -0 and 0 differ.
std::string Describe(const std::optional<double>& value) {
    if (!value)
        return "nothing";
    char text[64];
    std::snprintf(text, sizeof text, "%a", *value);
    return text;
}

TEST(RealNumberParse, HardCasesGiveTheNearestDouble) {
    const double max = std::numeric_limits<double>::max();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0", 0.0},
        {"-0", -0.0},
        {"+0.000e-99999999999999999999", 0.0},
        {"1", 1.0},
        {"-1.5", -1.5},
        {".5", 0.5},
        {"5.", 5.0},
        {"007.2500", 7.25},
        {"1e23", 1e23},  // just below a tie: naive arithmetic gives the double above
        {"8.589973e9", 8.589973e9},
        {"9007199254740993", 0x1p+53},                // 2^53 + 1: a tie, to the even 2^53
        {"9007199254740995", 0x1.0000000000002p+53},  // 2^53 + 3: a tie, to the even one above
        {"9007199254740993.0000000000000000000000000001", 0x1.0000000000001p+53},  // just above the tie
        {"0.1", 0x1.999999999999ap-4},
        {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},  // the largest subnormal
        {"2.2250738585072012e-308", 0x1p-1022},
        {"4.9406564584124654e-324", tiny},
        {"2.4703282292062327e-324", 0.0},   // below half the smallest subnormal
        {"2.4703282292062328e-324", tiny},  // above it
        {"1e-400", 0.0},
        {"-1e-400", -0.0},
        {"1.7976931348623157e308", max},
        {"1.7976931348623158e308", max},
        {"179769313486231580793728971405301e276", max},  // just below the halfway point to 2^1024
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
        {"0.000000000000000000000000000001234567890123456789", 1.234567890123456789e-30},
        // hexadecimal, as strtod reads it
        {"0x1A", 26.0},
        {"0X1a", 26.0},
        {"-0x1.8p3", -12.0},
        {"0x.8", 0.5},
        {"0x1.p1", 2.0},
        {"0x1P-2", 0.25},
        {"0x1.fffffffffffff8p0", 2.0},                          // a tie, to even
        {"0x1.00000000000008p0", 1.0},                          // a tie, to even
        {"0x1.000000000000080000001p0", 0x1.0000000000001p+0},  // above the tie
        {"0x1.0000000000001p-1075", tiny},
        {"0x1p-1075", 0.0},
        {"0x1.fffffffffffffp1023", max},
        {"0x00000000000000000000000001p0", 1.0},
        {"0x123456789abcdef0123p0", 0x1.23456789abcdfp+72},
    };
    for (const auto& c : cases) {
        const std::optional<double> read = ParseRealNumber(c.text);
        ASSERT_TRUE(read.has_value()) << c.text;
        EXPECT_EQ(BitsOf(*read), BitsOf(c.value)) << c.text << " read as " << Describe(read);
    }
}

TEST(RealNumberParse, RefusesWhatStrtodDoesNotReadWholeOrReadsAsNotFinite) {
    const char* const texts[] = {"",
                                 "+",
                                 "-",
                                 ".",
                                 "+.",
                                 "e5",
                                 ".e5",
                                 "1e",
                                 "1e+",
                                 "1e-",
                                 "1E+x",
                                 "--5",
                                 "+-5",
                                 "1.2.3",
                                 "1,5",
                                 "1d5",
                                 "5 ",
                                 "5\n",
                                 "0x",
                                 "0x.",
                                 "0x.p1",
                                 "0x1p",
                                 "0xg",
                                 "0x1e+1",
                                 "0x1.8e3p",
                                 "x1",
                                 "inf",
                                 "-inf",
                                 "infinity",
                                 "nan",
                                 "nan(1)",
                                 "1e309",
                                 "-1e400",
                                 "1.7976931348623159e308",
                                 "0x1p1024",
                                 "0x1.fffffffffffff8p1023",
                                 "1 000",
                                 "1e5x",
                                 "\xa0"
                                 "5"};
    for (const char* text : texts) {
        EXPECT_EQ(Describe(ParseRealNumber(text)), "nothing") << '"' << text << '"';
        EXPECT_EQ(Describe(ByStrtod(text)), "nothing") << "strtod: \"" << text << '"';
    }
    // strtod skips blanks before a number; here they are the caller's to remove.
    for (const char* text : {" 5", "\t5", "\n-1e3"})
        EXPECT_EQ(Describe(ParseRealNumber(text)), "nothing") << '"' << text << '"';
}

// The exact decimal text of the halfway point between a double and the next, from the
// long double holding it exactly (64 significant bits against the 54 it needs).
std::string HalfwayText(double low) {
    const long double halfway =
        (static_cast<long double>(low) + std::nextafter(low, std::numeric_limits<double>::infinity())) / 2;
    char text[1200];
    std::snprintf(text, sizeof text, "%.780Le", halfway);
    std::string s = text;
    // Trailing zeros of the digits off: "d.ddd000e-x" to "d.ddde-x".
    const size_t e = s.find('e');
    size_t last = e;
    while (s[last - 1] == '0')
        --last;
    if (s[last - 1] == '.')
        --last;
    return s.substr(0, last) + s.substr(e);
}

// Texts for the comparison: digit strings of every length with the point and the
// exponent anywhere, texts at, just above and just below halfway points, the extremes
// of the range, and hexadecimal numbers.
std::vector<std::string> GeneratedTexts() {
    std::mt19937_64 random(20261209);
    std::vector<std::string> texts;
    const auto digits = [&](int count) {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += static_cast<char>('0' + random() % 10);
        return s;
    };
    for (int i = 0; i < 6000; ++i) {
        const uint64_t r = random();
        std::string text = (r & 1) ? "-" : "";
        switch (i % 6) {
            case 0: {  // digits with a point somewhere and an exponent
                std::string d = digits(1 + static_cast<int>(r >> 8) % 40);
                d.insert(static_cast<size_t>(r >> 16) % (d.size() + 1), ".");
                if (d == ".")
                    d = "0.";
                text += d + "e" + std::to_string(static_cast<int>((r >> 24) % 700) - 350);
                break;
            }
            case 1: {  // a halfway point, at it, above it or below it
                const double low = FromBits((r >> 2) % 0x7FEFFFFFFFFFFFFF);
                std::string half = HalfwayText(low);
                const size_t e = half.find('e');
                if ((r >> 62) == 1)
                    half.insert(e, "000000000000000000000001");
                else if ((r >> 62) == 2)
                    half = half.substr(0, std::min<size_t>(e, 17 + (r >> 40) % 40)) + half.substr(e);
                text += half;
                break;
            }
            case 2: {  // the ends of the range: large, subnormal, underflowing
                const int exponent =
                    (r >> 8) % 2 ? 290 + static_cast<int>((r >> 16) % 30) : -340 + static_cast<int>((r >> 16) % 40);
                text += digits(1) + "." + digits(1 + static_cast<int>((r >> 24) % 25)) + "e" + std::to_string(exponent);
                break;
            }
            case 3: {  // long digit strings: integers of up to 400 digits, fractions of up to 1,000
                if ((r >> 8) % 2)
                    text += digits(1 + static_cast<int>((r >> 16) % 400));
                else
                    text += "0." + std::string((r >> 16) % 300, '0') + digits(1 + static_cast<int>((r >> 32) % 700));
                break;
            }
            case 4: {  // a double written with 17 significant digits: read back to itself
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, "%.16e", FromBits((r >> 2) % 0x7FF0000000000000));
                text += buffer;
                break;
            }
            default: {  // hexadecimal with a point somewhere and an exponent
                static const char kHex[] = "0123456789abcdefABCDEF";
                std::string h;
                const int count = 1 + static_cast<int>((r >> 8) % 30);
                for (int k = 0; k < count; ++k)
                    h += kHex[random() % 22];
                h.insert(static_cast<size_t>(r >> 16) % (h.size() + 1), ".");
                if (h == ".")
                    h = "0.";
                text += "0x" + h;
                if ((r >> 24) % 4 != 0)
                    text += "p" + std::to_string(static_cast<int>((r >> 32) % 2400) - 1200);
                break;
            }
        }
        texts.push_back(text);
    }
    return texts;
}

TEST(RealNumberParse, ReadsGeneratedTextsAsStrtodDoes) {
    int mismatches = 0;
    int read = 0;
    for (const std::string& text : GeneratedTexts()) {
        const std::optional<double> expected = ByStrtod(text);
        const std::optional<double> actual = ParseRealNumber(text);
        read += expected.has_value();
        if (expected.has_value() != actual.has_value() || (expected && BitsOf(*expected) != BitsOf(*actual))) {
            if (++mismatches <= 10)
                ADD_FAILURE() << text << ": " << Describe(actual) << ", strtod " << Describe(expected);
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(read, 5000);  // most texts must be numbers, or the comparison says little
}

// strtold's rounding to extended precision, over the same texts in the range that
// ParseNumberToExtendedPrecision covers (10^-325 to 10^309, decimal or hexadecimal).
TEST(RealNumberParse, RoundsToExtendedPrecisionAsStrtoldDoes) {
    static_assert(std::numeric_limits<long double>::digits == 64, "the comparison needs the x87's long double");
    int mismatches = 0;
    int compared = 0;
    for (const std::string& text : GeneratedTexts()) {
        char* end = nullptr;
        const long double expected = std::strtold(text.c_str(), &end);
        const long double magnitude = std::fabs(expected);
        if (end != text.c_str() + text.size() || !(magnitude < 1e308L) || (magnitude != 0 && magnitude < 1e-323L))
            continue;
        ++compared;
        const std::optional<ExtendedNumber> read = ParseNumberToExtendedPrecision(text);
        const long double actual =
            read ? (read->negative ? -1 : 1) * std::ldexp(static_cast<long double>(read->significand), read->exponent)
                 : std::numeric_limits<long double>::quiet_NaN();
        if (actual != expected && ++mismatches <= 10)
            ADD_FAILURE() << text << ": " << static_cast<double>(actual) << ", strtold "
                          << static_cast<double>(expected);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(compared, 4000);
    // Beyond the range of doubles: nothing.
    EXPECT_FALSE(ParseNumberToExtendedPrecision("1e309").has_value());
    EXPECT_FALSE(ParseNumberToExtendedPrecision("0x1p1024").has_value());
    EXPECT_TRUE(ParseNumberToExtendedPrecision("1.8e308").has_value());
}

}  // namespace
}  // namespace qm

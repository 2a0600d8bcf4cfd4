// Whole-number reading and saturating addition.
#include "common/whole_number.h"

#include <cstdio>

#include <gtest/gtest.h>

#include <limits>

namespace qm {
namespace {

struct ParseCase {
    const char* text;
    std::optional<int32_t> expected;
};

TEST(WholeNumber, ParsesLikeThePlatformConversion) {
    const ParseCase cases[] = {
        {"0", 0},          {"42", 42},           {"0042", 42},        {"  7", 7},
        {"+100", 100},     {"-100", -100},       {"-5", -5},          {"$1F", 31},
        {"0x1f", 31},      {"0X10", 16},         {"$FFFFFFFF", -1},   {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int32_t>::min()},         {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},            {"", std::nullopt},  {"   ", std::nullopt},
        {"+", std::nullopt},  {"-", std::nullopt}, {"abc", std::nullopt}, {"12 ", std::nullopt},
        {"1.5", std::nullopt}, {"$", std::nullopt}, {"0x", std::nullopt}, {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseWholeNumber(c.text), c.expected) << "text: '" << c.text << "'";
    }
    EXPECT_EQ(WholeNumberOrZero("abc"), 0);
}

TEST(WholeNumber, TrimRemovesControlCharactersAndBlanks) {
    EXPECT_EQ(TrimBlanks(" \t 12 \r\n"), "12");
    EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(WholeNumber, SaturatingAddSticksAtTheLimits) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(SaturatingAdd(kMax, 1), kMax);
    EXPECT_EQ(SaturatingAdd(kMin, -1), kMin);
    EXPECT_EQ(SaturatingAdd(kMax, static_cast<int64_t>(kMin)), -1);
    EXPECT_EQ(SaturatingAdd(10000, -10), 9990);
}

// The padded writers against the C library's printf, which they stand in for.
TEST(WholeNumber, PaddedTextMatchesPrintf) {
    const int64_t values[] = {0, 7, -7, 42, 9999, -9999, 10000, 123456, -123456, INT32_MAX, INT32_MIN};
    for (int64_t value : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%5lld", static_cast<long long>(value));
        EXPECT_EQ(SpacePaddedNumber(value, 5), expected) << value;
        std::snprintf(expected, sizeof expected, "%.4lld", static_cast<long long>(value));
        EXPECT_EQ(ZeroPaddedNumber(value, 4), expected) << value;
        std::snprintf(expected, sizeof expected, "%.8x", static_cast<unsigned>(value));
        EXPECT_EQ(HexNumber(static_cast<uint32_t>(value), 8), expected) << value;
        std::snprintf(expected, sizeof expected, "%x", static_cast<unsigned>(value));
        EXPECT_EQ(HexNumber(static_cast<uint32_t>(value), 1), expected) << value;
        std::snprintf(expected, sizeof expected, "%.8X", static_cast<unsigned>(value));
        EXPECT_EQ(HexNumber(static_cast<uint32_t>(value), 8, HexCase::Upper), expected) << value;
    }
    EXPECT_EQ(ZeroPaddedNumber(INT64_MIN, 4), "-9223372036854775808");
}

}  // namespace
}  // namespace qm


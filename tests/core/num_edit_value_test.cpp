// The numeric edit's value rules: reading texts, writing values, clamping, stepping,
// the integer reading and the typing filter.
#include "controls/num_edit_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace qm {
namespace {

constexpr double kErr = -777;  // an error value no test text reads as

NumEditSettings NoLimits() {
    NumEditSettings s;
    s.ErrValue = kErr;
    return s;
}

NumEditSettings EdStepsSettings() {
    NumEditSettings s;
    s.MinValue = 5;
    s.MaxValue = 49;
    s.ErrValue = 7;
    s.Increment = 2;
    s.AlwaysInteger = true;
    return s;
}

struct ReadCase {
    const char* text;
    double expected;
};

TEST(NumEditRead, ReadsTheAcceptedFormAndNothingElse) {
    const ReadCase cases[] = {
        {"1,5", 1.5},     {"1,000", 1},     {" \t12  ", 12},  {"5.", 5},        {".5", 0.5},     {".", 0},
        {"1e3", 1000},    {"1E3", 1000},    {"-2.5e-1", -0.25}, {"+7", 7},      {"-0", 0},       {"0012", 12},
        {"1.2.3", kErr},  {"+", kErr},      {"-", kErr},      {"5-", kErr},     {"", kErr},      {"   ", kErr},
        {"1 2", kErr},    {"1e", kErr},     {"1e+", kErr},    {"abc", kErr},    {"0x10", kErr},  {"1,5,", kErr},
        {"--1", kErr},    {"inf", kErr},    {"nan", kErr},    {"1e400", kErr},  {"-1e400", kErr}, {"1e-400", 0},
        {"1e99999999999999999999", kErr},   {"0e99999999999999999999", 0},
        // The mantissa's digits may all be missing when an exponent follows: nothing times 10^5.
        {"e5", 0},        {"-.E2", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadValue(c.text, NoLimits(), '.').value, c.expected) << "text: '" << c.text << "'";
    }
}

TEST(NumEditRead, LocaleSeparatorAndCommaBothCountAsThePoint) {
    EXPECT_EQ(ReadValue("1,5", NoLimits(), ',').value, 1.5);
    EXPECT_EQ(ReadValue("1.5", NoLimits(), ',').value, 1.5);
    EXPECT_EQ(ReadValue("1;5", NoLimits(), ';').value, 1.5);
    EXPECT_EQ(ReadValue("1,5", NoLimits(), ';').value, 1.5);
}

TEST(NumEditRead, RoundsTheDecimalNumberToTheNearestDouble) {
    // Long digit strings and exponents that cancel are read as one decimal number.
    EXPECT_EQ(ReadValue("0.1", NoLimits(), '.').value, 0.1);
    EXPECT_EQ(ReadValue("3.141592653589793238462643383279", NoLimits(), '.').value, 3.141592653589793);
    EXPECT_EQ(ReadValue("0." + std::string(500, '0') + "1e501", NoLimits(), '.').value, 1);
    EXPECT_EQ(ReadValue("1" + std::string(400, '0') + "e-400", NoLimits(), '.').value, 1);
    EXPECT_EQ(ReadValue("1.7976931348623157e308", NoLimits(), '.').value, std::numeric_limits<double>::max());
}

TEST(NumEditRead, RoundsToExtendedPrecisionFirstThenToDouble) {
    // 1 + 2^-53 is halfway between 1 and the next double, 1 + 3 x 2^-53 halfway above that.
    const ReadCase cases[] = {
        {"1.00000000000000011102230246251565404236316680908203125", 1.0},                  // the tie, to even
        {"1.000000000000000333066907387546962127089500427246093750", 1.0 + 0x1p-51},       // the tie, to even
        // 1 + 2^-53 + 2^-70: extended precision (64 bits) rounds it to the tie, which then
        // goes to the even 1; a single rounding would give the double above.
        {"1.0000000000000001110231494954629083427022351315827108919620513916015625", 1.0},
        // 1 + 2^-53 + 2^-62 is kept by the first rounding, above the tie.
        {"1.00000000000000011123914289701275492916465736925601959228515625", 1.0 + 0x1p-52},
        {"9007199254740993", 0x1p53},                       // 2^53 + 1, a tie
        {"9007199254740993.00000000000000000000000001", 0x1p53},  // within extended precision of the tie
        {"0,000000000000000000000000000001234567890123456789", 1.234567890123456789e-30},
        {"123456789012345678901234567890e-20", 1234567890.1234567890123456789},
        {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},  // the largest subnormal
        {"4.9406564584124654e-324", 0x0.0000000000001p-1022},  // the smallest
        {"2.4703282292062328e-324", 0x0.0000000000001p-1022},  // above half of it
        {"2.4703282292062327e-324", 0.0},                      // below half of it
        {"-1e-400", 0.0},
        {"000000000000000000000000000000000000000000042e-1", 4.2},
        {"1e+0000000000000000000000000000002", 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadValue(c.text, NoLimits(), '.').value, c.expected) << "text: '" << c.text << "'";
    }
}

TEST(NumEditRead, TheIntegerEditsClampAndRoundHalvesToEven) {
    // The steps, increment and exposures-per-step edits as the main window makes them.
    struct Edit {
        double min, max, err;
    };
    const Edit steps{5, 49, 7}, increment{1, 999, 100}, exposures{1, 9, 2};
    const struct {
        Edit edit;
        const char* text;
        int32_t expected;
    } cases[] = {
        {steps, "6.5", 6},         {steps, "7.5", 8},          {steps, "48.5000000000000000000001", 48},
        {steps, "4.9999", 5},      {steps, "1e1", 10},         {steps, "2.5e1", 25},
        {steps, "1e400", 7},       {steps, "-0", 5},           {steps, "7.4999999999999999999", 8},
        {increment, "999.5", 999}, {increment, "100,5", 100},  {increment, "0.5", 1},
        {increment, "1e-400", 1},  {increment, "12e", 100},    {increment, "101.5", 102},
        {exposures, "2.5", 2},     {exposures, "3.5", 4},      {exposures, "9.0000001", 9},
        {exposures, "", 2},        {exposures, ".", 1},        {exposures, "1E0", 1},
    };
    for (const auto& c : cases) {
        NumEditSettings s;
        s.AlwaysInteger = true;
        s.MinValue = c.edit.min;
        s.MaxValue = c.edit.max;
        s.ErrValue = c.edit.err;
        EXPECT_EQ(ValueAsInteger(ReadValue(c.text, s, '.').value), c.expected) << "text: '" << c.text << "'";
    }
}

TEST(NumEditRead, NumbersBeyondTheDoubleRangeAreNotNumbers) {
    // The error value applies and no infinity reaches the integer reading.
    NumEditSettings s = EdStepsSettings();
    s.BeepError = true;
    for (const char* text : {"1e400", "-1e400", "1e309", "2E308", "1.80000001E308", "1e4933"}) {
        NumEditRead read = ReadValue(text, s, '.');
        EXPECT_EQ(read.value, 7) << text;
        EXPECT_TRUE(read.beep) << text;
        EXPECT_EQ(ValueAsInteger(read.value), 7) << text;
    }
    // What the control writes for the largest doubles reads back as the largest double.
    constexpr double kMax = std::numeric_limits<double>::max();
    for (const char* text : {"1.79769313486232E308", "1.8E308", "-1.8E308", "1.797693134862316E308"}) {
        EXPECT_EQ(std::fabs(ReadValue(text, NoLimits(), '.').value), kMax) << text;
    }
}

TEST(NumEditRead, BeepsOnlyForNonEmptyUnreadableTextWithBeepError) {
    NumEditSettings s = EdStepsSettings();
    EXPECT_FALSE(ReadValue("x", s, '.').beep);
    s.BeepError = true;
    EXPECT_TRUE(ReadValue("x", s, '.').beep);
    EXPECT_TRUE(ReadValue(" ", s, '.').beep);  // not empty before trimming
    EXPECT_FALSE(ReadValue("", s, '.').beep);
    EXPECT_FALSE(ReadValue("12", s, '.').beep);
    EXPECT_EQ(ReadValue("", s, '.').value, 7);
}

TEST(NumEditRead, ReadValuesAreClamped) {
    EXPECT_EQ(ReadValue("60", EdStepsSettings(), '.').value, 49);
    EXPECT_EQ(ReadValue("4", EdStepsSettings(), '.').value, 5);
    NumEditSettings s = EdStepsSettings();
    s.ErrValue = 100;  // the error value is clamped as well
    EXPECT_EQ(ReadValue("?", s, '.').value, 49);
}

struct ClampCase {
    double min, max, x, expected;
};

TEST(NumEditClamp, TestsTheLowerLimitFirstAndEqualLimitsMeanNone) {
    const ClampCase cases[] = {
        {0, 0, -1e300, -1e300}, {3, 3, 10, 10}, {5, 49, 4, 5},   {5, 49, 50, 49},
        {5, 49, 5, 5},          {5, 49, 49, 49}, {10, 5, 7, 10}, {10, 5, 12, 5}, {10, 5, 4, 10},
    };
    for (const auto& c : cases) {
        NumEditSettings s;
        s.MinValue = c.min;
        s.MaxValue = c.max;
        EXPECT_EQ(ClampValue(c.x, s), c.expected) << c.min << ".." << c.max << " x=" << c.x;
    }
}

struct WriteCase {
    double value;
    int32_t precision;
    int32_t decimals;
    bool alwaysSign;
    const char* text;
};

TEST(NumEditWrite, FormatsInTheGeneralNumberFormat) {
    const WriteCase cases[] = {
        {1000000, 15, 0, false, "1000000"},  {1234.5, 15, 0, false, "1234.5"},     {0.0001, 15, 0, false, "0.0001"},
        {0.00001, 15, 0, false, "1E-5"},     {0.00001, 6, 0, false, "1E-005"},     {1.5e20, 15, 0, false, "1.5E20"},
        {1.5e20, 6, 0, false, "1.5E020"},    {1234, 3, 0, false, "1.23E003"},      {1234, 4, 0, false, "1234"},
        {0.123, 1, 0, false, "0.12"},        {2.5, 15, 2, false, "2.50"},          {2.125, 15, 2, false, "2.125"},
        {5, 15, 2, true, "+5.00"},           {0, 15, 0, true, "+0"},               {-3, 15, 0, true, "-3"},
        // Beyond the table: zero, negatives, rounding and carries, precision classes.
        {0, 15, 0, false, "0"},              {-0.0, 15, 0, false, "0"},            {-1234.5, 15, 0, false, "-1234.5"},
        {0.1, 15, 0, false, "0.1"},          {1.0 / 3, 15, 0, false, "0.333333333333333"},
        {2.0 / 3, 15, 0, false, "0.666666666666667"},                              {999.96, 4, 0, false, "1000"},
        {99999.5, 5, 0, false, "1E005"},   {0.125, 2, 0, false, "0.13"},         {0.125, 0, 0, false, "0.13"},
        {1234, -1, 0, false, "1234"},        {1e15, 15, 0, false, "1E15"},         {1e14, 15, 0, false, "100000000000000"},
        {123456789012345678.0, 20, 0, false, "1.23456789012346E17"},               {1e-300, 15, 0, false, "1E-300"},
        {5e-324, 15, 0, false, "4.94065645841247E-324"},                            {0.001, 15, 0, false, "0.001"},
        {0.00012345, 3, 0, false, "0.000123"},  {7, 15, 3, false, "7.000"},         {-0.5, 15, 2, false, "-0.50"},
        {1.5e20, 15, 2, false, "1.5E20"},    {0.00001, 15, 3, false, "1E-5"},      {-2, 15, 1, true, "-2.0"},
    };
    for (const auto& c : cases) {
        NumEditSettings s;
        s.Precision = c.precision;
        s.Decimals = c.decimals;
        s.AlwaysSign = c.alwaysSign;
        EXPECT_EQ(FormatValue(c.value, s, '.'), c.text)
            << "value " << c.value << " precision " << c.precision << " decimals " << c.decimals;
    }
}

TEST(NumEditWrite, RoundsHalfUpOnTheExactDecimalExpansion) {
    // 0.15 is 0.1499999999999999944... and 0.35 is 0.34999999999999997779...: neither is a
    // half. 2.675 is below the half too; 0.375 and 1.5 are exact halves and go up.
    EXPECT_EQ(FormatGeneral(0.15, 1, 3, '.'), "0.1");
    EXPECT_EQ(FormatGeneral(0.35, 1, 3, '.'), "0.3");
    EXPECT_EQ(FormatGeneral(2.675, 3, 3, '.'), "2.67");
    EXPECT_EQ(FormatGeneral(0.375, 2, 3, '.'), "0.38");
    EXPECT_EQ(FormatGeneral(-1.5, 1, 3, '.'), "-2");
    // A long run of nines beyond the kept digit must not carry into it.
    EXPECT_EQ(FormatGeneral(1.4999999999999998, 2, 3, '.'), "1.5");
    EXPECT_EQ(FormatGeneral(1.4999999999999998, 1, 3, '.'), "1");
}

TEST(NumEditWrite, UsesTheLocaleSeparatorAndItsDecimalsRules) {
    NumEditSettings s;
    EXPECT_EQ(FormatValue(1234.5, s, ','), "1234,5");
    s.Decimals = 2;
    EXPECT_EQ(FormatValue(2.5, s, ','), "2,50");
    EXPECT_EQ(FormatValue(3, s, ','), "3,00");
    EXPECT_EQ(FormatValue(0.00012, s, ','), "0,00012");
}

TEST(NumEditWrite, NeverWritesInfinityOrNaN) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    NumEditSettings s = NoLimits();
    EXPECT_EQ(FormatValue(kInf, s, '.'), "1.79769313486232E308");
    EXPECT_EQ(FormatValue(-kInf, s, '.'), "-1.79769313486232E308");
    EXPECT_EQ(FormatValue(std::nan(""), s, '.'), "-777");
    EXPECT_EQ(FormatValue(kInf, EdStepsSettings(), '.'), "49");
    s.Precision = 3;
    EXPECT_EQ(FormatValue(kInf, s, '.'), "1.8E308");
}

TEST(NumEditWrite, InvertedLimitsClampToTheLowerLimitFirst) {
    NumEditSettings s;
    s.MinValue = 10;
    s.MaxValue = 5;
    EXPECT_EQ(FormatValue(7, s, '.'), "10");
    EXPECT_EQ(FormatValue(12, s, '.'), "5");
}

TEST(NumEditWrite, WrittenValuesReadBackAsTheSameNumber) {
    NumEditSettings s = NoLimits();
    int checked = 0;
    for (int exponent = -300; exponent <= 300; exponent += 7) {
        for (double mantissa : {1.0, 1.5, 2.25, 3.14159265358979, 9.99999999999999, 7.0710678118654}) {
            const double value = std::stod(std::to_string(mantissa) + "e" + std::to_string(exponent));
            for (double v : {value, -value}) {
                const std::string text = FormatValue(v, s, ',');
                EXPECT_EQ(ReadValue(text, s, ',').value, v) << text;
                ++checked;
            }
        }
    }
    for (int i = -2000; i <= 2000; ++i) {
        const double v = i / 8.0;
        EXPECT_EQ(ReadValue(FormatValue(v, s, '.'), s, '.').value, v);
    }
    for (double v : {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 0.1, 1e-5}) {
        for (int32_t precision : {1, 3, 8, 15}) {
            s.Precision = precision;
            EXPECT_NE(ReadValue(FormatValue(v, s, '.'), s, '.').value, kErr) << v << " precision " << precision;
        }
    }
    EXPECT_GT(checked, 1000);
}

struct StepCase {
    const char* text;
    int32_t multiplier;
    bool up;
    const char* expected;
};

TEST(NumEditStep, StepsTheReadValueAndClampsTheResult) {
    const StepCase cases[] = {
        {"7", 1, true, "9"},   {"49", 1, true, "49"}, {"6", 1, false, "5"}, {"", 1, true, "9"},
        {"60", 1, false, "47"}, {"7", 3, true, "13"}, {"7", 0, true, "7"}, {"20", -2, true, "16"},
        {"x", 1, false, "5"},
    };
    for (const auto& c : cases) {
        NumEditStep step = StepValue(c.text, EdStepsSettings(), '.', c.multiplier, c.up);
        ASSERT_TRUE(step.text) << c.text;
        EXPECT_EQ(*step.text, c.expected) << c.text << " x" << c.multiplier << (c.up ? " up" : " down");
        EXPECT_FALSE(step.beep);
    }
}

TEST(NumEditStep, SumsOnceAtExtendedPrecision) {
    NumEditSettings s;
    s.Increment = 0.1;
    // 0.1 + 0.2 would be 0.30000000000000004 in double arithmetic; one rounding of the
    // extended sum gives the same double, and its 15-digit text is 0.3.
    EXPECT_EQ(*StepValue("0.2", s, '.', 1, true).text, "0.3");
    EXPECT_EQ(*StepValue("0", s, '.', 1, false).text, "-0.1");
    EXPECT_EQ(*StepValue("1e308", s, '.', 2147483647, true).text, "1E308");
    s.Increment = 1e308;
    EXPECT_EQ(*StepValue("1.5e308", s, '.', 1, true).text, "1.79769313486232E308");
    EXPECT_EQ(*StepValue("-1.5e308", s, '.', 1, false).text, "-1.79769313486232E308");
}

TEST(NumEditStep, ReadOnlyBeepsAndKeepsTheText) {
    NumEditSettings s = EdStepsSettings();
    s.ReadOnly = true;
    NumEditStep step = StepValue("7", s, '.', 1, true);
    EXPECT_FALSE(step.text);
    EXPECT_TRUE(step.beep);
    s.ReadOnly = false;
    s.BeepError = true;
    step = StepValue("abc", s, '.', 1, true);
    EXPECT_EQ(*step.text, "9");
    EXPECT_TRUE(step.beep);
}

TEST(NumEditInteger, LimitsAndRoundsHalvesToEven) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::pair<double, int32_t> cases[] = {
        {2.5, 2},           {-2.5, -2},          {3.5, 4},           {-3.5, -4},          {0.5, 0},
        {-0.5, 0},          {1.4999, 1},         {1.5001, 2},        {-1.5001, -2},       {0, 0},
        {2147483646.5, 2147483646},              {2147483647.0, 2147483647},              {3e9, 2147483647},
        {-2147483646.5, -2147483646},            {-2147483648.0, -2147483647},            {-1e300, -2147483647},
        {kInf, 2147483647}, {-kInf, -2147483647}, {std::nan(""), 0},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(ValueAsInteger(value), expected) << value;
}

TEST(NumEditFilter, AcceptsSignsDigitsSeparatorsAndControlCharacters) {
    NumEditSettings plain;
    NumEditSettings integer;
    integer.AlwaysInteger = true;
    NumEditSettings locked;
    locked.EditorEnabled = false;
    struct FilterCase {
        char ch;
        bool plain, integer, locked;
    };
    const FilterCase cases[] = {
        {'0', true, true, false},   {'9', true, true, false},    {'+', true, true, false},  {'-', true, true, false},
        {'.', true, false, false},  {',', true, false, false},   {';', true, false, false},  // ';' is the locale's
        {'e', false, false, false}, {'E', false, false, false},  {' ', false, false, false}, {'a', false, false, false},
        {'\b', true, true, false},  {'\r', false, false, false}, {'\x03', true, true, true},  {'\x16', true, true, true},
        {'\t', true, true, true},   {'\x1f', true, true, true},  {'\x7f', false, false, false},
        {static_cast<char>(0xB7), false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AcceptsNumEditChar(c.ch, plain, ';'), c.plain) << int(c.ch);
        EXPECT_EQ(AcceptsNumEditChar(c.ch, integer, ';'), c.integer) << int(c.ch);
        EXPECT_EQ(AcceptsNumEditChar(c.ch, locked, ';'), c.locked) << int(c.ch);
    }
}

}  // namespace
}  // namespace qm

// A driver that answers Position, MaxStep, Absolute or IsMoving with text: the text is
// read as one number (blanks around it allowed, decimal or hexadecimal as the C library
// reads it, the nearest double) and converted as a number of that kind would be.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "com/late_bound.h"

namespace qm {
namespace {

std::optional<int32_t> AsInteger(const std::string& text) {
    try {
        return ToInt32(AutoValue::Text(text));
    } catch (const AutomationError&) {
        return std::nullopt;
    }
}

std::optional<bool> AsBoolean(const std::string& text) {
    try {
        return ToBool(AutoValue::Text(text));
    } catch (const AutomationError&) {
        return std::nullopt;
    }
}

TEST(DriverTextAnswer, NumbersInEveryFormReadAsIntegers) {
    const struct {
        const char* text;
        std::optional<int32_t> expected;
    } cases[] = {
        {"1500", 1500},
        {" \t1500\r\n", 1500},
        {"+7", 7},
        {"-12", -12},
        {"007", 7},
        {"12.5", 12},  // halves to even
        {"13.5", 14},
        {"-2.5", -2},
        {".5", 0},
        {"5.", 5},
        {"1.25e3", 1250},
        {"1E3", 1000},
        {"25e-1", 2},
        {"0x1A", 26},
        {"-0x1.8p3", -12},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483647.4999", 2147483647},
        {"12.50000000000000000000001", 12},  // read as the nearest double, 12.5
        {"1e-400", 0},
        {"2147483648", std::nullopt},  // does not fit
        {"1e400", std::nullopt},       // not finite
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"1,5", std::nullopt},  // the C locale: a comma is not a decimal point
        {"1 000", std::nullopt},
        {"12 steps", std::nullopt},
        {"1e", std::nullopt},
        {"0x", std::nullopt},
        {"--5", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AsInteger(c.text), c.expected) << "text: '" << c.text << "'";
    }
    EXPECT_EQ(AsInteger(std::string("5\0"
                                    "1",
                                    3)),
              std::nullopt)
        << "a NUL inside the text";
}

TEST(DriverTextAnswer, WordsAndNumbersReadAsBooleans) {
    const struct {
        const char* text;
        std::optional<bool> expected;
    } cases[] = {
        {"True", true},     {" FALSE ", false},    {"true", true},        {"1", true},   {"0", false},
        {"-0.0", false},    {"0x0p5", false},      {"1e-320", true},      {"0.5", true}, {"yes", std::nullopt},
        {"", std::nullopt}, {"inf", std::nullopt}, {"1,0", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AsBoolean(c.text), c.expected) << "text: '" << c.text << "'";
    }
}

}  // namespace
}  // namespace qm

// Decimal text of numbers for the run record and its page, written without the
// standard library's floating-point conversions (std::to_chars for double links tables
// that would double the size of the program), and the one pattern writer through which
// the record and its page append their text: a call of it is far shorter code than a
// chain of std::string appends.
#pragma once

#include <cstddef>
#include <string>

namespace qm {

// Appends `value` with exactly `decimals` (0 to 9) digits after the point: value x
// 10^decimals rounded to a whole number, halves to even (the product is itself rounded,
// so 0.35 to one decimal gives 0.4; plenty for a record and its plots). With `trim`, the
// fraction's trailing zeros and a bare point are left off. Appends nothing and returns
// false when the value is not finite or too large to round exactly (|value| x
// 10^decimals of 2^53 or more).
bool AppendDecimal(std::string& out, double value, int decimals, bool trim);

// One argument of AppendPattern: a number (any arithmetic value, taken as a double) or a
// text. Built only by AppendPattern's template, so a wrong type does not compile.
struct PatternArgument {
    PatternArgument(double value) : number(value) {}
    PatternArgument(const char* value) : text(value) {}
    double number = 0;
    const char* text = nullptr;
};

// Appends `pattern` with its marks replaced, in order, by the arguments: '~' a number to
// one decimal, '^' a number to none (each "-" when it cannot be written), '%' a number to
// at most four decimals or "null", '`' a text as it is. A mark without an argument left
// (or with an argument of the other kind) appends nothing. One out-of-line writer keeps
// each call far shorter than a chain of std::string appends.
void AppendPatternArguments(std::string& out, const char* pattern, const PatternArgument* arguments, size_t count);

template <typename... Arguments>
void AppendPattern(std::string& out, const char* pattern, Arguments... arguments) {
    const PatternArgument list[] = {PatternArgument(arguments)..., PatternArgument(0.0)};
    AppendPatternArguments(out, pattern, list, sizeof...(Arguments));
}

}  // namespace qm

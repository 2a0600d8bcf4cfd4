// Decimal text of numbers for the run record and its page, written without the
// standard library's floating-point conversions (std::to_chars for double links tables
// that would double the size of the program), the escaping of texts inside a JSON
// string, and the one pattern writer through which the record and its page append
// their text: a call of it is far shorter code than a chain of std::string appends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace qm {

// Appends `value` with exactly `decimals` (0 to 9) digits after the point: value x
// 10^decimals rounded to a whole number, halves to even (the product is itself rounded,
// so 0.35 to one decimal gives 0.4; plenty for a record and its plots). With `trim`, the
// fraction's trailing zeros and a bare point are left off. Appends nothing and returns
// false when the value is not finite or too large to round exactly (|value| x
// 10^decimals of 2^53 or more).
bool AppendDecimal(std::string& out, double value, int decimals, bool trim);

// Appends each of `values` as a whole number, with `separator` between them, and then
// `end`, which closes the list.
void AppendWholeNumbers(std::string& out, const std::vector<int32_t>& values, const char* separator, const char* end);

// One argument of AppendPattern: a number (any arithmetic value, taken as a double), a
// text, or a string to escape, passed by its address. The kind of each argument travels
// beside the list as two bits of one word, worked out from the arguments' types when the
// call is compiled: the first argument's in the lowest bits, and 0 where the list ends,
// so the word also tells how many there are.
union PatternArgument {
    double number;
    const char* text;
    const std::string* string;
};
inline constexpr uint32_t kPatternNumber = 1, kPatternText = 2, kPatternString = 3;

// Appends `pattern` with its marks replaced, in order, by the arguments: '~' a number to
// one decimal, '^' a number to none (each "-" when it cannot be written), '%' a number to
// at most four decimals or "null", '`' a text as it is (nothing for a null one), '$' a
// string as the inside of a JSON string (see AppendJsonText). A mark without an argument
// left (or with an argument of another kind) appends nothing. One out-of-line writer
// keeps each call far shorter than a chain of std::string appends.
void AppendPatternArguments(std::string& out, const char* pattern, const PatternArgument* arguments, uint32_t kinds);

// Appends `text` as the inside of a JSON string: quote, backslash and control characters
// escaped, and bytes that are not valid UTF-8 taken as Latin-1 and escaped, so that the
// line stays valid JSON whatever text it is given.
void AppendJsonText(std::string& out, const std::string& text);

// A pattern without marks to fill (its marks then append nothing).
void AppendPattern(std::string& out, const char* pattern);

inline PatternArgument MakePatternArgument(double number) {
    PatternArgument argument;
    argument.number = number;
    return argument;
}
inline PatternArgument MakePatternArgument(const char* text) {
    PatternArgument argument;
    argument.text = text;
    return argument;
}
inline PatternArgument MakePatternArgument(const std::string* string) {
    PatternArgument argument;
    argument.string = string;
    return argument;
}

template <typename Argument>
constexpr uint32_t PatternKind() {
    if constexpr (std::is_arithmetic_v<Argument>)
        return kPatternNumber;
    else if constexpr (std::is_convertible_v<Argument, const std::string*>)
        return kPatternString;
    else
        return kPatternText;
}

// Only numbers, texts and string addresses compile as arguments.
template <typename... Arguments>
void AppendPattern(std::string& out, const char* pattern, Arguments... arguments) {
    static_assert(((std::is_arithmetic_v<Arguments> || std::is_convertible_v<Arguments, const char*> ||
                    std::is_convertible_v<Arguments, const std::string*>)&&...),
                  "AppendPattern takes numbers, texts and string addresses");
    static_assert(sizeof...(Arguments) <= 16);
    const PatternArgument list[] = {MakePatternArgument(arguments)...};
    uint32_t kinds = 0, shift = 0;
    ((kinds |= PatternKind<Arguments>() << shift, shift += 2), ...);
    AppendPatternArguments(out, pattern, list, kinds);
}

}  // namespace qm

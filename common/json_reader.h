// A small reader of JSON text into a tree of values, for lines written by programs
// other than this one's own writer (a newer version of this program, another tool):
// any member order, blanks, every escape, numbers in any JSON form. It tells a text that
// is valid JSON so far but stops early (a line cut short) from one that is not JSON.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    // An array's items, or an object's member values with their names in `names`.
    std::vector<JsonValue> items;
    std::vector<std::string> names;

    // The object's member `name` (the last one of that name); null when there is none or
    // this is no object.
    const JsonValue* Member(std::string_view name) const;
    // The value as a whole number in [lowest, highest]; nothing for any other value.
    std::optional<long long> Whole(long long lowest, long long highest) const;
};

enum class JsonRead {
    Value,     // one JSON value and nothing after it but blanks
    CutShort,  // valid as far as it goes, but the text ends before the value does
    NotJson,
};

// Reads `text` into `value`. Nesting deeper than kJsonMostDepth is refused as not JSON.
inline constexpr size_t kJsonMostDepth = 64;
JsonRead ReadJson(std::string_view text, JsonValue& value);

}  // namespace qm

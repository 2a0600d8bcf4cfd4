// Result conversions of late-bound calls.
#include "com/late_bound.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "common/whole_number.h"

namespace qm {

namespace {

std::string KindName(const AutoValue& v) {
    switch (v.kind()) {
        case AutoValue::Kind::Empty: return "Empty";
        case AutoValue::Kind::Bool: return "Boolean";
        case AutoValue::Kind::Int: return "Integer";
        case AutoValue::Kind::Real: return "Double";
        case AutoValue::Kind::Text: return "OleStr";
        case AutoValue::Kind::Int32Ref: return "Integer reference";
        case AutoValue::Kind::Other: return v.text();
    }
    return "Unknown";
}

[[noreturn]] void CannotConvert(const AutoValue& v, const char* to) {
    throw AutomationError("Could not convert variant of type (" + KindName(v) + ") into type (" + to + ")");
}

// A driver's text answer as a number: blanks around it allowed, the rest one number as
// strtod reads it (decimal or hexadecimal, the nearest double), and finite. strtod reads
// by the C locale's decimal point: the program never sets another locale.
std::optional<double> ParseReal(const std::string& s) {
    const std::string text(TrimBlanks(s));
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

bool ToBool(const AutoValue& v) {
    switch (v.kind()) {
        case AutoValue::Kind::Empty: return false;
        case AutoValue::Kind::Bool: return v.boolValue();
        case AutoValue::Kind::Int: return v.intValue() != 0;
        case AutoValue::Kind::Real: return v.realValue() != 0;
        case AutoValue::Kind::Text: {
            std::string_view t = TrimBlanks(v.text());
            std::string lower;
            for (char c : t) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower == "true") return true;
            if (lower == "false") return false;
            if (auto d = ParseReal(v.text())) return *d != 0;
            break;
        }
        default: break;
    }
    CannotConvert(v, "Boolean");
}

int32_t ToInt32(const AutoValue& v) {
    auto fromReal = [&](double d) -> int32_t {
        if (!std::isfinite(d)) CannotConvert(v, "Integer");
        double r = std::nearbyint(d);  // default rounding mode: to nearest, halves to even
        if (r < -2147483648.0 || r > 2147483647.0) throw AutomationError("Invalid variant operation: value out of range for Integer");
        return static_cast<int32_t>(r);
    };
    switch (v.kind()) {
        case AutoValue::Kind::Empty: return 0;
        case AutoValue::Kind::Bool: return v.boolValue() ? -1 : 0;
        case AutoValue::Kind::Int:
            if (v.intValue() < std::numeric_limits<int32_t>::min() || v.intValue() > std::numeric_limits<int32_t>::max())
                throw AutomationError("Invalid variant operation: value out of range for Integer");
            return static_cast<int32_t>(v.intValue());
        case AutoValue::Kind::Real: return fromReal(v.realValue());
        case AutoValue::Kind::Text:
            if (auto d = ParseReal(v.text())) return fromReal(*d);
            break;
        default: break;
    }
    CannotConvert(v, "Integer");
}

std::string ToText(const AutoValue& v) {
    switch (v.kind()) {
        case AutoValue::Kind::Empty: return {};
        case AutoValue::Kind::Text: return v.text();
        case AutoValue::Kind::Bool: return v.boolValue() ? "True" : "False";
        case AutoValue::Kind::Int: return std::to_string(v.intValue());
        default: break;
    }
    CannotConvert(v, "String");
}

}  // namespace qm

// The numeric edit's value rules under arbitrary input: the input lays out the edit's
// settings (precision, decimals, sign, limits, error value, increment, separator), a
// number to write and a text to read. The check asks that reading always gives a finite
// number inside the limits, that every written text reads as a number, and that writing
// is stable: the number read back from a written text writes the same text again and
// reads back as itself. With 15 or more digits the read-back lies within half a unit of
// the fifteenth digit of the number written; 15 digits cannot tell every pair of doubles
// apart, so an exact read-back of any double is not a property of the format.
//
// Shared by the libFuzzer target and by the regression cases of the unit tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "controls/num_edit_value.h"
#include "tests/fuzz/byte_reader.h"

namespace qm::fuzz {

namespace num_edit_check {

// A double of the kinds that matter to the format: small whole numbers, decimals,
// powers of ten, the ends of the range and any bit pattern. Finite unless `anyDouble`.
inline double Number(ByteReader& in, bool anyDouble) {
    constexpr double kMax = std::numeric_limits<double>::max();
    constexpr double kSpecial[] = {0.0,       -0.0,   0.5,          2.5,           1e15,   999999999999999.0,
                                   0.1 + 0.2, 1e-5,   kMax,         -kMax,         5e-324, 2.2250738585072014e-308,
                                   1e308,     1.5e20, 2147483647.5, -2147483647.5, 9.5};
    double d = 0;
    switch (in.Byte() % 8) {
        case 0:
            d = static_cast<double>(in.InRange(-1000, 1000));
            break;
        case 1:
            d = static_cast<double>(in.I32()) / 100.0;
            break;
        case 2:
            d = static_cast<double>(in.I16()) * std::pow(10.0, static_cast<double>(in.InRange(-330, 310)));
            break;
        case 3:
            d = kSpecial[in.InRange(0, sizeof kSpecial / sizeof kSpecial[0] - 1)];
            break;
        case 4:
            d = in.Bool() ? -kSpecial[in.InRange(0, 5)] : std::nextafter(kSpecial[in.InRange(0, 16)], 0.0);
            break;
        default:
            d = in.RawDouble();
            break;
    }
    if (!anyDouble && !std::isfinite(d))
        d = 0;
    return d;
}

inline NumEditSettings Settings(ByteReader& in) {
    NumEditSettings s;
    const uint8_t flags = in.Byte();
    s.AlwaysSign = (flags & 1) != 0;
    s.AlwaysInteger = (flags & 2) != 0;
    s.EditorEnabled = (flags & 4) == 0;
    s.BeepError = (flags & 8) != 0;
    s.ReadOnly = (flags & 16) != 0;
    s.Precision = (flags & 32) ? in.I32() : static_cast<int32_t>(in.InRange(-2, 20));
    s.Decimals = (flags & 64) ? -static_cast<int32_t>(in.InRange(0, 1000000)) : static_cast<int32_t>(in.InRange(0, 30));
    if (flags & 128) {
        s.MinValue = Number(in, false);
        s.MaxValue = Number(in, false);
    }
    s.ErrValue = Number(in, false);
    s.Increment = Number(in, true);
    return s;
}

inline bool SameNumber(double a, double b) {
    return a == b;  // 0 and -0 are the same number to the edit
}

}  // namespace num_edit_check

// Returns an empty text when every invariant holds, else what broke.
inline std::string CheckNumEdit(const uint8_t* data, size_t size) {
    using namespace num_edit_check;
    ByteReader in(data, size);
    const NumEditSettings s = Settings(in);
    const char separator = in.Bool() ? ',' : '.';
    const double x = Number(in, true);
    const int32_t multiplier = in.Bool() ? in.I32() : static_cast<int32_t>(in.InRange(-3, 9));
    const bool up = in.Bool();
    const std::string text = in.Rest();
    const bool limited = s.MinValue != s.MaxValue;
    const bool ordered = s.MinValue <= s.MaxValue;

    auto withinLimits = [&](double v) {
        if (!limited)
            return true;
        if (ordered)
            return v >= s.MinValue && v <= s.MaxValue;
        return v == s.MinValue || v == s.MaxValue;  // crossed limits give one of the two
    };

    // Reading any text.
    const std::optional<double> parsed = ParseNumEditNumber(text, separator);
    if (parsed && !std::isfinite(*parsed))
        return "a text read as a number that is not finite";
    const NumEditRead read = ReadValue(text, s, separator);
    if (!std::isfinite(read.value))
        return "a text read as a value that is not finite";
    if (!withinLimits(read.value))
        return "a text read as a value outside the limits";
    if (read.beep != (s.BeepError && !text.empty() && !parsed))
        return "the beep on reading is wrong";
    const int32_t whole = ValueAsInteger(read.value);
    if (whole < -2147483647)
        return "AsInteger below -2147483647";
    if (std::fabs(read.value) < 2147483647.0 && std::fabs(static_cast<double>(whole) - read.value) > 0.5)
        return "AsInteger is not the nearest integer";

    // Writing any number.
    const std::string written = FormatValue(x, s, separator);
    const std::optional<double> back = ParseNumEditNumber(written, separator);
    if (!back)
        return "a written text does not read as a number: " + written;
    const double r1 = ReadValue(written, s, separator).value;
    if (!std::isfinite(r1))
        return "a written text reads as a value that is not finite";

    // Subnormal numbers carry fewer significant digits than the text gives them, so the
    // nearest double to a written text may write differently: stability needs normal numbers.
    const bool normal = r1 == 0 || std::fabs(r1) >= std::numeric_limits<double>::min();
    if ((ordered || !limited) && normal) {
        // Writing is stable: what a written text reads as writes the same text and reads back as itself.
        const std::string again = FormatValue(r1, s, separator);
        if (again != written)
            return "writing the read-back of \"" + written + "\" gives \"" + again + "\"";
        if (!SameNumber(ReadValue(again, s, separator).value, r1))
            return "a read-back value does not read back as itself";
    }
    if ((ordered || !limited) && s.Precision >= 15 && std::isfinite(x)) {
        // Half a unit of the fifteenth digit, and the rounding of the read to a double.
        const double v = ClampValue(x, s);
        const double tolerance = std::fabs(v) * 5.2e-15 + std::numeric_limits<double>::denorm_min();
        if (!(std::fabs(r1 - v) <= tolerance))
            return "a value written with 15 digits reads back too far off: " + written;
    }

    // Stepping.
    const NumEditStep step = StepValue(text, s, separator, multiplier, up);
    if (s.ReadOnly) {
        if (step.text || !step.beep)
            return "a step of a read-only edit changed the text or did not beep";
    } else {
        if (!step.text)
            return "a step gave no text";
        if (!ParseNumEditNumber(*step.text, separator))
            return "a stepped text does not read as a number";
        const double stepped = ReadValue(*step.text, s, separator).value;
        if (!std::isfinite(stepped) || !withinLimits(stepped))
            return "a stepped value is not finite or not within the limits";
    }

    // The typing filter never lets Enter through, nor printable characters into a disabled editor.
    for (char c : text) {
        const bool accepted = AcceptsNumEditChar(c, s, separator);
        if (accepted && c == '\r')
            return "Enter was accepted as a character";
        if (accepted && !s.EditorEnabled && (static_cast<unsigned char>(c) >= 32 || c == '\b'))
            return "a disabled editor accepted a character";
    }
    return {};
}

}  // namespace qm::fuzz

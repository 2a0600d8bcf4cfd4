// Reads "autofocus-options.ini": lines "key = value", blank lines and lines starting
// with ';' skipped, keys and values compared without regard to case. A line that
// cannot be used changes nothing and is reported with the reason. The keys and their
// values are one table.
#include "record/run_options.h"

#include <optional>
#include <string>

#include "record/text_encoding.h"

namespace qm {
namespace {

// Each key with its two values, the first setting the option off (or to the three-point
// rule, or the fixed row), the second on (or to the fit, or the extended row), and the
// fault of any other value.
struct OptionKey {
    std::string_view name;
    std::string_view values[2];
    OptionLineFault unknownValue;
};
constexpr OptionKey kKeys[] = {
    {"best-focus", {"three-point", "fit"}, OptionLineFault::UnknownBestFocus},
    {"curve-check", {"off", "on"}, OptionLineFault::UnknownCurveCheck},
    {"run-record", {"off", "on"}, OptionLineFault::UnknownRunRecord},
    {"sweep", {"fixed", "extend"}, OptionLineFault::UnknownSweep},
};
constexpr int kKeyCount = 4;

// Space, tab, LF, VT, FF and CR: the blanks of the C locale's isspace.
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Whether the text [first, last) is `lower` (written in lower case) without regard to
// case. Only ASCII letters have a case here, as in the C locale the program runs in.
bool SameIgnoringCase(const char* first, const char* last, std::string_view lower) {
    if (static_cast<size_t>(last - first) != lower.size())
        return false;
    for (char l : lower) {
        char c = *first++;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != l)
            return false;
    }
    return true;
}

// Applies one "key = value" line, [first, last) without its blanks, noting for each key
// whether its second value was chosen; what was wrong with the line, or nothing when it
// was used.
std::optional<OptionLineFault> ApplyLine(const char* first, const char* last, bool (&second)[kKeyCount]) {
    const char* equals = first;
    while (equals != last && *equals != '=')
        ++equals;
    if (equals == last)
        return OptionLineFault::NoEquals;
    // The line has no blanks at its ends, so the key has none before it, the value none after it.
    const char* keyLast = equals;
    while (keyLast != first && IsBlank(keyLast[-1]))
        --keyLast;
    if (keyLast == first)
        return OptionLineFault::NoKey;
    const char* valueFirst = equals + 1;
    while (valueFirst != last && IsBlank(*valueFirst))
        ++valueFirst;
    for (int key = 0; key < kKeyCount; ++key) {
        if (!SameIgnoringCase(first, keyLast, kKeys[key].name))
            continue;
        for (int value = 0; value < 2; ++value) {
            if (SameIgnoringCase(valueFirst, last, kKeys[key].values[value])) {
                second[key] = value == 1;
                return std::nullopt;
            }
        }
        return kKeys[key].unknownValue;
    }
    return OptionLineFault::UnknownKey;
}

}  // namespace

RunOptions ParseRunOptions(std::string_view fileBytes, RejectedOptionLines* rejected) {
    // As an editor saved it: a byte-order mark is no part of the first key, and a file
    // saved as UTF-16 holds the same lines.
    const std::string fileText = TextAsUtf8(fileBytes);
    bool second[kKeyCount] = {};  // the first value of each key is its default
    const char* at = fileText.data();
    const char* const end = at + fileText.size();
    for (int lineNumber = 1; at != end; ++lineNumber) {
        const char* first = at;
        const char* last = at;
        while (last != end && *last != '\n')
            ++last;
        at = last == end ? end : last + 1;
        while (first != last && IsBlank(*first))
            ++first;
        while (first != last && IsBlank(last[-1]))
            --last;
        if (first == last || *first == ';')
            continue;
        const std::optional<OptionLineFault> fault = ApplyLine(first, last, second);
        if (fault && rejected)
            rejected->Add(lineNumber, std::string_view(first, static_cast<size_t>(last - first)), *fault);
    }
    RunOptions options;
    options.bestFocus = second[0] ? BestFocusMethod::Fit : BestFocusMethod::ThreePoint;
    options.curveCheck = second[1];
    options.runRecord = second[2];
    options.sweep = second[3] ? SweepMode::Extend : SweepMode::Fixed;
    return options;
}

}  // namespace qm

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

// Each key with its two values, the first the option's default (off, the three-point
// rule, the fixed row), the second the other choice (on, the fit, the extended row); the
// option each sets, and the fault of any other value.
struct OptionKey {
    std::string_view name;
    std::string_view values[2];
    void (*set)(RunOptions& options, bool second);
    OptionLineFault unknownValue;
};
constexpr OptionKey kKeys[] = {
    {"best-focus",
     {"three-point", "fit"},
     [](RunOptions& o, bool fit) { o.bestFocus = fit ? BestFocusMethod::Fit : BestFocusMethod::ThreePoint; },
     OptionLineFault::UnknownBestFocus},
    {"curve-check",
     {"off", "on"},
     [](RunOptions& o, bool on) { o.curveCheck = on; },
     OptionLineFault::UnknownCurveCheck},
    {"run-record", {"off", "on"}, [](RunOptions& o, bool on) { o.runRecord = on; }, OptionLineFault::UnknownRunRecord},
    {"sweep",
     {"fixed", "extend"},
     [](RunOptions& o, bool extend) { o.sweep = extend ? SweepMode::Extend : SweepMode::Fixed; },
     OptionLineFault::UnknownSweep},
};

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

// Applies one "key = value" line, [first, last) without its blanks, to `options`; what
// was wrong with the line, or nothing when it was used.
std::optional<OptionLineFault> ApplyLine(const char* first, const char* last, RunOptions& options) {
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
    for (const OptionKey& key : kKeys) {
        if (!SameIgnoringCase(first, keyLast, key.name))
            continue;
        for (int value = 0; value < 2; ++value) {
            if (SameIgnoringCase(valueFirst, last, key.values[value])) {
                key.set(options, value == 1);
                return std::nullopt;
            }
        }
        return key.unknownValue;
    }
    return OptionLineFault::UnknownKey;
}

}  // namespace

RunOptions ParseRunOptions(std::string_view fileBytes, RejectedOptionLines* rejected) {
    // As an editor saved it: a byte-order mark is no part of the first key, and a file
    // saved as UTF-16 holds the same lines.
    const std::string fileText = TextAsUtf8(fileBytes);
    RunOptions options;  // the first value of each key is its default
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
        const std::optional<OptionLineFault> fault = ApplyLine(first, last, options);
        if (fault && rejected)
            rejected->Add(lineNumber, std::string_view(first, static_cast<size_t>(last - first)), *fault);
    }
    return options;
}

}  // namespace qm

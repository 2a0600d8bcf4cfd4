// Reads "autofocus-options.ini": lines "key = value", blank lines and lines starting
// with ';' skipped, keys and values compared without regard to case. A line that
// cannot be used changes nothing and is reported with the reason. The keys and their
// values are one table, compared in place: no lower-case copies of the text are made.
#include "app/run_options.h"

#include <cctype>

namespace qm {
namespace {

// Each key with its two values, the first setting the option off (or to the three-point
// rule), the second on (or to the fit), and the reason given for any other value.
struct OptionKey {
    const char* name;
    const char* values[2];
    const char* unknownValue;
};
constexpr OptionKey kKeys[] = {
    {"best-focus", {"three-point", "fit"}, "unknown value for best-focus (three-point or fit)"},
    {"curve-check", {"off", "on"}, "unknown value for curve-check (off or on)"},
    {"run-record", {"off", "on"}, "unknown value for run-record (off or on)"},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view Trim(const char* first, const char* last) {
    while (first != last && IsBlank(*first))
        ++first;
    while (first != last && IsBlank(last[-1]))
        --last;
    return std::string_view(first, static_cast<size_t>(last - first));
}

// Whether `text` is `lower` (written in lower case) without regard to case.
bool SameIgnoringCase(std::string_view text, const char* lower) {
    for (char c : text) {
        if (*lower == 0 || std::tolower(static_cast<unsigned char>(c)) != *lower)
            return false;
        ++lower;
    }
    return *lower == 0;
}

// Applies one "key = value" line; the reason it was refused, or null when it was used.
const char* ApplyLine(std::string_view line, RunOptions& options) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return "no '=' between a key and a value";
    const char* const text = line.data();
    const std::string_view key = Trim(text, text + equals);
    const std::string_view value = Trim(text + equals + 1, text + line.size());
    if (key.empty())
        return "no key before '='";
    for (const OptionKey& k : kKeys) {
        if (!SameIgnoringCase(key, k.name))
            continue;
        for (int second = 0; second < 2; ++second) {
            if (!SameIgnoringCase(value, k.values[second]))
                continue;
            if (&k == kKeys)
                options.bestFocus = second ? BestFocusMethod::Fit : BestFocusMethod::ThreePoint;
            else
                (&k == kKeys + 1 ? options.curveCheck : options.runRecord) = second;
            return nullptr;
        }
        return k.unknownValue;
    }
    return "unknown key";
}

}  // namespace

RunOptions ParseRunOptions(std::string_view fileText, RejectedOptionLines* rejected) {
    RunOptions options;
    const char* at = fileText.data();
    const char* const end = at + fileText.size();
    for (int lineNumber = 1; at != end; ++lineNumber) {
        const char* lineEnd = at;
        while (lineEnd != end && *lineEnd != '\n')
            ++lineEnd;
        const std::string_view line = Trim(at, lineEnd);
        at = lineEnd == end ? end : lineEnd + 1;
        if (line.empty() || line.front() == ';')
            continue;
        const char* reason = ApplyLine(line, options);
        if (reason && rejected)
            rejected->Add(lineNumber, line, reason);
    }
    return options;
}

}  // namespace qm

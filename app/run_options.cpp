// Reads "autofocus-options.ini": lines "key = value", blank lines and lines starting
// with ';' skipped, keys and values compared without regard to case. A line that
// cannot be used changes nothing and is listed with the reason.
#include "app/run_options.h"

#include <cctype>
#include <string_view>

namespace qm {
namespace {

std::string_view Trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Applies one "key = value" line; the reason it was refused, or empty when it was used.
std::string ApplyLine(std::string_view line, RunOptions& options) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return "no '=' between a key and a value";
    const std::string key = Lower(Trim(line.substr(0, equals)));
    const std::string value = Lower(Trim(line.substr(equals + 1)));
    if (key.empty()) return "no key before '='";
    if (key == "best-focus") {
        if (value == "three-point") options.bestFocus = BestFocusMethod::ThreePoint;
        else if (value == "fit") options.bestFocus = BestFocusMethod::Fit;
        else return "unknown value for best-focus (three-point or fit)";
        return {};
    }
    bool* flag = key == "curve-check" ? &options.curveCheck : key == "run-record" ? &options.runRecord : nullptr;
    if (!flag) return "unknown key";
    if (value == "on") *flag = true;
    else if (value == "off") *flag = false;
    else return "unknown value for " + key + " (off or on)";
    return {};
}

}  // namespace

ParsedRunOptions ParseRunOptions(const std::string& fileText) {
    ParsedRunOptions parsed;
    std::string_view rest = fileText;
    int lineNumber = 0;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view raw = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        ++lineNumber;
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';') continue;
        std::string reason = ApplyLine(line, parsed.options);
        if (!reason.empty()) parsed.rejected.push_back({lineNumber, std::string(line), std::move(reason)});
    }
    return parsed;
}

}  // namespace qm

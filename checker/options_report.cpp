#include "checker/options_report.h"

#include "app/run_options.h"

namespace qm::check {

std::vector<std::string> OptionsReportLines(const std::string& path, const std::optional<std::string>& text) {
    std::vector<std::string> lines{"Options file: " + path};
    if (!text) lines.push_back("  not found or unreadable: every option has its default");
    const ParsedRunOptions parsed = ParseRunOptions(text.value_or(std::string()));
    const RunOptions& o = parsed.options;
    lines.push_back("Options in use:");
    lines.push_back(std::string("  best-focus = ") + (o.bestFocus == BestFocusMethod::Fit ? "fit" : "three-point"));
    lines.push_back(std::string("  curve-check = ") + (o.curveCheck ? "on" : "off"));
    lines.push_back(std::string("  run-record = ") + (o.runRecord ? "on" : "off"));
    if (parsed.rejected.empty()) {
        lines.push_back("No line rejected.");
    } else {
        lines.push_back("Rejected lines (the option keeps its value):");
        for (const RejectedOptionLine& r : parsed.rejected)
            lines.push_back("  line " + std::to_string(r.lineNumber) + ": \"" + r.text + "\": " + r.reason);
    }
    return lines;
}

}  // namespace qm::check

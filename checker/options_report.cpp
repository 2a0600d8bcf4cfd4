#include "checker/options_report.h"

#include "app/run_options.h"

namespace qm::check {

namespace {

// The report's line for each line of the file that the program ignores.
struct RejectedLines : RejectedOptionLines {
    std::vector<std::string> lines;
    void Add(int lineNumber, std::string_view text, const char* reason) override {
        lines.push_back("  line " + std::to_string(lineNumber) + ": \"" + std::string(text) + "\": " + reason);
    }
};

}  // namespace

std::vector<std::string> OptionsReportLines(const std::string& path, const std::optional<std::string>& text) {
    std::vector<std::string> lines{"Options file: " + path};
    if (!text)
        lines.push_back("  not found or unreadable: every option has its default");
    RejectedLines rejected;
    const RunOptions o = ParseRunOptions(text.value_or(std::string()), &rejected);
    lines.push_back("Options in use:");
    lines.push_back(std::string("  best-focus = ") + (o.bestFocus == BestFocusMethod::Fit ? "fit" : "three-point"));
    lines.push_back(std::string("  curve-check = ") + (o.curveCheck ? "on" : "off"));
    lines.push_back(std::string("  run-record = ") + (o.runRecord ? "on" : "off"));
    if (rejected.lines.empty()) {
        lines.push_back("No line rejected.");
    } else {
        lines.push_back("Rejected lines (the option keeps its value):");
        lines.insert(lines.end(), rejected.lines.begin(), rejected.lines.end());
    }
    return lines;
}

}  // namespace qm::check

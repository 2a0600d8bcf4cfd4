#include "checker/options_report.h"

#include "record/run_options.h"
#include "record/text_encoding.h"

namespace qm::check {

namespace {

const char* FaultText(OptionLineFault fault) {
    switch (fault) {
        case OptionLineFault::NoEquals:
            return "no '=' between a key and a value";
        case OptionLineFault::NoKey:
            return "no key before '='";
        case OptionLineFault::UnknownKey:
            return "unknown key";
        case OptionLineFault::UnknownBestFocus:
            return "unknown value for best-focus (three-point or fit)";
        case OptionLineFault::UnknownCurveCheck:
            return "unknown value for curve-check (off or on)";
        case OptionLineFault::UnknownRunRecord:
            return "unknown value for run-record (off or on)";
        case OptionLineFault::UnknownSweep:
            return "unknown value for sweep (fixed or extend)";
    }
    return "";
}

// The report's line for each line of the file that the program ignores.
struct RejectedLines : RejectedOptionLines {
    std::vector<std::string> lines;
    void Add(int lineNumber, std::string_view text, OptionLineFault fault) override {
        lines.push_back("  line " + std::to_string(lineNumber) + ": \"" + std::string(text) +
                        "\": " + FaultText(fault));
    }
};

}  // namespace

std::vector<std::string> OptionsReportLines(const std::string& path, const std::optional<std::string>& text) {
    std::vector<std::string> lines{"Options file: " + path};
    if (!text)
        lines.push_back("  not found or unreadable: every option has its default");
    else
        lines.push_back(std::string("  encoding: ") + TextEncodingName(DetectTextEncoding(*text)));
    RejectedLines rejected;
    const RunOptions o = ParseRunOptions(text.value_or(std::string()), &rejected);
    lines.push_back("Options in use:");
    lines.push_back(std::string("  best-focus = ") + (o.bestFocus == BestFocusMethod::Fit ? "fit" : "three-point"));
    lines.push_back(std::string("  curve-check = ") + (o.curveCheck ? "on" : "off"));
    lines.push_back(std::string("  run-record = ") + (o.runRecord ? "on" : "off"));
    lines.push_back(std::string("  sweep = ") + (o.sweep == SweepMode::Extend ? "extend" : "fixed"));
    if (rejected.lines.empty()) {
        lines.push_back("No line rejected.");
    } else {
        lines.push_back("Rejected lines (the option keeps its value):");
        lines.insert(lines.end(), rejected.lines.begin(), rejected.lines.end());
    }
    return lines;
}

}  // namespace qm::check

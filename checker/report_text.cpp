// Heading, registration and verdict lines of the check's report.
#include "checker/report_text.h"

namespace qm::check {

std::vector<std::string> WrapWords(const std::string& text, size_t width, const std::string& first,
                                   const std::string& next) {
    std::vector<std::string> lines;
    std::string line = first;
    bool empty = true;
    size_t at = 0;
    while (at < text.size()) {
        size_t start = text.find_first_not_of(' ', at);
        if (start == std::string::npos)
            break;
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        std::string word = text.substr(start, end - start);
        at = end;
        if (!empty && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line = next;
            empty = true;
        }
        line += (empty ? "" : " ") + word;
        empty = false;
    }
    if (!empty || lines.empty())
        lines.push_back(line);
    return lines;
}

std::vector<std::string> HeadingLines(const CommandLine& line, int bits) {
    std::vector<std::string> lines;
    const std::string program = std::to_string(bits) + "-bit Quillomar";
    lines.push_back("QmDriverCheck " + std::to_string(bits) + "-bit: checks a focuser driver as the " + program +
                    " uses it.");
    if (line.progId.empty()) {
        lines.push_back("Driver: the one chosen in the ASCOM chooser.");
    } else {
        for (auto& l : WrapWords("Driver: " + line.progId +
                                     ", connected as with \"Automatic Connection\" ticked (the chooser is created "
                                     "but not shown).",
                                 kReportWidth, "", "  "))
            lines.push_back(l);
    }
    lines.push_back(line.moveSteps ? "Moves: " + std::to_string(*line.moveSteps) + " steps and back."
                                   : "Moves: none (add --move N to try one).");
    lines.push_back("");
    lines.push_back("Calls, in the order Quillomar makes them:");
    return lines;
}

std::vector<std::string> RegistrationLines(const Registration& registration) {
    // Not wrapped: a server's file stands whole on its line, whatever its length.
    std::vector<std::string> lines{"", "Registration:"};
    for (const std::string& text : DescribeRegistration(registration))
        lines.push_back("  " + text);
    return lines;
}

std::vector<std::string> VerdictLines(const Verdict& verdict) {
    std::vector<std::string> lines{""};
    bool first = true;
    for (const std::string& text : verdict.lines) {
        for (auto& l : WrapWords(text, kReportWidth, first ? "" : "  ", first ? "  " : "    "))
            lines.push_back(l);
        first = false;
    }
    return lines;
}

}  // namespace qm::check

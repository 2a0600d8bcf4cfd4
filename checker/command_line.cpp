// Reading the driver check's command line.
#include "checker/command_line.h"

#include <charconv>

namespace qm::check {

namespace {

// A non-zero decimal step count that fits in 32 bits.
std::optional<int32_t> StepCount(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    int32_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last || value == 0)
        return std::nullopt;
    return value;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            line.help = true;
        } else if (arg == "--options") {
            line.options = true;
        } else if (arg == "--no-times") {
            line.withTimes = false;
        } else if (arg == "--move" || arg.rfind("--move=", 0) == 0) {
            std::string count;
            if (arg == "--move") {
                if (i + 1 >= args.size()) {
                    line.error = "--move needs a number of steps";
                    return line;
                }
                count = args[++i];
            } else {
                count = arg.substr(7);
            }
            line.moveSteps = StepCount(count);
            if (!line.moveSteps) {
                line.error = "--move needs a whole number of steps other than 0, not \"" + count + "\"";
                return line;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            line.error = "unknown option " + arg;
            return line;
        } else if (!line.progId.empty()) {
            line.error = "only one driver can be checked at a time";
            return line;
        } else if (arg.size() < 4) {
            // The program never connects to a shorter identifier without its chooser.
            line.error = "\"" + arg + "\" is too short for a driver identifier (4 characters or more)";
            return line;
        } else {
            line.progId = arg;
        }
    }
    return line;
}

std::string UsageText() {
    return "Usage: QmDriverCheck [ProgID] [--move N] [--no-times]\n"
           "       QmDriverCheck --options\n"
           "\n"
           "Checks whether a focuser driver works with Quillomar: it makes the calls\n"
           "Quillomar makes, in the same order, and says what works and what fails.\n"
           "\n"
           "  ProgID      the driver to check, as the ASCOM chooser names it (for example\n"
           "              ASCOM.Simulator.Focuser); without it the ASCOM chooser is shown\n"
           "  --move N    also move the focuser N steps (N may be negative) and back;\n"
           "              without this option the focuser is never moved\n"
           "  --no-times  leave out the time each call took\n"
           "  --options   show the run options Quillomar.exe beside this program reads\n"
           "              from autofocus-options.ini, and each line it ignores\n"
           "  --help      show this text\n"
           "\n"
           "Run QmDriverCheck.exe from the same package (32-bit or 64-bit) as the\n"
           "Quillomar.exe you use: each checks the driver as its own Quillomar sees it.\n"
           "\n"
           "Exit status: 0 the driver works, 1 a call Quillomar needs fails, 2 bad usage,\n"
           "3 nothing was checked because no driver was chosen in the chooser.\n";
}

}  // namespace qm::check

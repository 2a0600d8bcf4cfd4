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

// A run setting given on the command line, within the limits of its edit in the window.
std::optional<int32_t> RunSetting(const std::string& text, int32_t low, int32_t high) {
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
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
        } else if (arg == "--conform") {
            line.conform = true;
        } else if (arg == "--steps" || arg == "--increment" || arg == "--expo") {
            const bool steps = arg == "--steps", increment = arg == "--increment";
            const int32_t low = steps ? 5 : 1, high = steps ? 49 : increment ? 999 : 9;
            std::optional<int32_t> value = i + 1 < args.size() ? RunSetting(args[i + 1], low, high) : std::nullopt;
            if (!value) {
                line.error = arg + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high);
                return line;
            }
            ++i;
            (steps ? line.steps : increment ? line.increment : line.exposures) = value;
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
    if (!line.conform && (line.steps || line.increment || line.exposures))
        line.error = "--steps, --increment and --expo belong to --conform";
    if (line.conform && line.moveSteps)
        line.error = "--conform makes its own moves; leave out --move";
    return line;
}

std::string UsageText() {
    return "Usage: QmDriverCheck [ProgID] [--move N] [--no-times]\n"
           "       QmDriverCheck [ProgID] --conform [--steps N] [--increment N] [--expo N]\n"
           "       QmDriverCheck --options\n"
           "\n"
           "Checks whether a focuser driver works with Quillomar: it makes the calls\n"
           "Quillomar makes, in the same order, and says what works and what fails.\n"
           "\n"
           "  ProgID      the driver to check, as the ASCOM chooser names it (for example\n"
           "              ASCOM.Simulator.Focuser); without it the ASCOM chooser is shown\n"
           "  --move N    also move the focuser N steps (N may be negative) and back;\n"
           "              without this option the focuser is never moved\n"
           "  --conform   moves the focuser as an autofocus run would and says whether\n"
           "              Quillomar will run correctly with it: giving this option is\n"
           "              your consent to the moves. They stay within the row a run\n"
           "              sweeps around the current position, never outside 0 to\n"
           "              MaxStep (a focuser that stands outside is not moved). The\n"
           "              focuser is moved back to where it started, also after a\n"
           "              failure on the way, and the report ends by saying where it is.\n"
           "              Steps, Increment and Expo/Step come from autofocus.ini beside\n"
           "              this program, or from --steps, --increment and --expo\n"
           "  --no-times  leave out the time each call took\n"
           "  --options   show the run options Quillomar.exe beside this program reads\n"
           "              from autofocus-options.ini, and each line it ignores\n"
           "  --help      show this text\n"
           "\n"
           "Run QmDriverCheck.exe from the same package (32-bit or 64-bit) as the\n"
           "Quillomar.exe you use: each checks the driver as its own Quillomar sees it.\n"
           "\n"
           "Exit status: 0 the driver works, 1 a call Quillomar needs fails (with\n"
           "--conform: or a run would time out, log wrong positions or not connect),\n"
           "2 bad usage,\n"
           "3 nothing was checked because no driver was chosen in the chooser.\n";
}

}  // namespace qm::check

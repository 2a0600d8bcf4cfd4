// The command line of the driver check: an optional driver identifier and options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::check {

struct CommandLine {
    bool help = false;
    bool withTimes = true;
    bool options = false;  // print the run options instead of checking a driver
    std::optional<int32_t> moveSteps;
    std::string progId;  // empty: show the chooser
    std::string error;   // not empty: bad usage, with what was wrong
};

// The arguments after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace qm::check

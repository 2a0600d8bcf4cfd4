// Options a user opts into with "autofocus-options.ini" beside the program, read once
// at start and never written. Without the file, or for a line that cannot be used,
// every option keeps its default, and the defaults are the program's standard run.
#pragma once

#include <string>
#include <vector>

namespace qm {

inline constexpr const char* kRunOptionsFileName = "autofocus-options.ini";

enum class BestFocusMethod { ThreePoint, Fit };

struct RunOptions {
    BestFocusMethod bestFocus = BestFocusMethod::ThreePoint;
    bool curveCheck = false;
    bool runRecord = false;

    bool AllDefault() const {
        return bestFocus == BestFocusMethod::ThreePoint && !curveCheck && !runRecord;
    }
};

// A line of the file that was not used, with the reason, for the driver check to print.
struct RejectedOptionLine {
    int lineNumber = 0;  // from 1
    std::string text;
    std::string reason;
};

struct ParsedRunOptions {
    RunOptions options;
    std::vector<RejectedOptionLine> rejected;
};

ParsedRunOptions ParseRunOptions(const std::string& fileText);

}  // namespace qm

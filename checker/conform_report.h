// What the conformance check's measurements mean for a run: one finding per check,
// with its measured figure and what Quillomar will do because of it, the time a
// run's moves and waits take with the settings, and the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "checker/conform_run.h"
#include "checker/run_settings.h"
#include "checker/verdict.h"

namespace qm::check {

struct Finding {
    enum class Level { Ok, Note, Fault };
    Level level = Level::Ok;
    std::string text;  // what was measured, then what Quillomar does with it
};

// A fault is a timeout, wrong positions or a failed connection: exit status 1.
std::vector<Finding> JudgeConformance(const ConformOutcome& outcome, const RunSettings& run);

// Milliseconds a run's focuser moves and imposed waits take with these settings:
// the first move and its wait, each step's pause, move and wait, the backlash
// approach when ticked and the final move with their pauses.
int64_t RunMovesMillis(const ConformOutcome& outcome, const RunSettings& run);

// The heading's line on moves, the findings, and the run's time (after the verdict),
// as report lines.
std::string ConformMovesLine(const RunSettings& run);
std::vector<std::string> ConformLines(const std::vector<Finding>& findings, const RunSettings& run);
// The run's time, only when both measured moves succeeded.
std::vector<std::string> RunTimeLines(const ConformOutcome& outcome, const RunSettings& run);
// The last line: where the focuser is after the move back (at its start, elsewhere,
// or not known), or that it was not moved.
std::vector<std::string> FocuserPlaceLines(const ConformOutcome& outcome);
bool HasFault(const std::vector<Finding>& findings);
// The verdict of the calls as without --conform, less its advice to try a move.
Verdict ConformVerdict(Verdict verdict);

}  // namespace qm::check

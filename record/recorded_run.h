// A run as the record file holds it: what the page of the last runs is drawn from.
// The page is made from the record file's lines alone, so that a page that was torn,
// edited or lost is made again from the record, and the run just ended goes through the
// same line (RecordedRunOf) so that it looks the same now as when the page is made again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "record/run_record.h"

namespace qm {

// What the analysis concluded, as the line keeps it: the curve as its points, numbers
// that the line holds as null as NaN.
struct RecordedVerdict {
    int32_t threePoint = 0;  // 0 when the three-point rule failed
    bool fitConverged = false;
    double fitPeak = 0;
    double fitQuality = 0;
    int32_t droppedPosition = 0;  // 0 when the fit left no line out
    std::vector<std::pair<double, double>> curve;
    bool checkPassed = true;
    std::string checkReason;

    bool operator==(const RecordedVerdict&) const = default;
};

struct RecordedRun {
    std::string timeUtc;
    std::string driverId;
    int32_t steps = 0;
    int32_t increment = 0;
    int32_t exposuresPerStep = 0;
    std::vector<RunStep> points;
    std::vector<int32_t> pendingValues;
    std::optional<RecordedVerdict> verdict;
    std::optional<int32_t> movedTo;
    RunOutcome outcome = RunOutcome::Stopped;
    uint32_t durationMs = 0;
    // Absent in lines written before the focuser's temperature was kept, and null where it
    // was not read.
    std::optional<double> temperatureAtStart;
    std::optional<double> temperatureAtEnd;

    bool operator==(const RecordedRun&) const = default;
};

// One line of the record file, without its line end. A line without a "format" member
// is of format 1, the one this program writes, and is read strictly as
// FormatRunRecordLine writes it: its members in its order, no blanks, its escapes. A line
// that names its format (1 or any later one) is read as any JSON object: every member
// this program knows is taken by its name, where it has a value of the known kind, and
// the rest is passed over. Any other text (a torn line, a line edited by hand, a line of
// some other program) reads as nothing, and the page leaves it out.
std::optional<RecordedRun> ReadRunRecordLine(std::string_view line);

// Whether a line that does not read is what a crash leaves of an append: the start of a
// JSON object that stops before its end.
bool IsTornRecordLine(std::string_view line);

// The run as its record line reads back.
RecordedRun RecordedRunOf(const RunRecord& record);

}  // namespace qm

// The record of one autofocus run, kept when the user opts into "run-record = on":
// what the run was given, what it measured and what it decided. Each record is one
// line of JSON in "autofocus-runs.jsonl" beside the program; the file keeps the last
// kRunRecordLimit runs. Text is UTF-8 in the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "focus/curve_analysis.h"

namespace qm {

inline constexpr char kRunRecordFileName[] = "autofocus-runs.jsonl";
inline constexpr size_t kRunRecordLimit = 1000;

enum class RunOutcome { Focus, Error, Stopped };

// One completed sweep position: its step line and the values counted for it.
struct RunStep {
    int32_t position = 0;
    int32_t value = 0;
    std::vector<int32_t> values;

    bool operator==(const RunStep&) const = default;
};

// What a finished sweep's analysis concluded (absent for a stopped run): the record
// keeps the analysis itself, made straight into it when the run ends.
using RunVerdict = CurveAnalysis;

struct RunRecord {
    std::string timeUtc;  // start of the run, ISO 8601 with a trailing Z
    std::string driverId;
    int32_t steps = 0;
    int32_t increment = 0;
    int32_t exposuresPerStep = 0;
    std::vector<RunStep> points;
    std::vector<int32_t> pendingValues;  // counted for a position the run never completed
    std::optional<RunVerdict> verdict;
    std::optional<int32_t> movedTo;  // the position the run's final move went to
    RunOutcome outcome = RunOutcome::Stopped;
    uint32_t durationMs = 0;
    // The focuser's Temperature in °C when the run started and when it ended; absent when
    // the driver has none or the read failed.
    std::optional<double> temperatureAtStart;
    std::optional<double> temperatureAtEnd;

    bool operator==(const RunRecord&) const = default;
};

const char* RunOutcomeName(RunOutcome outcome);

// A Windows file time (100-nanosecond intervals since 1601-01-01 UTC) as ISO 8601 with
// a trailing Z, to the second: "2026-01-31T21:05:09Z".
std::string FormatUtcTime(uint64_t fileTime);

// The record as one line of JSON, without a line end.
std::string FormatRunRecordLine(const RunRecord& record);
// The file text after appending `line` and keeping only the last `limit` lines. Blank
// lines are dropped; CR LF, LF and CR each end a line, and every line is written with LF.
std::string AppendRunRecordLine(std::string_view fileText, const std::string& line, size_t limit = kRunRecordLimit);

}  // namespace qm

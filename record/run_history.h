// The history of the recorded runs, to stand at the top of the run page above the runs:
// the result position of each run against its time, and, once enough runs carry the
// focuser's temperature, the result against the temperature with its least-squares
// line and slope. The slope (steps per °C) is the figure a focuser's temperature
// compensation asks for. The fragment is self-contained HTML: inline style and SVG, no
// script, nothing fetched; every text in it is escaped and no number that is not finite
// reaches it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/run_record.h"

namespace qm {

// What the history needs of one recorded run.
struct HistoryRun {
    std::string timeUtc;  // "2026-12-08T11:40:05Z"; another text leaves the run out of the time plot
    RunOutcome outcome = RunOutcome::Stopped;
    // The record's result, the position the run moved to at its end. Only a run whose
    // outcome is focus is plotted: one without a focus moved back to where it began.
    std::optional<int32_t> result;
    std::optional<double> temperatureAtStart;
    std::optional<double> temperatureAtEnd;
};

// Colours of the history plots, also looked for by the screenshot test.
inline constexpr char kHistoryResultColour[] = "#7b3fb8";
inline constexpr char kHistoryTemperatureColour[] = "#138a8a";
inline constexpr char kHistoryTrendColour[] = "#a8327a";

// The runs the history shows at most, the newest, as the page does.
inline constexpr size_t kHistoryRuns = 50;
// The temperature plot needs this many plotted runs with a temperature.
inline constexpr size_t kHistoryTemperatureRuns = 3;

// A least-squares straight line through (temperature, result) pairs: the result changes
// by `slope` steps per °C, with `slopeError` its standard error (n - 2 degrees of freedom).
struct TemperatureSlope {
    size_t runs = 0;
    bool temperaturesVary = false;  // without, there is no slope
    double slope = 0;
    double slopeError = 0;
    double intercept = 0;  // the result at 0 °C
};

// The run's temperature: the mean of the start's and the end's when both were read, the
// one read otherwise; none when neither was, or neither is a temperature (not finite, or
// outside kLowestTemperature..kHighestTemperature, as drivers' "no sensor" values are).
inline constexpr double kLowestTemperature = -273.15;
inline constexpr double kHighestTemperature = 1000;
std::optional<double> RunTemperature(const HistoryRun& run);

// Whether the history plots the run's result: a focus run with a result.
bool HasFocusResult(const HistoryRun& run);

// The line through the runs that have a focus result and a temperature.
TemperatureSlope FitTemperatureSlope(const std::vector<HistoryRun>& runs);

// Seconds since 1970-01-01 00:00:00 UTC of a time written "YYYY-MM-DDTHH:MM:SSZ"; none
// for any other text or an impossible date or time.
std::optional<int64_t> ReadUtcTime(const std::string& text);

// The history of `runs` (newest first, as the page lists them; the first kHistoryRuns are
// used) as an HTML fragment; empty when there are no runs.
std::string ComposeRunHistory(const std::vector<HistoryRun>& runs);

}  // namespace qm

// The page "autofocus-runs.htm" beside the program: the last runs of the run record,
// newest first, each as a plot of its points, the fitted curve and the marks of the
// three-point and fitted results, with its numbers beside it. The page is one
// self-contained file: inline style and SVG, no script, nothing fetched from elsewhere.
// The page is made whole from the runs the record file holds (record/recorded_run.h),
// each time a run ends; each run's section lies between the marker comments
// kRunSectionBegin and kRunSectionEnd.
#pragma once

#include <string>
#include <string_view>

#include <vector>

#include "record/recorded_run.h"

namespace qm {

inline constexpr char kRunPageFileName[] = "autofocus-runs.htm";
inline constexpr size_t kRunPageRuns = 50;
inline constexpr char kRunSectionBegin[] = "<!--run-->\n";
inline constexpr char kRunSectionEnd[] = "<!--/run-->\n";

// Colours of the plot, also looked for by the screenshot test.
inline constexpr char kPlotPointColour[] = "#1f5fbf";
inline constexpr char kPlotCurveColour[] = "#e07800";
inline constexpr char kPlotThreePointColour[] = "#139a2a";
inline constexpr char kPlotFitPeakColour[] = "#c81e1e";

// What the page says beside its runs: how many of the first runs are not in the record
// file (`notKept` of them could be kept nowhere, `waiting` wait in pending files), and
// how many lines of the record file it does not show because they do not read.
struct RunPageNotes {
    size_t notKept = 0;
    size_t waiting = 0;
    size_t unreadableLines = 0;
};

// The page of the first kRunPageRuns of `runs`, given newest first.
std::string ComposeRunPage(const std::vector<RecordedRun>& runs, const RunPageNotes& notes = {});

}  // namespace qm

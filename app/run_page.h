// The page "autofocus-runs.htm" beside the program: the last runs of the run record,
// newest first, each as a plot of its points, the fitted curve and the marks of the
// three-point and fitted results, with its numbers beside it. The page is one
// self-contained file: inline style and SVG, no script, nothing fetched from elsewhere.
#pragma once

#include <string>
#include <vector>

#include "app/run_record.h"

namespace qm {

inline constexpr const char* kRunPageFileName = "autofocus-runs.htm";
inline constexpr size_t kRunPageRuns = 50;

// Colours of the plot, also looked for by the screenshot test.
inline constexpr const char* kPlotPointColour = "#1f5fbf";
inline constexpr const char* kPlotCurveColour = "#e07800";
inline constexpr const char* kPlotThreePointColour = "#139a2a";
inline constexpr const char* kPlotFitPeakColour = "#c81e1e";

// The page for `records`, given oldest first as the record file holds them; only the
// last kRunPageRuns are shown.
std::string RenderRunPage(const std::vector<RunRecord>& records);

}  // namespace qm

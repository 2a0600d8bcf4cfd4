// The page "autofocus-runs.htm" beside the program: the last runs of the run record,
// newest first, each as a plot of its points, the fitted curve and the marks of the
// three-point and fitted results, with its numbers beside it. The page is one
// self-contained file: inline style and SVG, no script, nothing fetched from elsewhere.
// The page carries each run's section between the marker comments kRunSectionBegin and
// kRunSectionEnd, so that a new page is made from the old one and the new run alone.
#pragma once

#include <string>
#include <string_view>

#include "record/run_record.h"

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

// The page with the section of `record` first and then the sections of `oldPage`, newest
// first as it holds them, up to kRunPageRuns in all. An old page without sections (none
// yet, or one that could not be read) gives a page of the new run alone.
std::string ComposeRunPage(const RunRecord& record, std::string_view oldPage);

}  // namespace qm

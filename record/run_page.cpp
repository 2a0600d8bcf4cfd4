// Renders the run page: plain HTML with an inline style sheet, the history of the runs
// (record/run_history.h) and one inline SVG plot per run. Every text from a record is
// escaped, so a driver name or a check's reason can never add markup to the page, nor a
// marker comment that would split a section.
#include "record/run_page.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "record/html_text.h"
#include "record/run_history.h"
#include "record/svg_plot.h"

namespace qm {

namespace {

// The run's plot: a 440 x 240 picture, its plot area from (62, 14) to (426, 206).
constexpr plot::Frame kRunPlot{440, 240, 62, 14, 426, 206};
// Room above the largest value, as a share of it.
constexpr double kValueHeadroom = 1.08;
// The labels of the axes' ends: the positions' under the plot area, the values' left of it.
constexpr double kPositionLabelDrop = 18, kValueLabelGap = 6, kTopValueLabelDrop = 10;
constexpr double kStepDotRadius = 5, kValueDotRadius = 2.5, kMarkWidth = 3, kCurveWidth = 3;
constexpr char kValueDotColour[] = "#9aa6b8";

// Whole numbers with ", " between them.
std::string WholeNumberList(const std::vector<int32_t>& values) {
    std::string text;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += std::to_string(values[i]);
    }
    return text;
}

// The three-point result and the fitted peak, NaN for each the run does not have.
double ThreePoint(const RecordedRun& r) {
    return r.verdict && r.verdict->threePoint != 0 ? static_cast<double>(r.verdict->threePoint) : NAN;
}
double FitPeak(const RecordedRun& r) {
    return r.verdict && r.verdict->fitConverged ? r.verdict->fitPeak : NAN;
}

// Positions across, from the run's points, curve and results; values up, from 0 to the
// largest value with some headroom.
struct RunAxes {
    plot::Axis position, value;
};

RunAxes AxesFor(const RecordedRun& r, double threePoint, double fitPeak) {
    double least = INFINITY, most = -INFINITY, largest = 0;
    // NaN for either leaves its axis alone, as does an infinite one.
    auto take = [&](double position, double value) {
        if (std::isfinite(position)) {
            least = std::min(least, position);
            most = std::max(most, position);
        }
        if (value > largest && value < INFINITY)
            largest = value;  // false for NaN
    };
    for (const RunStep& p : r.points) {
        take(p.position, p.value);
        for (int32_t v : p.values)
            take(NAN, v);
    }
    if (r.verdict) {
        for (const auto& [x, y] : r.verdict->curve)
            take(x, y);
    }
    take(threePoint, NAN);
    take(fitPeak, NAN);
    if (!(least <= most))
        least = most = 0;
    // A single position gets an increment of its own on either side.
    const double lone = r.increment > 1 ? r.increment : 1;
    RunAxes axes;
    axes.position = plot::AxisAround(least, most, lone, kRunPlot.left, kRunPlot.right);
    axes.value = {0, largest > 0 ? largest * kValueHeadroom : 1, kRunPlot.bottom, kRunPlot.top};
    return axes;
}

void AppendVerticalMark(std::string& out, const plot::Axis& position, double at, const char* colour, const char* dash) {
    if (!std::isfinite(at))
        return;
    const double x = position.At(at);
    plot::AppendLine(out, x, kRunPlot.top, x, kRunPlot.bottom, colour, kMarkWidth, dash);
}

// The section's marker, the opening of the run's box and the plot in it; AppendNumbers
// ends the plot, the box and the section.
void AppendPlot(std::string& out, const RecordedRun& r) {
    const double threePoint = ThreePoint(r), fitPeak = FitPeak(r);
    const RunAxes axes = AxesFor(r, threePoint, fitPeak);
    const plot::Axis& x = axes.position;
    const plot::Axis& y = axes.value;
    out += kRunSectionBegin;
    out += "<div>\n";
    plot::OpenPicture(out, kRunPlot);
    plot::AppendPlotArea(out, kRunPlot);
    // The axes' labels: the ends of the position axis and the top and foot of the value axis.
    const double positionLabels = kRunPlot.bottom + kPositionLabelDrop;
    const double valueLabels = kRunPlot.left - kValueLabelGap;
    plot::AppendText(out, kRunPlot.left, positionLabels, "start", FixedDecimals(x.low, 0));
    plot::AppendText(out, kRunPlot.right, positionLabels, "end", FixedDecimals(x.high, 0));
    plot::AppendText(out, valueLabels, kRunPlot.top + kTopValueLabelDrop, "end", FixedDecimals(y.high, 0));
    plot::AppendText(out, valueLabels, kRunPlot.bottom, "end", "0");
    if (r.points.empty())
        plot::AppendText(out, kRunPlot.MiddleX(), kRunPlot.MiddleY(), "middle", "no step completed");
    AppendVerticalMark(out, x, threePoint, kPlotThreePointColour, nullptr);
    AppendVerticalMark(out, x, fitPeak, kPlotFitPeakColour, "6,4");
    if (r.verdict && !r.verdict->curve.empty()) {
        std::vector<std::pair<double, double>> points;
        for (const auto& [position, value] : r.verdict->curve)
            if (std::isfinite(position) && std::isfinite(value))
                points.emplace_back(x.At(position), y.At(std::clamp(value, 0.0, y.high)));
        plot::AppendPolyline(out, points, kPlotCurveColour, kCurveWidth);
    }
    for (const RunStep& p : r.points) {
        // Every counted value as a small dot, the step's value as the large one.
        const double at = x.At(p.position);
        for (int32_t v : p.values)
            plot::AppendDot(out, at, y.At(v > 0 ? v : 0), kValueDotRadius, kValueDotColour);
        plot::AppendDot(out, at, y.At(p.value), kStepDotRadius, kPlotPointColour);
    }
}

// Opens a row of the numbers' table. HTML ends a cell and a row where the next one
// starts, and the table where it ends, so their end tags are left out.
void Row(std::string& out, const char* name) {
    out += "\n<tr><th>";
    out += name;
    out += "<td>";
}

// The plot's end, the table of numbers beside it, and the ends of the box and the section.
void AppendNumbers(std::string& out, const RecordedRun& r) {
    out += "</svg>\n<table>\n<tr><th>Time (UTC)<td>";
    AppendHtmlEscaped(out, r.timeUtc);
    Row(out, "Driver");
    AppendHtmlEscaped(out, r.driverId);
    Row(out, "Outcome");
    out += "<b>" + std::string(RunOutcomeName(r.outcome)) + "</b>";
    Row(out, "Steps, Increment, Expo/Step");
    out += std::to_string(r.steps) + ", " + std::to_string(r.increment) + ", " + std::to_string(r.exposuresPerStep);
    if (r.verdict) {
        const RecordedVerdict& v = *r.verdict;
        Row(out, "Three-point result");
        out += v.threePoint != 0 ? std::to_string(v.threePoint) : "failed";
        Row(out, "Fitted peak");
        if (v.fitConverged)
            out += FixedDecimals(v.fitPeak, 1) + " (quality " + FixedDecimals(v.fitQuality, 3) + ")";
        else
            out += "no fit";
        if (v.droppedPosition != 0) {
            Row(out, "Left out of the fit");
            out += std::to_string(v.droppedPosition) + " (off the curve)";
        }
        Row(out, "Curve check");
        if (v.checkPassed) {
            out += "passed";
        } else {
            out += "refused: ";
            AppendHtmlEscaped(out, v.checkReason);
        }
    }
    Row(out, "Moved to");
    out += r.movedTo ? std::to_string(*r.movedTo) : "-";
    Row(out, "Duration");
    out += FixedDecimals(r.durationMs / 1000.0, 1) + " s";
    Row(out, "Positions");
    for (const RunStep& p : r.points)
        out +=
            std::to_string(p.position) + " = " + std::to_string(p.value) + " (" + WholeNumberList(p.values) + ")<br>";
    if (!r.pendingValues.empty())
        out += "not completed (" + WholeNumberList(r.pendingValues) + ")";
    if (r.points.empty() && r.pendingValues.empty())
        out += '-';
    out += "\n</table>\n</div>\n";
    out += kRunSectionEnd;
}

// What the history needs of a run: its result is the position the run moved to at its end.
HistoryRun HistoryRunOf(const RecordedRun& r) {
    return {r.timeUtc, r.outcome, r.movedTo, r.temperatureAtStart, r.temperatureAtEnd};
}

// "1 run", "2 runs".
std::string Counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void AppendNotes(std::string& out, const RunPageNotes& notes) {
    if (notes.notKept > 0)
        out +=
            "<p>The newest run could not be written to the record file, nor kept beside it: it is shown here "
            "only.</p>\n";
    if (notes.waiting > 0) {
        const bool one = notes.waiting == 1;
        out += std::string("<p>") + (notes.notKept > 0 ? "After it, the " : "The ") +
               (one ? "newest run" : "newest " + std::to_string(notes.waiting) + " runs") + (one ? " is" : " are") +
               " not yet in the record: the record file could not be written, and " + (one ? "it waits" : "they wait") +
               " beside it to be added at a later run.</p>\n";
    }
    if (notes.unreadableLines > 0)
        out += "<p>" + Counted(notes.unreadableLines, "line", "lines") +
               " of the record not shown: they are not records this version can read, and are kept as they "
               "are.</p>\n";
}

}  // namespace

std::string ComposeRunPage(const std::vector<RecordedRun>& runs, const RunPageNotes& notes) {
    const size_t count = runs.size() < kRunPageRuns ? runs.size() : kRunPageRuns;
    // The style sheet picks elements rather than classes: the page's only div, text, th and
    // span elements are the runs' boxes, the plots' labels, the tables' headers and the
    // key's swatches.
    std::string out =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Autofocus runs</title>\n<style>"
        "body{font:13px sans-serif;margin:16px;color:#202020;background:#f4f4f4}"
        "h1{font-size:18px}"
        "div{display:flex;gap:18px;align-items:flex-start;background:#fff;border:1px solid #ccc;"
        "padding:10px;margin:0 0 12px}"
        "text{font-size:11px;fill:#404040}"
        "th{text-align:left;padding-right:10px;vertical-align:top;font-weight:400;color:#606060}"
        "span{display:inline-block;width:14px;height:4px;margin:0 4px 2px 12px;vertical-align:middle}"
        "</style>\n</head>\n<body>\n<h1>Autofocus runs</h1>\n";
    if (count == 0)
        out += "<p>No recorded run.</p>\n";
    else if (count == 1)
        out += "<p>The last recorded run.</p>\n";
    else
        out += "<p>The last " + std::to_string(count) + " recorded runs, newest first.</p>\n";
    AppendNotes(out, notes);
    // The history of the same runs stands above them; the colour key that follows belongs
    // to the runs' plots, so it stays next to them.
    std::vector<HistoryRun> history;
    history.reserve(count);
    for (size_t i = 0; i < count; ++i)
        history.push_back(HistoryRunOf(runs[i]));
    out += ComposeRunHistory(history);
    out += std::string("<p><span style=\"background:") + kPlotPointColour + "\"></span>step value" +
           "<span style=\"background:" + kPlotCurveColour + "\"></span>fitted curve" +
           "<span style=\"background:" + kPlotThreePointColour + "\"></span>three-point result" +
           "<span style=\"background:" + kPlotFitPeakColour + "\"></span>fitted peak</p>\n";
    for (size_t i = 0; i < count; ++i) {
        AppendPlot(out, runs[i]);
        AppendNumbers(out, runs[i]);
    }
    out += "</body>\n</html>\n";
    return out;
}

}  // namespace qm

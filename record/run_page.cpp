// Renders the run page: plain HTML with an inline style sheet, the history of the runs
// (record/run_history.h) and one inline SVG plot per run. Every text from a record is
// escaped, so a driver name or a check's reason can never add markup to the page, nor a
// marker comment that would split a section.
#include "record/run_page.h"

#include <cmath>
#include <string>
#include <vector>

#include "record/html_text.h"
#include "record/run_history.h"

namespace qm {

namespace {

// Plot geometry in SVG user units: a 440 x 240 picture whose plot area runs from
// (62, 14) to (426, 206); the fixed numbers of the texts below follow from these.
constexpr double kLeft = 62, kRight = 426, kTop = 14, kBottom = 206;
// Room left beside the outermost points, as a share of the span.
constexpr double kSpanMargin = 0.05;
constexpr double kValueHeadroom = 1.08;

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

// Maps run positions and focus values onto the plot area.
struct PlotScale {
    double xMin = INFINITY, xMax = -INFINITY, yMax = 0;

    double X(double position) const { return kLeft + (position - xMin) / (xMax - xMin) * (kRight - kLeft); }
    double Y(double value) const { return kBottom - value / yMax * (kBottom - kTop); }
    // The point's plot coordinates, each to one decimal, with `between` them.
    std::string Place(double position, double value, const char* between) const {
        return FixedDecimals(X(position), 1) + between + FixedDecimals(Y(value), 1);
    }
    // Widens the scale to a position and a value; NaN for either leaves its axis alone,
    // as does an infinite one.
    void Take(double x, double y) {
        if (std::isfinite(x)) {
            if (x < xMin)
                xMin = x;
            if (x > xMax)
                xMax = x;
        }
        if (y > yMax && y < INFINITY)
            yMax = y;  // false for NaN
    }
};

// The three-point result and the fitted peak, NaN for each the run does not have.
double ThreePoint(const RecordedRun& r) {
    return r.verdict && r.verdict->threePoint != 0 ? static_cast<double>(r.verdict->threePoint) : NAN;
}
double FitPeak(const RecordedRun& r) {
    return r.verdict && r.verdict->fitConverged ? r.verdict->fitPeak : NAN;
}

PlotScale ScaleFor(const RecordedRun& r, double threePoint, double fitPeak) {
    PlotScale s;
    for (const RunStep& p : r.points) {
        s.Take(p.position, p.value);
        for (int32_t v : p.values)
            s.Take(NAN, v);
    }
    if (r.verdict) {
        for (const auto& [x, y] : r.verdict->curve)
            s.Take(x, y);
    }
    s.Take(threePoint, NAN);
    s.Take(fitPeak, NAN);
    if (!(s.xMin <= s.xMax))
        s.xMin = s.xMax = 0;
    double span = s.xMax - s.xMin;
    // A single position gets a span of its own on either side.
    const double margin = span > 0 ? span * kSpanMargin : (r.increment > 1 ? r.increment : 1);
    s.xMin -= margin;
    s.xMax += margin;
    s.yMax = s.yMax > 0 ? s.yMax * kValueHeadroom : 1;
    return s;
}

void AppendVerticalMark(std::string& out, const PlotScale& s, double position, const char* colour, const char* dash) {
    if (!std::isfinite(position))
        return;
    const std::string x = FixedDecimals(s.X(position), 1);
    out += "<line x1=\"" + x + "\" y1=\"14\" x2=\"" + x + "\" y2=\"206\" stroke=\"" + colour +
           "\" stroke-width=\"3\"" + dash + "/>\n";
}

// A dot of the plot: its centre from the point, its radius and colour as given.
void AppendDot(std::string& out, const PlotScale& s, double position, double value, const char* radius,
               const char* colour) {
    out += "<circle cx=\"" + s.Place(position, value, "\" cy=\"") + "\" r=\"" + radius + "\" fill=\"" + colour +
           "\"/>\n";
}

// The section's marker, the opening of the run's box and the plot in it; AppendNumbers
// ends the plot, the box and the section.
void AppendPlot(std::string& out, const RecordedRun& r) {
    const double threePoint = ThreePoint(r), fitPeak = FitPeak(r);
    const PlotScale s = ScaleFor(r, threePoint, fitPeak);
    // The frame and the axis labels: the ends of the position axis and the top of the
    // value axis.
    out += kRunSectionBegin;
    out += "<div>\n"
           "<svg width=\"440\" height=\"240\">\n"
           "<rect x=\"62\" y=\"14\" width=\"364\" height=\"192\" fill=\"#fff\" stroke=\"#8a8a8a\"/>\n"
           "<text x=\"62\" y=\"224\">" + FixedDecimals(s.xMin, 0) + "</text>\n"
           "<text x=\"426\" y=\"224\" text-anchor=\"end\">" + FixedDecimals(s.xMax, 0) + "</text>\n"
           "<text x=\"56\" y=\"24\" text-anchor=\"end\">" + FixedDecimals(s.yMax, 0) + "</text>\n"
           "<text x=\"56\" y=\"206\" text-anchor=\"end\">0</text>\n";
    if (r.points.empty())
        out += "<text x=\"244\" y=\"110\" text-anchor=\"middle\">no step completed</text>\n";
    AppendVerticalMark(out, s, threePoint, kPlotThreePointColour, "");
    AppendVerticalMark(out, s, fitPeak, kPlotFitPeakColour, " stroke-dasharray=\"6,4\"");
    if (r.verdict && !r.verdict->curve.empty()) {
        out += "<polyline fill=\"none\" stroke=\"" + std::string(kPlotCurveColour) + "\" stroke-width=\"3\" points=\"";
        for (const auto& [x, y] : r.verdict->curve)
            if (std::isfinite(x) && std::isfinite(y))
                out += s.Place(x, y < 0 ? 0 : y < s.yMax ? y : s.yMax, ",") + " ";
        out += "\"/>\n";
    }
    for (const RunStep& p : r.points) {
        // Every counted value as a small dot, the step's value as the large one.
        for (int32_t v : p.values)
            AppendDot(out, s, p.position, v > 0 ? v : 0, "2.5", "#9aa6b8");
        AppendDot(out, s, p.position, p.value, "5", kPlotPointColour);
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
        out += std::to_string(p.position) + " = " + std::to_string(p.value) + " (" + WholeNumberList(p.values) + ")<br>";
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

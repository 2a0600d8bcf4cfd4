// Renders the run page: plain HTML with an inline style sheet and one inline SVG plot
// per run. Every text from a record is escaped, so a driver name or a check's reason
// can never add markup to the page, nor a marker comment that would split a section.
// The text is built by appending into one string through a small pattern writer, which
// keeps the code short (the page is written once per run, never in a hurry).
#include "record/run_page.h"

#include <cmath>
#include <cstring>

#include "common/decimal_text.h"

namespace qm {

namespace {

// Plot geometry in SVG user units: a 440 x 240 picture whose plot area runs from
// (62, 14) to (426, 206); the fixed numbers of the patterns below follow from these.
constexpr double kLeft = 62, kRight = 426, kTop = 14, kBottom = 206;
// Room left beside the outermost points, as a share of the span.
constexpr double kSpanMargin = 0.05;
constexpr double kValueHeadroom = 1.08;

template <typename... Arguments>
void Put(std::string& out, const char* pattern, const Arguments&... arguments) {
    AppendPattern(out, pattern, arguments...);
}

void AppendEscaped(std::string& out, const std::string& text) {
    static constexpr char kSpecial[] = "&<>\"'";
    static constexpr char kEntities[][7] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
    for (char c : text) {
        const auto* special = static_cast<const char*>(std::memchr(kSpecial, c, sizeof kSpecial - 1));
        if (special)
            Put(out, kEntities[special - kSpecial]);
        else
            out += c;
    }
}

// Maps run positions and focus values onto the plot area.
struct PlotScale {
    double xMin = INFINITY, xMax = -INFINITY, yMax = 0;

    double X(double position) const { return kLeft + (position - xMin) / (xMax - xMin) * (kRight - kLeft); }
    double Y(double value) const { return kBottom - value / yMax * (kBottom - kTop); }
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
double ThreePoint(const RunRecord& r) {
    return r.verdict && r.verdict->threePoint != 0 ? static_cast<double>(r.verdict->threePoint) : NAN;
}
double FitPeak(const RunRecord& r) {
    return r.verdict && r.verdict->fitConverged ? r.verdict->fitPeak : NAN;
}

PlotScale ScaleFor(const RunRecord& r, double threePoint, double fitPeak) {
    PlotScale s;
    for (const RunStep& p : r.points) {
        s.Take(p.position, p.value);
        for (int32_t v : p.values)
            s.Take(NAN, v);
    }
    if (r.verdict) {
        for (int i = 0; i < r.verdict->fitCurvePoints; ++i) {
            const auto [x, y] = r.verdict->FitCurvePoint(i);
            s.Take(x, y);
        }
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
    const double x = s.X(position);
    Put(out, "<line x1=\"~\" y1=\"14\" x2=\"~\" y2=\"206\" stroke=\"`\" stroke-width=\"3\"`/>\n", x, x, colour, dash);
}

// A point of the plot: `pattern` given the point's plot coordinates and, for a pattern
// that shows it, the colour of the steps' points.
void AppendPoint(std::string& out, const PlotScale& s, const char* pattern, double position, double value) {
    Put(out, pattern, s.X(position), s.Y(value), kPlotPointColour);
}

// The section's marker, the opening of the run's box and the plot in it; AppendNumbers
// ends the plot, the box and the section.
void AppendPlot(std::string& out, const RunRecord& r) {
    const double threePoint = ThreePoint(r), fitPeak = FitPeak(r);
    const PlotScale s = ScaleFor(r, threePoint, fitPeak);
    // The frame and the axis labels: the ends of the position axis and the top of the
    // value axis.
    Put(out,
        "`<div>\n"
        "<svg width=\"440\" height=\"240\">\n"
        "<rect x=\"62\" y=\"14\" width=\"364\" height=\"192\" fill=\"#fff\" stroke=\"#8a8a8a\"/>\n"
        "<text x=\"62\" y=\"224\">^</text>\n"
        "<text x=\"426\" y=\"224\" text-anchor=\"end\">^</text>\n"
        "<text x=\"56\" y=\"24\" text-anchor=\"end\">^</text>\n"
        "<text x=\"56\" y=\"206\" text-anchor=\"end\">0</text>\n",
        kRunSectionBegin, s.xMin, s.xMax, s.yMax);
    if (r.points.empty())
        Put(out, "<text x=\"244\" y=\"110\" text-anchor=\"middle\">no step completed</text>\n");
    AppendVerticalMark(out, s, threePoint, kPlotThreePointColour, "");
    AppendVerticalMark(out, s, fitPeak, kPlotFitPeakColour, " stroke-dasharray=\"6,4\"");
    if (r.verdict && r.verdict->fitCurvePoints > 0) {
        Put(out, "<polyline fill=\"none\" stroke=\"`\" stroke-width=\"3\" points=\"", kPlotCurveColour);
        for (int i = 0; i < r.verdict->fitCurvePoints; ++i)
            if (const auto [x, y] = r.verdict->FitCurvePoint(i); std::isfinite(x) && std::isfinite(y))
                AppendPoint(out, s, "~,~ ", x, y < 0 ? 0 : y < s.yMax ? y : s.yMax);
        Put(out, "\"/>\n");
    }
    for (const RunStep& p : r.points) {
        // Every counted value as a small dot, the step's value as the large one.
        for (int32_t v : p.values)
            AppendPoint(out, s, "<circle cx=\"~\" cy=\"~\" r=\"2.5\" fill=\"#9aa6b8\"/>\n", p.position, v > 0 ? v : 0);
        AppendPoint(out, s, "<circle cx=\"~\" cy=\"~\" r=\"5\" fill=\"`\"/>\n", p.position, p.value);
    }
}

// Opens a row of the numbers' table. HTML ends a cell and a row where the next one
// starts, and the table where it ends, so their end tags are left out.
void Row(std::string& out, const char* name) {
    Put(out, "\n<tr><th>`<td>", name);
}

// The plot's end, the table of numbers beside it, and the ends of the box and the section.
void AppendNumbers(std::string& out, const RunRecord& r) {
    Put(out, "</svg>\n<table>\n<tr><th>Time (UTC)<td>");
    AppendEscaped(out, r.timeUtc);
    Row(out, "Driver");
    AppendEscaped(out, r.driverId);
    Row(out, "Outcome");
    Put(out, "<b>`</b>", RunOutcomeName(r.outcome));
    Row(out, "Steps, Increment, Expo/Step");
    Put(out, "^, ^, ^", static_cast<double>(r.steps), static_cast<double>(r.increment),
        static_cast<double>(r.exposuresPerStep));
    if (r.verdict) {
        const RunVerdict& v = *r.verdict;
        Row(out, "Three-point result");
        Put(out, v.threePoint != 0 ? "^" : "failed", static_cast<double>(v.threePoint));
        Row(out, "Fitted peak");
        if (v.fitConverged) {
            Put(out, "~ (quality ", v.fitPeak);
            if (!AppendDecimal(out, v.fitQuality, 3, false))
                out += '-';
            out += ')';
        } else {
            Put(out, "no fit");
        }
        if (v.droppedPosition != 0) {
            Row(out, "Left out of the fit");
            Put(out, "^ (off the curve)", static_cast<double>(v.droppedPosition));
        }
        Row(out, "Curve check");
        Put(out, v.checkPassed ? "passed" : "refused: ");
        if (!v.checkPassed)
            AppendEscaped(out, v.checkReason);
    }
    Row(out, "Moved to");
    Put(out, "^", r.movedTo ? static_cast<double>(*r.movedTo) : NAN);
    Row(out, "Duration");
    Put(out, "~ s", r.durationMs / 1000.0);
    Row(out, "Positions");
    for (const RunStep& p : r.points) {
        Put(out, "^ = ^ (", static_cast<double>(p.position), static_cast<double>(p.value));
        AppendWholeNumbers(out, p.values, ", ", ")<br>");
    }
    if (!r.pendingValues.empty()) {
        Put(out, "not completed (");
        AppendWholeNumbers(out, r.pendingValues, ", ", ")");
    }
    if (r.points.empty() && r.pendingValues.empty())
        out += '-';
    Put(out, "\n</table>\n</div>\n`", kRunSectionEnd);
}

// Where `marker` starts between `from` and `end`, or null; a loop of its own, since
// string_view::find would add the library's longer search to the program for this alone.
const char* FindMarker(const char* from, const char* end, const char* marker) {
    const size_t length = std::strlen(marker);
    for (; static_cast<size_t>(end - from) >= length; ++from) {
        if (std::memcmp(from, marker, length) == 0)
            return from;
    }
    return nullptr;
}

}  // namespace

std::string ComposeRunPage(const RunRecord& record, std::string_view oldPage) {
    // The old page's sections the page keeps, after the new one, up to the limit.
    std::string sections;
    size_t count = 1;
    const size_t endLength = std::strlen(kRunSectionEnd);
    const char* const pageEnd = oldPage.data() + oldPage.size();
    for (const char* at = FindMarker(oldPage.data(), pageEnd, kRunSectionBegin); at && count < kRunPageRuns; ++count) {
        const char* const end = FindMarker(at, pageEnd, kRunSectionEnd);
        if (!end)
            break;
        sections.append(at, end + endLength - at);
        at = FindMarker(end, pageEnd, kRunSectionBegin);
    }
    // The style sheet picks elements rather than classes: the page's only div, text, th and
    // span elements are the runs' boxes, the plots' labels, the tables' headers and the
    // key's swatches. Sections kept from pages written with classes look the same.
    std::string out;
    Put(out,
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Autofocus runs</title>\n<style>"
        "body{font:13px sans-serif;margin:16px;color:#202020;background:#f4f4f4}"
        "h1{font-size:18px}"
        "div{display:flex;gap:18px;align-items:flex-start;background:#fff;border:1px solid #ccc;"
        "padding:10px;margin:0 0 12px}"
        "text{font-size:11px;fill:#404040}"
        "th{text-align:left;padding-right:10px;vertical-align:top;font-weight:400;color:#606060}"
        "span{display:inline-block;width:14px;height:4px;margin:0 4px 2px 12px;vertical-align:middle}"
        "</style>\n</head>\n<body>\n<h1>Autofocus runs</h1>\n");
    if (count == 1)
        Put(out, "<p>The last recorded run.</p>\n");
    else
        Put(out, "<p>The last ^ recorded runs, newest first.</p>\n", static_cast<double>(count));
    Put(out,
        "<p><span style=\"background:`\"></span>step value<span style=\"background:`\"></span>fitted "
        "curve<span style=\"background:`\"></span>three-point result<span style=\"background:`\"></span>fitted "
        "peak</p>\n",
        kPlotPointColour, kPlotCurveColour, kPlotThreePointColour, kPlotFitPeakColour);
    // The new run's section, then the kept ones.
    AppendPlot(out, record);
    AppendNumbers(out, record);
    out += sections;
    Put(out, "</body>\n</html>\n");
    return out;
}

}  // namespace qm

// Renders the run page: plain HTML with an inline style sheet and one inline SVG plot
// per run. Every text from a record is escaped, so a driver name or a check's reason
// can never add markup to the page.
#include "app/run_page.h"

#include <algorithm>
#include <cmath>

#include "common/decimal_text.h"

namespace qm {

namespace {

// Plot geometry in SVG user units.
constexpr double kPlotWidth = 440;
constexpr double kPlotHeight = 240;
constexpr double kLeft = 62, kRight = 14, kTop = 14, kBottom = 34;
// Room left beside the outermost points, as a share of the span.
constexpr double kSpanMargin = 0.05;
constexpr double kValueHeadroom = 1.08;

std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Fixed(double value, int decimals) {
    std::string text = FixedDecimal(value, decimals);
    return text.empty() ? "-" : text;
}

// Maps run positions and focus values onto the plot area.
struct PlotScale {
    double xMin = 0, xMax = 1, yMax = 1;

    double X(double position) const {
        return kLeft + (position - xMin) / (xMax - xMin) * (kPlotWidth - kLeft - kRight);
    }
    double Y(double value) const { return kPlotHeight - kBottom - value / yMax * (kPlotHeight - kTop - kBottom); }
};

bool HasFitPeak(const RunRecord& r) {
    return r.verdict && r.verdict->fitConverged && std::isfinite(r.verdict->fitPeak);
}
bool HasThreePoint(const RunRecord& r) {
    return r.verdict && r.verdict->threePoint != 0;
}

PlotScale ScaleFor(const RunRecord& r) {
    double xMin = INFINITY, xMax = -INFINITY, yMax = 0;
    const auto takeX = [&](double x) {
        if (!std::isfinite(x))
            return;
        xMin = std::min(xMin, x);
        xMax = std::max(xMax, x);
    };
    for (const RunStep& p : r.points) {
        takeX(p.position);
        yMax = std::max(yMax, static_cast<double>(p.value));
        for (int32_t v : p.values)
            yMax = std::max(yMax, static_cast<double>(v));
    }
    if (r.verdict) {
        for (const auto& [x, y] : r.verdict->fitCurve) {
            takeX(x);
            if (std::isfinite(y))
                yMax = std::max(yMax, y);
        }
    }
    if (HasThreePoint(r))
        takeX(r.verdict->threePoint);
    if (HasFitPeak(r))
        takeX(r.verdict->fitPeak);
    PlotScale scale;
    if (!(xMin <= xMax))
        xMin = xMax = 0;
    double span = xMax - xMin;
    if (span <= 0)
        span = std::max(1.0, static_cast<double>(r.increment));
    scale.xMin = xMin - span * kSpanMargin;
    scale.xMax = xMax + span * kSpanMargin;
    if (xMax == xMin)
        scale.xMin = xMin - span, scale.xMax = xMax + span;
    scale.yMax = yMax > 0 ? yMax * kValueHeadroom : 1;
    return scale;
}

void AppendVerticalMark(std::string& out, const PlotScale& s, double position, const char* colour, const char* dash) {
    const std::string x = Fixed(s.X(position), 1);
    out += "<line x1=\"" + x + "\" y1=\"" + Fixed(kTop, 1) + "\" x2=\"" + x + "\" y2=\"" +
           Fixed(kPlotHeight - kBottom, 1) + "\" stroke=\"" + colour + "\" stroke-width=\"3\"";
    if (*dash)
        out += std::string(" stroke-dasharray=\"") + dash + "\"";
    out += "/>\n";
}

std::string Plot(const RunRecord& r) {
    const PlotScale s = ScaleFor(r);
    std::string out = "<svg class=\"plot\" width=\"" + Fixed(kPlotWidth, 0) + "\" height=\"" + Fixed(kPlotHeight, 0) +
                      "\" viewBox=\"0 0 " + Fixed(kPlotWidth, 0) + " " + Fixed(kPlotHeight, 0) + "\">\n";
    const double right = kPlotWidth - kRight, bottom = kPlotHeight - kBottom;
    out += "<rect x=\"" + Fixed(kLeft, 1) + "\" y=\"" + Fixed(kTop, 1) + "\" width=\"" + Fixed(right - kLeft, 1) +
           "\" height=\"" + Fixed(bottom - kTop, 1) + "\" fill=\"#ffffff\" stroke=\"#8a8a8a\"/>\n";
    // Axis labels: the ends of the position axis and the top of the value axis.
    out += "<text x=\"" + Fixed(kLeft, 1) + "\" y=\"" + Fixed(bottom + 18, 1) + "\">" + Fixed(s.xMin, 0) + "</text>\n";
    out += "<text x=\"" + Fixed(right, 1) + "\" y=\"" + Fixed(bottom + 18, 1) + "\" text-anchor=\"end\">" +
           Fixed(s.xMax, 0) + "</text>\n";
    out += "<text x=\"" + Fixed(kLeft - 6, 1) + "\" y=\"" + Fixed(kTop + 10, 1) + "\" text-anchor=\"end\">" +
           Fixed(s.yMax, 0) + "</text>\n";
    out += "<text x=\"" + Fixed(kLeft - 6, 1) + "\" y=\"" + Fixed(bottom, 1) + "\" text-anchor=\"end\">0</text>\n";

    if (r.points.empty()) {
        out += "<text x=\"" + Fixed((kLeft + right) / 2, 1) + "\" y=\"" + Fixed((kTop + bottom) / 2, 1) +
               "\" text-anchor=\"middle\">no step completed</text>\n";
    }
    if (HasThreePoint(r))
        AppendVerticalMark(out, s, r.verdict->threePoint, kPlotThreePointColour, "");
    if (HasFitPeak(r))
        AppendVerticalMark(out, s, r.verdict->fitPeak, kPlotFitPeakColour, "6,4");
    if (r.verdict && !r.verdict->fitCurve.empty()) {
        out += "<polyline fill=\"none\" stroke=\"";
        out += kPlotCurveColour;
        out += "\" stroke-width=\"3\" points=\"";
        for (const auto& [x, y] : r.verdict->fitCurve) {
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            const double clampedY = std::clamp(y, 0.0, s.yMax);
            out += Fixed(s.X(x), 1) + "," + Fixed(s.Y(clampedY), 1) + " ";
        }
        out += "\"/>\n";
    }
    for (const RunStep& p : r.points) {
        // Every counted value as a small dot, the step's value as the large one.
        for (int32_t v : p.values) {
            out += "<circle cx=\"" + Fixed(s.X(p.position), 1) + "\" cy=\"" + Fixed(s.Y(std::max(0, v)), 1) +
                   "\" r=\"2.5\" fill=\"#9aa6b8\"/>\n";
        }
        out += "<circle cx=\"" + Fixed(s.X(p.position), 1) + "\" cy=\"" + Fixed(s.Y(p.value), 1) + "\" r=\"5\" fill=\"";
        out += kPlotPointColour;
        out += "\"/>\n";
    }
    out += "</svg>\n";
    return out;
}

std::string Row(const std::string& name, const std::string& valueHtml) {
    return "<tr><th>" + Escaped(name) + "</th><td>" + valueHtml + "</td></tr>\n";
}

std::string Numbers(const RunRecord& r) {
    std::string out = "<table class=\"numbers\">\n";
    out += Row("Time (UTC)", Escaped(r.timeUtc));
    out += Row("Driver", Escaped(r.driverId));
    out += Row("Outcome", std::string("<b>") + RunOutcomeName(r.outcome) + "</b>");
    out += Row("Steps, Increment, Expo/Step", std::to_string(r.steps) + ", " + std::to_string(r.increment) + ", " +
                                                  std::to_string(r.exposuresPerStep));
    if (r.verdict) {
        const RunVerdict& v = *r.verdict;
        out += Row("Three-point result", v.threePoint != 0 ? std::to_string(v.threePoint) : "failed");
        out += Row("Fitted peak",
                   v.fitConverged ? Fixed(v.fitPeak, 1) + " (quality " + Fixed(v.fitQuality, 3) + ")" : "no fit");
        out += Row("Curve check", v.checkPassed ? "passed" : "refused: " + Escaped(v.checkReason));
    }
    out += Row("Moved to", r.movedTo ? std::to_string(*r.movedTo) : "-");
    out += Row("Duration", Fixed(r.durationMs / 1000.0, 1) + " s");
    std::string steps;
    for (const RunStep& p : r.points) {
        steps += std::to_string(p.position) + " = " + std::to_string(p.value) + " (";
        for (size_t i = 0; i < p.values.size(); ++i)
            steps += (i ? ", " : "") + std::to_string(p.values[i]);
        steps += ")<br>";
    }
    if (!r.pendingValues.empty()) {
        steps += "not completed (";
        for (size_t i = 0; i < r.pendingValues.size(); ++i)
            steps += (i ? ", " : "") + std::to_string(r.pendingValues[i]);
        steps += ")";
    }
    out += Row("Positions", steps.empty() ? "-" : steps);
    out += "</table>\n";
    return out;
}

constexpr const char* kStyle =
    "body{font-family:sans-serif;font-size:13px;margin:16px;color:#202020;background:#f4f4f4}"
    "h1{font-size:18px}"
    ".run{display:flex;gap:18px;align-items:flex-start;background:#fff;border:1px solid #ccc;"
    "padding:10px;margin:0 0 12px 0}"
    ".plot text{font-size:11px;fill:#404040}"
    ".numbers th{text-align:left;padding-right:10px;vertical-align:top;font-weight:normal;color:#606060}"
    ".key span{display:inline-block;width:14px;height:4px;margin:0 4px 2px 12px;vertical-align:middle}";

}  // namespace

std::string RenderRunPage(const std::vector<RunRecord>& records) {
    std::string out =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Autofocus runs</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<h1>Autofocus runs</h1>\n";
    const size_t shown = std::min(records.size(), kRunPageRuns);
    out += shown == 1 ? std::string("<p>The last recorded run.</p>\n")
                      : "<p>The last " + std::to_string(shown) + " recorded runs, newest first.</p>\n";
    out += std::string("<p class=\"key\"><span style=\"background:") + kPlotPointColour +
           "\"></span>step value<span style=\"background:" + kPlotCurveColour +
           "\"></span>fitted curve<span style=\"background:" + kPlotThreePointColour +
           "\"></span>three-point result<span style=\"background:" + kPlotFitPeakColour + "\"></span>fitted peak</p>\n";
    for (size_t k = 0; k < shown; ++k) {
        const RunRecord& r = records[records.size() - 1 - k];
        out += "<div class=\"run\">\n" + Plot(r) + Numbers(r) + "</div>\n";
    }
    out += "</body>\n</html>\n";
    return out;
}

}  // namespace qm

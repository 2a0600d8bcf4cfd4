// The run page's plots: see svg_plot.h.
#include "record/svg_plot.h"

#include <cmath>

#include "common/decimal_text.h"
#include "record/html_text.h"

namespace qm::plot {

namespace {

void AppendCoordinate(std::string& out, double value) {
    if (!AppendDecimal(out, std::isfinite(value) ? value : 0, 1, true))
        out += '0';  // too large to write: far outside the picture either way
}

// ` name="value"`, the value to one decimal.
void Attribute(std::string& out, const char* name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendCoordinate(out, value);
    out += '"';
}

void Attribute(std::string& out, const char* name, const char* value) {
    out += ' ';
    out += name;
    out += "=\"";
    out += value;
    out += '"';
}

void AppendPlaceOfArea(std::string& out, const Frame& frame) {
    Attribute(out, "x", frame.left);
    Attribute(out, "y", frame.top);
    Attribute(out, "width", frame.right - frame.left);
    Attribute(out, "height", frame.bottom - frame.top);
}

}  // namespace

Axis AxisAround(double least, double most, double loneSpan, double from, double to) {
    Axis axis;
    axis.from = from;
    axis.to = to;
    if (most - least < loneSpan) {
        const double middle = least + (most - least) / 2;
        axis.low = middle - loneSpan;
        axis.high = middle + loneSpan;
    } else {
        axis.low = least - (most - least) * kSpanMargin;
        axis.high = most + (most - least) * kSpanMargin;
    }
    return axis;
}

double RoundStep(const Axis& axis, double smallest) {
    const double rough = (axis.high - axis.low) / kMostTicks;
    // From the power of ten at or below `rough` (or 1) upwards, by steps rather than logarithms.
    double power = 1;
    while (power > rough)
        power /= 10;
    for (;;) {
        for (double factor : {1.0, 2.0, 5.0}) {
            const double step = factor * power;
            if (step >= smallest && step >= rough)
                return step;
        }
        power *= 10;
    }
}

int DecimalsOf(double step) {
    int decimals = 0;
    for (double unit = 1; unit > step * 1.0000001 && decimals < 6; unit /= 10)
        ++decimals;
    return decimals;
}

void OpenPicture(std::string& out, const Frame& frame, const char* style) {
    out += "<svg";
    Attribute(out, "width", frame.width);
    Attribute(out, "height", frame.height);
    if (style)
        Attribute(out, "style", style);
    out += ">\n";
}

void AppendPlotArea(std::string& out, const Frame& frame) {
    out += "<rect";
    AppendPlaceOfArea(out, frame);
    Attribute(out, "fill", "#fff");
    Attribute(out, "stroke", kFrameColour);
    out += "/>\n";
}

void OpenClippedPlotArea(std::string& out, const Frame& frame) {
    out += "<svg";
    AppendPlaceOfArea(out, frame);
    out += ">\n";
}

void AppendText(std::string& out, double x, double y, const char* anchor, const std::string& text, const char* style) {
    out += "<text";
    Attribute(out, "x", x);
    Attribute(out, "y", y);
    Attribute(out, "text-anchor", anchor);
    if (style)
        Attribute(out, "style", style);
    out += '>';
    AppendHtmlEscaped(out, text);
    out += "</text>\n";
}

void AppendLine(std::string& out,
                double x1,
                double y1,
                double x2,
                double y2,
                const char* colour,
                double width,
                const char* dash) {
    out += "<line";
    Attribute(out, "x1", x1);
    Attribute(out, "y1", y1);
    Attribute(out, "x2", x2);
    Attribute(out, "y2", y2);
    Attribute(out, "stroke", colour);
    Attribute(out, "stroke-width", width);
    if (dash)
        Attribute(out, "stroke-dasharray", dash);
    out += "/>\n";
}

void AppendDot(std::string& out, double x, double y, double radius, const char* colour, const std::string& tooltip) {
    out += "<circle";
    Attribute(out, "cx", x);
    Attribute(out, "cy", y);
    Attribute(out, "r", radius);
    Attribute(out, "fill", colour);
    if (tooltip.empty()) {
        out += "/>\n";
        return;
    }
    out += "><title>";
    AppendHtmlEscaped(out, tooltip);
    out += "</title></circle>\n";
}

void AppendPolyline(std::string& out,
                    const std::vector<std::pair<double, double>>& points,
                    const char* colour,
                    double width) {
    out += "<polyline fill=\"none\"";
    Attribute(out, "stroke", colour);
    Attribute(out, "stroke-width", width);
    out += " points=\"";
    for (const auto& [x, y] : points) {
        AppendCoordinate(out, x);
        out += ',';
        AppendCoordinate(out, y);
        out += ' ';
    }
    out += "\"/>\n";
}

}  // namespace qm::plot

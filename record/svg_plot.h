// The inline SVG plots of the run page, its runs' plots and the history above them:
// the picture with its plot area, the axes that map numbers onto it, their round ticks,
// and the marks (frame, lines, dots, polylines, texts). Every coordinate is written to one
// decimal at most (trailing zeros left off) with common/decimal_text.h; one that is not finite is written as 0, so that
// it could at worst misplace a mark, never spoil the picture (the callers keep such numbers away from the plots).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qm::plot {

// A picture and its plot area, in SVG user units.
struct Frame {
    double width, height;
    double left, top, right, bottom;

    double MiddleX() const { return (left + right) / 2; }
    double MiddleY() const { return (top + bottom) / 2; }
};

// The colour of the plot area's frame and of the ticks on it.
inline constexpr char kFrameColour[] = "#8a8a8a";

// Room left beyond the outermost points of an axis, as a share of their span.
inline constexpr double kSpanMargin = 0.06;
// At most this many ticks on an axis, so that their labels never run into each other.
inline constexpr int kMostTicks = 6;

// Maps one axis's numbers onto a stretch of the picture.
struct Axis {
    double low = 0, high = 1;  // the numbers at the ends; low < high
    double from = 0, to = 1;   // where they stand in the picture

    double At(double value) const { return from + (value - low) / (high - low) * (to - from); }
};

// The axis for values from `least` to `most` with kSpanMargin beyond them; values closer
// together than `loneSpan` are shown within `loneSpan` on either side of their middle.
Axis AxisAround(double least, double most, double loneSpan, double from, double to);

// A round step (1, 2 or 5 times a power of ten, at least `smallest`) that puts at most
// kMostTicks ticks on the axis.
double RoundStep(const Axis& axis, double smallest);

// Decimals that show every multiple of a round step exactly.
int DecimalsOf(double step);

// The picture's opening tag, with an inline style when `style` is given.
void OpenPicture(std::string& out, const Frame& frame, const char* style = nullptr);

// The plot area's white rectangle with its frame.
void AppendPlotArea(std::string& out, const Frame& frame);

// A nested picture over the plot area, whose coordinates start at the plot area's
// corner and which clips what is drawn in it at the frame; closed with "</svg>".
void OpenClippedPlotArea(std::string& out, const Frame& frame);

// A text placed at (x, y), `anchor` "start", "middle" or "end"; the text is escaped.
void AppendText(std::string& out,
                double x,
                double y,
                const char* anchor,
                const std::string& text,
                const char* style = nullptr);

// A straight line; `dash` an SVG dash array such as "6,4", or none.
void AppendLine(std::string& out,
                double x1,
                double y1,
                double x2,
                double y2,
                const char* colour,
                double width,
                const char* dash = nullptr);

// A dot; with a tooltip when `tooltip` is not empty.
void AppendDot(std::string& out,
               double x,
               double y,
               double radius,
               const char* colour,
               const std::string& tooltip = {});

// A line through picture points.
void AppendPolyline(std::string& out,
                    const std::vector<std::pair<double, double>>& points,
                    const char* colour,
                    double width);

}  // namespace qm::plot

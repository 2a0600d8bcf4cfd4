// The plot helper of the run page: axes around the plotted values, round ticks, and
// how the marks are written.
#include "record/svg_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace qm::plot {
namespace {

TEST(SvgPlot, AxisAroundLeavesRoomOrCentresALoneValue) {
    const struct {
        double least, most, lone;
        double low, high;
    } cases[] = {
        {900, 1100, 100, 888, 1112},   // a margin of a share of the span on each side
        {1000, 1000, 100, 900, 1100},  // a single value: the lone span on either side
        {1000, 1040, 50, 970, 1070},   // closer together than the lone span: around their middle
        {-2.5, 2.5, 1, -2.8, 2.8},
    };
    for (const auto& c : cases) {
        const Axis axis = AxisAround(c.least, c.most, c.lone, 10, 110);
        EXPECT_DOUBLE_EQ(axis.low, c.low) << c.least << ".." << c.most;
        EXPECT_DOUBLE_EQ(axis.high, c.high) << c.least << ".." << c.most;
        EXPECT_DOUBLE_EQ(axis.At(axis.low), 10);
        EXPECT_DOUBLE_EQ(axis.At(axis.high), 110);
    }
    // Upwards on the picture: the larger value at the smaller coordinate.
    const Axis up{0, 50, 206, 14};
    EXPECT_DOUBLE_EQ(up.At(25), 110);
}

TEST(SvgPlot, RoundStepsAndTheirDecimals) {
    const struct {
        double low, high, smallest;
        double step;
        int decimals;
    } cases[] = {
        {0, 60, 1, 10, 0},   {0, 61, 1, 20, 0},   {9940, 10050, 1, 20, 0}, {0, 3, 1, 1, 0},
        {0, 3, 0.1, 0.5, 1}, {2, 3, 0.1, 0.2, 1}, {0, 0.1, 0.01, 0.02, 2}, {0, 5000, 1, 1000, 0},
    };
    for (const auto& c : cases) {
        const double step = RoundStep({c.low, c.high, 0, 1}, c.smallest);
        EXPECT_DOUBLE_EQ(step, c.step) << c.low << ".." << c.high;
        EXPECT_LE((c.high - c.low) / step, kMostTicks);
        EXPECT_EQ(DecimalsOf(step), c.decimals) << step;
    }
}

TEST(SvgPlot, MarksWriteCoordinatesToOneDecimalWithoutTrailingZeros) {
    std::string out;
    AppendDot(out, 62, 28.25, 2.5, "#123456");
    AppendDot(out, 1.05, NAN, 4.5, "#abcdef", "a <b>");
    AppendLine(out, 0, 1e300, INFINITY, 3.04, "#000", 1.5, "6,4");
    AppendPolyline(out, {{1, 2}, {3.35, -4}}, "#fff", 3);
    AppendText(out, 4, 14, "end", "x & y", "font-weight:bold");
    EXPECT_EQ(out,
              "<circle cx=\"62\" cy=\"28.2\" r=\"2.5\" fill=\"#123456\"/>\n"
              "<circle cx=\"1\" cy=\"0\" r=\"4.5\" fill=\"#abcdef\"><title>a &lt;b&gt;</title></circle>\n"
              "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"3\" stroke=\"#000\" stroke-width=\"1.5\" "
              "stroke-dasharray=\"6,4\"/>\n"
              "<polyline fill=\"none\" stroke=\"#fff\" stroke-width=\"3\" points=\"1,2 3.4,-4 \"/>\n"
              "<text x=\"4\" y=\"14\" text-anchor=\"end\" style=\"font-weight:bold\">x &amp; y</text>\n");
}

}  // namespace
}  // namespace qm::plot

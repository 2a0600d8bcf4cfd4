// Painting of the spin button's faces and arrows on the Canvas seam.
#include "controls/bi_button_paint.h"

#include <algorithm>

#include "common/dpi_scale.h"

namespace qm {

namespace {

constexpr int kArrowRows = 7;
constexpr int kArrowLengths[kArrowRows] = {1, 2, 3, 4, 3, 2, 1};
constexpr int kArrowShades[kArrowRows] = {144, 120, 88, 48, 0, 0, 0};
constexpr int kHeldRedBits = 240;
constexpr int kHeldGreenBlueBits = 7;

// face + n in each channel; n may exceed 255 for tall gradients, so it is capped
// first (Gray() keeps only the low byte).
Color Lighter(Color face, int n) {
    return AddColor(face, Gray(std::clamp(n, 0, 255)));
}

Color Darker(Color face, int n) {
    return SubtractColor(face, Gray(std::clamp(n, 0, 255)));
}

}  // namespace

int GradientBandHeight(int h) {
    return std::min(h / 16 + 1, kMaxBandHeight);
}

namespace {

// The edges of a flat face, one pixel wide, along the rectangle's own rows and columns.
void DrawFlatEdges(Canvas& canvas, int left, int top, int right, int bottom, Color face, bool pressed) {
    if (!pressed) {
        Color upper = Darker(face, kFlatUpperEdge);
        canvas.Line(right, top, left, top, upper);
        canvas.Line(left, top, left, bottom, upper);
        // The bottom-left corner pixel sits between the two shades.
        canvas.SetPixel(left, bottom, Darker(face, kFlatCorner));
        Color lower = Darker(face, kFlatLowerEdge);
        if (right > left)
            canvas.Line(left + 1, bottom, right, bottom, lower);  // a one-pixel face has no run
        canvas.Line(right, bottom, right, top, lower);
    } else {
        // Pressed: the upper edges darkest, the lower ones lighter.
        Color upper = Darker(face, kFlatPressedUpperEdge);
        canvas.Line(right, top, left, top, upper);
        canvas.Line(left, top, left, bottom, upper);
        Color lower = Darker(face, kFlatUpperEdge);
        canvas.Line(left, bottom, right, bottom, lower);
        canvas.Line(right, bottom, right, top, lower);
    }
}

void DrawGradientEdges(Canvas& canvas, int left, int top, int right, int bottom, Color face, bool pressed) {
    Color light = Lighter(face, kGradientLight);
    Color dark = Darker(face, kGradientDark);
    Color first = pressed ? dark : light;
    Color second = pressed ? light : dark;
    canvas.Line(left, bottom, left, top, first);
    canvas.Line(left, top, right, top, first);
    canvas.Line(right, top, right, bottom, second);
    canvas.Line(right, bottom, left, bottom, second);
}

// Edges lineWidth pixels wide: the one-pixel edges drawn on nested rectangles, so that
// corners stay mitred. A face too small for all of them gets those that fit.
template <typename DrawEdges>
void DrawNestedEdges(DrawEdges draw,
                     Canvas& canvas,
                     int left,
                     int top,
                     int right,
                     int bottom,
                     Color face,
                     bool pressed,
                     int lineWidth) {
    for (int k = 0; k < std::max(lineWidth, 1); ++k) {
        if (left + k > right - k || top + k > bottom - k)
            break;
        draw(canvas, left + k, top + k, right - k, bottom - k, face, pressed);
    }
}

}  // namespace

void DrawFlatFace(Canvas& canvas, int left, int top, int right, int bottom, Color face, bool pressed, int lineWidth) {
    canvas.FillRect(Rect{left, top, right + 1, bottom + 1}, Lighter(face, kFlatFill));
    DrawNestedEdges(DrawFlatEdges, canvas, left, top, right, bottom, face, pressed, lineWidth);
}

void DrawGradientFace(Canvas& canvas,
                      int left,
                      int top,
                      int right,
                      int bottom,
                      Color face,
                      bool pressed,
                      int lineWidth) {
    const int h = bottom - top;
    if (pressed) {
        canvas.FillRect(Rect{left, top, right + 1, bottom + 1}, AddColor(face, kGradientPressedTint));
    } else {
        // Bands from the bottom up; the topmost one is cut at the top row.
        const int band = GradientBandHeight(h);
        int step = 0;
        for (int rowEnd = h; rowEnd > 0; rowEnd -= band, ++step) {
            int rowStart = std::max(rowEnd - band, 0);
            canvas.FillRect(Rect{left, top + rowStart, right + 1, top + rowEnd}, Lighter(face, step));
        }
    }
    DrawNestedEdges(DrawGradientEdges, canvas, left, top, right, bottom, face, pressed, lineWidth);
}

Color ArrowRowColor(int row, bool held) {
    int shade = kArrowShades[std::clamp(row, 0, kArrowRows - 1)];
    if (!held)
        return Gray(shade);
    return Rgb(shade | kHeldRedBits, shade | kHeldGreenBlueBits, shade | kHeldGreenBlueBits);
}

void DrawArrow(Canvas& canvas, int x, int y, ArrowDirection direction, bool held, int unit) {
    unit = std::max(unit, 1);
    // Each pixel of the 96-DPI arrow is a unit x unit block, the whole still centred on (x, y).
    const int top = y - 3 * unit - (unit - 1) / 2;
    for (int row = 0; row < kArrowRows; ++row) {
        const int rowTop = top + row * unit;
        const int length = kArrowLengths[row] * unit;
        const Color color = ArrowRowColor(row, held);
        const int left = direction == ArrowDirection::Right ? x - 2 * unit : x + 2 * unit - length;
        canvas.FillRect(Rect{left, rowTop, left + length, rowTop + unit}, color);
    }
}

void PaintBiButton(Canvas& canvas,
                   int width,
                   int height,
                   bool upPressed,
                   bool downPressed,
                   bool gradient,
                   Color face,
                   int dpi) {
    const int half = width / 2;
    const int unit = LineWidthForDpi(dpi);
    auto drawFace = gradient ? DrawGradientFace : DrawFlatFace;
    if (!upPressed)
        drawFace(canvas, 0, 0, half - 1, height - 1, face, downPressed, unit);
    if (!downPressed)
        drawFace(canvas, half, 0, width - 1, height - 1, face, upPressed, unit);
    DrawArrow(canvas, half / 2, height / 2, ArrowDirection::Left, downPressed, unit);
    DrawArrow(canvas, half + half / 2, height / 2, ArrowDirection::Right, upPressed, unit);
}

}  // namespace qm

// Painting of the spin button's faces and arrows on the Canvas seam.
#include "controls/bi_button_paint.h"

#include <algorithm>

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

void DrawFlatFace(Canvas& canvas, int left, int top, int right, int bottom, Color face, bool pressed) {
    canvas.FillRect(Rect{left, top, right + 1, bottom + 1}, Lighter(face, kFlatFill));
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

void DrawGradientFace(Canvas& canvas, int left, int top, int right, int bottom, Color face, bool pressed) {
    const int w = right - left;
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
    Color light = Lighter(face, kGradientLight);
    Color dark = Darker(face, kGradientDark);
    Color first = pressed ? dark : light;
    Color second = pressed ? light : dark;
    canvas.Line(left, top + h, left, top, first);
    canvas.Line(left, top, left + w, top, first);
    canvas.Line(left + w, top, left + w, top + h, second);
    canvas.Line(left + w, top + h, left, top + h, second);
}

Color ArrowRowColor(int row, bool held) {
    int shade = kArrowShades[std::clamp(row, 0, kArrowRows - 1)];
    if (!held)
        return Gray(shade);
    return Rgb(shade | kHeldRedBits, shade | kHeldGreenBlueBits, shade | kHeldGreenBlueBits);
}

void DrawArrow(Canvas& canvas, int x, int y, ArrowDirection direction, bool held) {
    for (int row = 0; row < kArrowRows; ++row) {
        const int rowY = y - 3 + row;
        const int length = kArrowLengths[row];
        const Color color = ArrowRowColor(row, held);
        if (direction == ArrowDirection::Right)
            canvas.Line(x - 2, rowY, x - 2 + length, rowY, color);
        else
            canvas.Line(x + 1, rowY, x + 1 - length, rowY, color);
    }
}

void PaintBiButton(Canvas& canvas, int width, int height, bool upPressed, bool downPressed, bool gradient, Color face) {
    const int half = width / 2;
    auto drawFace = gradient ? DrawGradientFace : DrawFlatFace;
    if (!upPressed)
        drawFace(canvas, 0, 0, half - 1, height - 1, face, downPressed);
    if (!downPressed)
        drawFace(canvas, half, 0, width - 1, height - 1, face, upPressed);
    DrawArrow(canvas, half / 2, height / 2, ArrowDirection::Left, downPressed);
    DrawArrow(canvas, half + half / 2, height / 2, ArrowDirection::Right, upPressed);
}

}  // namespace qm

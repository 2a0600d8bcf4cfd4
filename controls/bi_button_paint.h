// The painting arithmetic of the spin button (TBiButton): two faces side by side,
// flat bevel or banded gradient, each with a small arrow drawn row by row. All of it
// works on the Canvas seam, so the same code paints a window and an in-memory grid.
//
// Face rectangles here are given by their inclusive corners (left, top)-(right,
// bottom): the edge lines run along right and bottom themselves.
#pragma once

#include "common/color.h"
#include "controls/canvas.h"

namespace qm {

enum class ArrowDirection { Left, Right };

// Amounts added to or taken from the button-face colour for the parts of a face.
inline constexpr int kFlatFill = 8;
inline constexpr int kFlatUpperEdge = 16;
inline constexpr int kFlatCorner = 56;
inline constexpr int kFlatLowerEdge = 96;
inline constexpr int kFlatPressedUpperEdge = 48;
inline constexpr int kGradientLight = 16;
inline constexpr int kGradientDark = 32;
inline constexpr Color kGradientPressedTint = Rgb(36, 52, 36);
inline constexpr int kMaxBandHeight = 3;

// Height in rows of one gradient band for a face whose bottom edge is at row h.
int GradientBandHeight(int h);

// A flat face: filled with face + 8, light top-left edges and dark bottom-right
// edges, or the reverse shading when pressed. The edges are lineWidth pixels wide (one at
// 96 DPI).
void DrawFlatFace(Canvas& canvas,
                  int left,
                  int top,
                  int right,
                  int bottom,
                  Color face,
                  bool pressed,
                  int lineWidth = 1);

// A gradient face: horizontal bands that get one step lighter from the bottom up, or
// one tinted colour when pressed, framed by a light and a dark edge. top is 0 for
// every face this control paints; the bands are measured from it. The edges are
// lineWidth pixels wide.
void DrawGradientFace(Canvas& canvas,
                      int left,
                      int top,
                      int right,
                      int bottom,
                      Color face,
                      bool pressed,
                      int lineWidth = 1);

// The colour of row 0..6 (top to bottom) of an arrow; held arrows are tinted red.
Color ArrowRowColor(int row, bool held);

// A seven-row arrow centred at (x, y), pointing left or right; each of its pixels is a
// unit x unit block (a pixel at 96 DPI).
void DrawArrow(Canvas& canvas, int x, int y, ArrowDirection direction, bool held, int unit = 1);

// Paints the whole button: the left (down) face and arrow, the right (up) face and
// arrow. While one half is held, the other half's face is not painted. At a density
// other than 96 DPI edges and arrows are drawn with lines of its scaled width.
void PaintBiButton(Canvas& canvas,
                   int width,
                   int height,
                   bool upPressed,
                   bool downPressed,
                   bool gradient,
                   Color face,
                   int dpi = 96);

}  // namespace qm

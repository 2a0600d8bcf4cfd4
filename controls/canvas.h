// The drawing surface the painters use. The Win32 one (canvas_win.h) draws into a
// device context; PixelCanvas (pixel_canvas.h) is an in-memory pixel grid, so the
// painting arithmetic is checked pixel by pixel without a window.
#pragma once

#include "common/color.h"

namespace qm {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom are exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class Canvas {
public:
    virtual ~Canvas() = default;
    // Fills left..right-1, top..bottom-1.
    virtual void FillRect(const Rect& r, Color c) = 0;
    virtual void SetPixel(int x, int y, Color c) = 0;
    virtual Color GetPixel(int x, int y) const = 0;
    // Draws a one-pixel line from (x0, y0) to (x1, y1) that includes its start point and
    // excludes its end point, as the platform's line drawing does. Only horizontal,
    // vertical and 45-degree lines are needed.
    virtual void Line(int x0, int y0, int x1, int y1, Color c) = 0;
};

}  // namespace qm

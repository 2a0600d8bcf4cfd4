// A Canvas over a Win32 device context. Lines are drawn with MoveToEx/LineTo and a
// one-pixel solid pen, so they keep the platform's "start in, end out" rule.
#pragma once

#include <windows.h>

#include "controls/canvas.h"

namespace qm::win {

class DCCanvas : public Canvas {
public:
    explicit DCCanvas(HDC dc) : dc_(dc) {}
    void FillRect(const Rect& r, Color c) override;
    void SetPixel(int x, int y, Color c) override;
    Color GetPixel(int x, int y) const override;
    void Line(int x0, int y0, int x1, int y1, Color c) override;
    HDC dc() const { return dc_; }

private:
    HDC dc_;
};

inline RECT ToRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

}  // namespace qm::win

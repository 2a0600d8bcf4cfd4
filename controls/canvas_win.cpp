// Canvas drawing into a device context.
#include "controls/canvas_win.h"

#include "common/raii_win.h"

namespace qm::win {

void DCCanvas::FillRect(const Rect& r, Color c) {
    Brush brush(CreateSolidBrush(c));
    RECT rc = ToRECT(r);
    ::FillRect(dc_, &rc, brush.get());
}

void DCCanvas::SetPixel(int x, int y, Color c) {
    ::SetPixel(dc_, x, y, c);
}

Color DCCanvas::GetPixel(int x, int y) const {
    return ::GetPixel(dc_, x, y);
}

void DCCanvas::Line(int x0, int y0, int x1, int y1, Color c) {
    Pen pen(CreatePen(PS_SOLID, 1, c));
    SelectObjectGuard select(dc_, pen.get());
    MoveToEx(dc_, x0, y0, nullptr);
    LineTo(dc_, x1, y1);
}

}  // namespace qm::win

// Frame, glyph placement, greyed glyph and glyph state of the owner-drawn push button.
#include "controls/xm_button_paint.h"

#include <algorithm>
#include <limits>

namespace qm {

Glyph::Glyph(int w, int h, Color fill)
    : width(std::max(w, 0)), height(std::max(h, 0)), pixels(static_cast<size_t>(width) * height, fill) {}

Glyph GlyphFromTable(const std::array<Color, kGlyphPixels>& table) {
    Glyph glyph(kGlyphSize, kGlyphSize);
    std::copy(table.begin(), table.end(), glyph.pixels.begin());
    return glyph;
}

const std::array<Color, kGlyphPixels>* BuiltInGlyphTable(TBitmapKind kind) {
    switch (kind) {
        case TBitmapKind::bkOk:
            return &OkGlyph;
        case TBitmapKind::bkCancel:
            return &CancelGlyph;
        case TBitmapKind::bkHelp:
            return &HelpGlyph;
        case TBitmapKind::bkNone:
        case TBitmapKind::bkCustom:
            break;
    }
    return nullptr;
}

FrameColors ButtonFrameColors(Color c, bool down, bool focused) {
    if (down) {
        return FrameColors{.face = AddColor(c, Gray(20)),
                           .innerBottomRight = AddColor(c, Gray(20)),
                           .innerTopLeft = SubtractColor(c, Gray(24)),
                           .outerTopLeft = SubtractColor(c, Gray(48)),
                           .outerBottomRight = SubtractColor(c, Gray(64)),
                           .corner = SubtractColor(c, Gray(36))};
    }
    return FrameColors{.face = focused ? AddColor(c, Gray(20)) : c,
                       .innerBottomRight = SubtractColor(c, Gray(40)),
                       .innerTopLeft = AddColor(c, Gray(24)),
                       .outerTopLeft = SubtractColor(c, Gray(48)),
                       .outerBottomRight = SubtractColor(c, Gray(128)),
                       .corner = SubtractColor(c, Gray(36))};
}

namespace {

// Draws frame pieces in coordinates relative to the rectangle, clipped to it.
class FramePen {
  public:
    FramePen(Canvas& canvas, const Rect& rect) : canvas_(canvas), rect_(rect) {}

    // Column x, rows y0 to y1 inclusive.
    void Column(int x, int y0, int y1, Color c) { Fill(x, y0, x, y1, c); }
    // Row y, columns x0 to x1 inclusive.
    void Row(int y, int x0, int x1, Color c) { Fill(x0, y, x1, y, c); }
    void Pixel(int x, int y, Color c) { Fill(x, y, x, y, c); }

  private:
    void Fill(int x0, int y0, int x1, int y1, Color c) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, rect_.Width() - 1);
        y1 = std::min(y1, rect_.Height() - 1);
        if (x0 > x1 || y0 > y1)
            return;
        if (x0 == x1 && y0 == y1) {
            canvas_.SetPixel(rect_.left + x0, rect_.top + y0, c);
        } else {
            canvas_.FillRect(Rect{rect_.left + x0, rect_.top + y0, rect_.left + x1 + 1, rect_.top + y1 + 1}, c);
        }
    }

    Canvas& canvas_;
    Rect rect_;
};

}  // namespace

void DrawButtonFrame(Canvas& canvas, const Rect& rect, Color color, bool down, bool focused) {
    const int w = rect.Width();
    const int h = rect.Height();
    if (w <= 0 || h <= 0)
        return;
    const FrameColors colors = ButtonFrameColors(color, down, focused);
    FramePen pen(canvas, rect);

    canvas.FillRect(rect, colors.face);
    pen.Column(w - 2, 2, h - 3, colors.innerBottomRight);
    pen.Row(h - 2, 1, w - 2, colors.innerBottomRight);
    pen.Column(1, 2, h - 3, colors.innerTopLeft);
    pen.Row(1, 1, w - 2, colors.innerTopLeft);
    pen.Column(0, 2, h - 2, colors.outerTopLeft);
    pen.Row(0, 2, w - 3, colors.outerTopLeft);
    pen.Column(w - 1, 2, h - 2, colors.outerBottomRight);
    pen.Row(h - 1, 1, w - 2, colors.outerBottomRight);
    for (Point p : {Point{0, 1}, Point{1, 1}, Point{1, 0}, Point{w - 1, 1}, Point{w - 2, 1}, Point{w - 2, 0},
                    Point{0, h - 1}, Point{w - 1, h - 1}}) {
        pen.Pixel(p.x, p.y, colors.corner);
    }
}

namespace {

int ClampToInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

Point GlyphPosition(int clientHeight, int glyphWidth, int glyphHeight, int offX, int offY, bool down) {
    // Wide arithmetic: OffX and OffY may be any 32-bit value.
    const int64_t shift = down ? 1 : 0;
    const int64_t x = (int64_t{clientHeight} - glyphWidth) / 2 + offX + 1 + shift;
    const int64_t y = (int64_t{clientHeight} - glyphHeight) / 2 + offY + shift;
    return Point{ClampToInt(x), ClampToInt(y)};
}

void DrawGlyphTransparent(Canvas& canvas, const Glyph& glyph, int x, int y) {
    if (glyph.Empty())
        return;
    const Color key = glyph.At(0, glyph.height - 1);
    for (int gy = 0; gy < glyph.height; ++gy) {
        for (int gx = 0; gx < glyph.width; ++gx) {
            const Color c = glyph.At(gx, gy);
            if (c == key)
                continue;
            // Wide sums: a glyph placed near the int limits is simply off the canvas.
            const int64_t px = int64_t{x} + gx;
            const int64_t py = int64_t{y} + gy;
            if (px < 0 || py < 0 || px > std::numeric_limits<int>::max() || py > std::numeric_limits<int>::max())
                continue;
            canvas.SetPixel(static_cast<int>(px), static_cast<int>(py), c);
        }
    }
}

Glyph MakeDisabledGlyph(const Glyph& bitmap, Color face) {
    Glyph copy = bitmap;
    if (bitmap.Empty())
        return copy;
    const Color key = bitmap.At(0, 0);
    for (Color& c : copy.pixels) {
        if (c == key)
            continue;
        c = Rgb((RedOf(c) + 3 * RedOf(face)) / 4, (GreenOf(c) + 3 * GreenOf(face)) / 4,
                (BlueOf(c) + 3 * BlueOf(face)) / 4);
    }
    return copy;
}

void TXMButtonState::RemakeDisabledBitmap() {
    if (disabledBitmap_)
        disabledBitmap_ = MakeDisabledGlyph(bitmap_, disabledFace_);
}

void TXMButtonState::AssignBitmap(std::optional<Glyph> image) {
    const bool given = image.has_value();
    bitmap_ = given ? std::move(*image) : Glyph();
    RemakeDisabledBitmap();
    if (bitmapKind_ == TBitmapKind::bkNone && given) {
        bitmapKind_ = loadedKind_ = TBitmapKind::bkCustom;
    } else if (bitmapKind_ == TBitmapKind::bkCustom && !given) {
        bitmapKind_ = loadedKind_ = TBitmapKind::bkNone;
    }
}

void TXMButtonState::LoadKindIfChanged() {
    if (bitmapKind_ == loadedKind_)
        return;
    loadedKind_ = bitmapKind_;
    if (const auto* table = BuiltInGlyphTable(bitmapKind_)) {
        bitmap_ = GlyphFromTable(*table);
        RemakeDisabledBitmap();
    }
}

const Glyph* TXMButtonState::GlyphToDraw(bool shownEnabled, Color face) {
    if (bitmapKind_ == TBitmapKind::bkNone || bitmap_.Empty())
        return nullptr;
    if (shownEnabled)
        return &bitmap_;
    if (!disabledBitmap_) {
        disabledFace_ = face;
        disabledBitmap_ = MakeDisabledGlyph(bitmap_, face);
    }
    return &*disabledBitmap_;
}

Rect PaintButton(Canvas& canvas, TXMButtonState& state, const PaintRequest& request) {
    state.SetFocusedLook(request.focused);
    const bool down = request.pressed || state.Down();
    Rect rect{0, 0, request.width, request.height};
    DrawButtonFrame(canvas, rect, request.color, down, state.FocusedLook());

    state.LoadKindIfChanged();
    if (const Glyph* glyph = state.GlyphToDraw(request.shownEnabled, request.face)) {
        const Point at = GlyphPosition(request.height, glyph->width, glyph->height, state.OffX(), state.OffY(), down);
        DrawGlyphTransparent(canvas, *glyph, at.x, at.y);
        rect.left = glyph->width + 2;
    }

    rect.left += 3;
    rect.top += 3;
    rect.right -= 3;
    rect.bottom -= 3;
    if (down) {
        rect.left += 1;
        rect.top += 1;
        rect.right += 1;
        rect.bottom += 1;
    }
    return rect;
}

}  // namespace qm

// Frame, glyph placement, greyed glyph and glyph state of the owner-drawn push button.
#include "controls/xm_button_paint.h"

#include <algorithm>
#include <limits>

#include "common/dpi_scale.h"

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

// Draws frame pieces clipped to the rectangle. The frame is laid out in bands one line
// wide: band k counted from the left (or top) edge, or from the right (or bottom) edge.
// With lines one pixel wide a band is a pixel column or row.
class FramePen {
  public:
    FramePen(Canvas& canvas, const Rect& rect, int lineWidth) : canvas_(canvas), rect_(rect), line_(lineWidth) {}

    struct Band {
        int index;
        bool fromEnd;
    };
    static constexpr Band Near(int k) { return Band{k, false}; }
    static constexpr Band Far(int k) { return Band{k, true}; }

    // Band x across the bands y0 to y1 inclusive.
    void Column(Band x, Band y0, Band y1, Color c) {
        Fill(First(x, Width()), First(y0, Height()), Last(x, Width()), Last(y1, Height()), c);
    }
    // Band y across the bands x0 to x1 inclusive.
    void Row(Band y, Band x0, Band x1, Color c) {
        Fill(First(x0, Width()), First(y, Height()), Last(x1, Width()), Last(y, Height()), c);
    }
    void Block(Band x, Band y, Color c) { Column(x, y, y, c); }

  private:
    int Width() const { return rect_.Width(); }
    int Height() const { return rect_.Height(); }
    // The first and last pixel of a band along an extent.
    int First(Band b, int extent) const { return b.fromEnd ? extent - (b.index + 1) * line_ : b.index * line_; }
    int Last(Band b, int extent) const { return First(b, extent) + line_ - 1; }

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
    int line_;
};

}  // namespace

void DrawButtonFrame(Canvas& canvas, const Rect& rect, Color color, bool down, bool focused, int lineWidth) {
    const int w = rect.Width();
    const int h = rect.Height();
    if (w <= 0 || h <= 0)
        return;
    const FrameColors colors = ButtonFrameColors(color, down, focused);
    FramePen pen(canvas, rect, std::max(lineWidth, 1));
    using P = FramePen;

    canvas.FillRect(rect, colors.face);
    pen.Column(P::Far(1), P::Near(2), P::Far(2), colors.innerBottomRight);
    pen.Row(P::Far(1), P::Near(1), P::Far(1), colors.innerBottomRight);
    pen.Column(P::Near(1), P::Near(2), P::Far(2), colors.innerTopLeft);
    pen.Row(P::Near(1), P::Near(1), P::Far(1), colors.innerTopLeft);
    pen.Column(P::Near(0), P::Near(2), P::Far(1), colors.outerTopLeft);
    pen.Row(P::Near(0), P::Near(2), P::Far(2), colors.outerTopLeft);
    pen.Column(P::Far(0), P::Near(2), P::Far(1), colors.outerBottomRight);
    pen.Row(P::Far(0), P::Near(1), P::Far(1), colors.outerBottomRight);
    const P::Band corners[][2] = {{P::Near(0), P::Near(1)}, {P::Near(1), P::Near(1)}, {P::Near(1), P::Near(0)},
                                  {P::Far(0), P::Near(1)},  {P::Far(1), P::Near(1)},  {P::Far(1), P::Near(0)},
                                  {P::Near(0), P::Far(0)},  {P::Far(0), P::Far(0)}};
    for (const auto& corner : corners)
        pen.Block(corner[0], corner[1], colors.corner);
}

namespace {

int ClampToInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

Point GlyphPosition(int clientHeight, int glyphWidth, int glyphHeight, int offX, int offY, bool down, int unit) {
    // Wide arithmetic: OffX and OffY may be any 32-bit value.
    const int64_t shift = down ? unit : 0;
    const int64_t x = (int64_t{clientHeight} - glyphWidth) / 2 + offX + unit + shift;
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

Glyph ScaleGlyph(const Glyph& glyph, int dpi) {
    const int width = ScaleToDpi(glyph.width, dpi);
    const int height = ScaleToDpi(glyph.height, dpi);
    if (glyph.Empty() || (width == glyph.width && height == glyph.height))
        return glyph;
    // Each pixel of the result takes the source pixel under its centre.
    Glyph scaled(width, height);
    for (int y = 0; y < height; ++y) {
        const int sy = std::min((2 * y + 1) * glyph.height / (2 * height), glyph.height - 1);
        for (int x = 0; x < width; ++x) {
            const int sx = std::min((2 * x + 1) * glyph.width / (2 * width), glyph.width - 1);
            scaled.Set(x, y, glyph.At(sx, sy));
        }
    }
    return scaled;
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
    const int unit = LineWidthForDpi(request.dpi);
    Rect rect{0, 0, request.width, request.height};
    DrawButtonFrame(canvas, rect, request.color, down, state.FocusedLook(), unit);

    state.LoadKindIfChanged();
    if (const Glyph* glyph = state.GlyphToDraw(request.shownEnabled, request.face)) {
        const Glyph scaled = ScaleGlyph(*glyph, request.dpi);
        const Point at =
            GlyphPosition(request.height, scaled.width, scaled.height, ScaleToDpi(state.OffX(), request.dpi),
                          ScaleToDpi(state.OffY(), request.dpi), down, unit);
        DrawGlyphTransparent(canvas, scaled, at.x, at.y);
        rect.left = scaled.width + ScaleToDpi(2, request.dpi);
    }

    // Rounded down: a caption that fits at 96 DPI is not clipped by the rounding.
    const int inset = ScaleDownToDpi(3, request.dpi);
    rect.left += inset;
    rect.top += inset;
    rect.right -= inset;
    rect.bottom -= inset;
    if (down) {
        rect.left += unit;
        rect.top += unit;
        rect.right += unit;
        rect.bottom += unit;
    }
    return rect;
}

}  // namespace qm

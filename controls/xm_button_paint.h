// The painting arithmetic and glyph state of the owner-drawn push button (TXMButton),
// free of any platform header so that it is checked pixel by pixel on a PixelCanvas.
//
// The Win32 control (xm_button_win.cpp) keeps a TXMButtonState, calls PaintButton with
// the draw request's flags into a canvas over the request's device context, and then
// draws the caption itself into the rectangle PaintButton returns.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/color.h"
#include "controls/bitmap_kind.h"
#include "controls/canvas.h"
#include "controls/glyphs.h"

namespace qm {

// A small picture: width x height colours stored row by row from the top.
struct Glyph {
    int width = 0;
    int height = 0;
    std::vector<Color> pixels;

    Glyph() = default;
    Glyph(int w, int h, Color fill = 0);
    bool Empty() const { return width <= 0 || height <= 0; }
    Color At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void Set(int x, int y, Color c) { pixels[static_cast<size_t>(y) * width + x] = c; }
    bool operator==(const Glyph&) const = default;
};

// A 16 x 16 glyph holding one of the built-in tables.
Glyph GlyphFromTable(const std::array<Color, kGlyphPixels>& table);
// The table of a built-in kind (bkOk, bkCancel, bkHelp); nullptr for bkNone and bkCustom.
const std::array<Color, kGlyphPixels>* BuiltInGlyphTable(TBitmapKind kind);

// The six shades of a button frame, computed from the base colour c.
struct FrameColors {
    Color face;
    Color innerBottomRight;
    Color innerTopLeft;
    Color outerTopLeft;
    Color outerBottomRight;
    Color corner;
};
FrameColors ButtonFrameColors(Color c, bool down, bool focused);

// Fills the rectangle with the face and draws the two-line bevel and the eight corner
// blocks over it, each line lineWidth pixels wide (one at 96 DPI; a corner block is a
// pixel there). The top-left and top-right blocks keep the face colour. Parts of the
// bevel that do not fit a very small rectangle are left out; nothing is drawn outside it.
void DrawButtonFrame(Canvas& canvas, const Rect& rect, Color color, bool down, bool focused, int lineWidth = 1);

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Where the glyph goes in a button whose client area is clientHeight high: centred in the
// square at the left end, x one unit further right than y, moved by offX/offY and by one
// unit right and down when down (a unit is a line width: one pixel at 96 DPI). Division
// truncates toward zero. Positions that would not fit an int are held at its limits (they
// are off the button either way).
Point GlyphPosition(int clientHeight, int glyphWidth, int glyphHeight, int offX, int offY, bool down, int unit = 1);

// The glyph at a screen density: its 96-DPI size scaled, each pixel taking the colour of
// the source pixel under its centre (at 192 DPI every pixel becomes a 2 x 2 block). At
// 96 DPI the glyph itself.
Glyph ScaleGlyph(const Glyph& glyph, int dpi);

// Draws the glyph with its top-left pixel at (x, y), leaving out every pixel of the colour
// of the glyph's lower-left pixel.
void DrawGlyphTransparent(Canvas& canvas, const Glyph& glyph, int x, int y);

// The greyed copy of a glyph: every pixel whose colour differs from the top-left pixel's
// becomes, per channel, (glyph + 3 * face) / 4; pixels of the top-left colour stay.
Glyph MakeDisabledGlyph(const Glyph& bitmap, Color face);

// The properties and private state of one button that painting reads and changes.
class TXMButtonState {
  public:
    // The setters return true when the value changed (the control then repaints).
    TBitmapKind BitmapKind() const { return bitmapKind_; }
    bool SetBitmapKind(TBitmapKind kind) { return Change(bitmapKind_, kind); }
    int OffX() const { return offX_; }
    bool SetOffX(int offX) { return Change(offX_, offX); }
    int OffY() const { return offY_; }
    bool SetOffY(int offY) { return Change(offY_, offY); }
    bool Down() const { return down_; }
    bool SetDown(bool down) { return Change(down_, down); }
    // Stored only: no drawing depends on it.
    bool HotTrack() const { return hotTrack_; }
    bool SetHotTrack(bool hotTrack) { return Change(hotTrack_, hotTrack); }
    bool FocusedLook() const { return focusedLook_; }
    bool SetFocusedLook(bool focused) { return Change(focusedLook_, focused); }

    // The kind whose glyph was last put into Bitmap.
    TBitmapKind LoadedKind() const { return loadedKind_; }
    const Glyph& Bitmap() const { return bitmap_; }
    bool HasDisabledBitmap() const { return disabledBitmap_.has_value(); }
    const Glyph& DisabledBitmap() const { return *disabledBitmap_; }

    // Assigns the glyph (nullopt clears it) and remakes an existing greyed copy. Giving an
    // image to a button of kind bkNone makes it bkCustom; clearing the image of a bkCustom
    // button makes it bkNone.
    void AssignBitmap(std::optional<Glyph> image);

    // Loads the built-in glyph into Bitmap when BitmapKind changed since the last load.
    void LoadKindIfChanged();

    // The glyph to draw, or nullptr when there is none (bkNone or an empty Bitmap). When
    // not shown enabled it is the greyed copy, made from face on first need.
    const Glyph* GlyphToDraw(bool shownEnabled, Color face);

  private:
    template <typename T>
    static bool Change(T& field, T value) {
        if (field == value)
            return false;
        field = value;
        return true;
    }
    void RemakeDisabledBitmap();

    TBitmapKind bitmapKind_ = TBitmapKind::bkNone;
    TBitmapKind loadedKind_ = TBitmapKind::bkNone;
    int offX_ = 0;
    int offY_ = 0;
    bool down_ = false;
    bool hotTrack_ = false;
    bool focusedLook_ = false;
    Glyph bitmap_;
    std::optional<Glyph> disabledBitmap_;
    Color disabledFace_ = 0;  // the face colour the greyed copy was made with
};

// What a draw request tells the painter.
struct PaintRequest {
    int width = 0;  // client area
    int height = 0;
    bool pressed = false;      // the request's selected flag
    bool shownEnabled = true;  // the request's disabled flag clear and the button enabled
    bool focused = false;      // the request's focus flag
    Color color = 0;           // the button's colour (its parent's)
    Color face = 0;            // the system button-face colour, for the greyed glyph
    int dpi = 96;              // the screen density the button is drawn at
};

// Paints frame and glyph and returns the rectangle for the caption: the client area with
// its left edge moved past a drawn glyph, shrunk by 3 on every side, moved one pixel
// right and down when down. Sets FocusedLook from the request. Those pixels are 96-DPI
// ones: at another density frame lines, glyph, offsets and insets are scaled (the inset
// rounded down).
Rect PaintButton(Canvas& canvas, TXMButtonState& state, const PaintRequest& request);

}  // namespace qm

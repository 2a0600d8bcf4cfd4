// The places and fonts of a window's controls, given in 96-DPI pixels and applied at the
// window's screen density. The layout remembers every control it placed, so that a move
// to a screen of another density lays them all out again, with fonts made for it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/raii_win.h"

namespace qm::win {

class ScaledLayout {
  public:
    struct FontSpec {
        std::string face;
        int pixelHeight = 0;  // character height at 96 DPI
        int weight = FW_NORMAL;
        BYTE pitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    };

    explicit ScaledLayout(int dpi) : dpi_(dpi) {}
    ScaledLayout(const ScaledLayout&) = delete;
    ScaledLayout& operator=(const ScaledLayout&) = delete;

    int Dpi() const { return dpi_; }
    // A 96-DPI length at the layout's density.
    int Scale(int value) const;

    // Adds a font made at the layout's density (its height rounded down); returns its
    // number for Font and Place.
    int AddFont(const FontSpec& spec);
    HFONT Font(int font) const;

    // Gives the window its font (kNoFont: none) and its place, the 96-DPI rectangle scaled.
    static constexpr int kNoFont = -1;
    void Place(HWND window, int x, int y, int width, int height, int font);
    // The same for a window sized to the text it has now, in its font, at least minWidth
    // (96-DPI) wide; that text is measured again at every density.
    void PlaceSizedToText(HWND window, int x, int y, int minWidth, int font);

    // The same for a window whose text, drawn textIndent (96-DPI) pixels in, is to fit it:
    // at a density other than 96 DPI it is widened for its text where scaling left it too
    // narrow, no further than its parent's right edge. At 96 DPI it has its given size.
    void PlaceFittingText(HWND window, int x, int y, int width, int height, int textIndent, int font);

    // Makes the fonts again for `dpi` and gives every placed window its font and place at
    // it. The old fonts are deleted once no window uses them.
    void Apply(int dpi);

  private:
    enum class Sizing { Fixed, ToText, FitText };
    struct Placement {
        HWND window;
        int x, y, width, height;
        int extra;  // ToText: the least width; FitText: where the text starts
        Sizing sizing;
        int font;
        std::string text;  // measured for the sizings by text
    };
    void PlaceAtDpi(const Placement& placement) const;
    SIZE TextExtent(const Placement& placement) const;
    GdiObject<HFONT> MakeFont(const FontSpec& spec) const;

    int dpi_;
    std::vector<FontSpec> specs_;
    std::vector<GdiObject<HFONT>> fonts_;
    std::vector<Placement> placements_;
};

}  // namespace qm::win

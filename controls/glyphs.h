// The built-in button glyphs: three 16 x 16 pictures (a green disc with a check mark,
// a red disc with a cross, a blue disc with a question mark) on a pure white ground.
// Entry y * 16 + x is the pixel in column x of row y, as 0x00BBGGRR. Pure white is
// the transparent colour when a glyph is drawn, so the corners and the pure-white parts
// of the check mark and the cross let the button face show through.
#pragma once

#include <array>

#include "common/color.h"

namespace qm {

constexpr int kGlyphSize = 16;
constexpr int kGlyphPixels = kGlyphSize * kGlyphSize;

extern const std::array<Color, kGlyphPixels> OkGlyph;
extern const std::array<Color, kGlyphPixels> CancelGlyph;
extern const std::array<Color, kGlyphPixels> HelpGlyph;

}  // namespace qm

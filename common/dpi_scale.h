// Pixel arithmetic for screens of any density. Every size in the layout is given in
// pixels of a 96-dots-per-inch screen; at another density it is scaled, rounded to the
// nearest pixel with halves away from zero, as the platform's MulDiv rounds.
#pragma once

namespace qm {

inline constexpr int kBaseDpi = 96;

// value * dpi / 96, rounded to the nearest pixel (halves away from zero). A density
// that is not positive counts as 96.
int ScaleToDpi(int value, int dpi);

// value * dpi / 96 rounded toward zero: for room that must not grow past its scaled
// surroundings (a font's height, a margin inside a control). A density that is not
// positive counts as 96.
int ScaleDownToDpi(int value, int dpi);

// The width of a line that is one pixel at 96 DPI: never less than one pixel.
int LineWidthForDpi(int dpi);

}  // namespace qm

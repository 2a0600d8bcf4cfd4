// Colours as the painters compute them: 0x00BBGGRR, red in the lowest byte, and
// the per-channel arithmetic that the button faces and bevels are built from.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qm {

using Color = uint32_t;  // 0x00BBGGRR

constexpr Color Rgb(int r, int g, int b) {
    return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

// Adds each of red, green and blue separately, capping each at 255; the top byte is 0.
constexpr Color AddColor(Color a, Color b) {
    return Rgb(std::min(RedOf(a) + RedOf(b), 255), std::min(GreenOf(a) + GreenOf(b), 255),
               std::min(BlueOf(a) + BlueOf(b), 255));
}

// Subtracts each of red, green and blue separately, flooring each at 0; the top byte is 0.
constexpr Color SubtractColor(Color a, Color b) {
    return Rgb(std::max(RedOf(a) - RedOf(b), 0), std::max(GreenOf(a) - GreenOf(b), 0),
               std::max(BlueOf(a) - BlueOf(b), 0));
}

// The same amount n in each of the three channels.
constexpr Color Gray(int n) { return Rgb(n, n, n); }

}  // namespace qm

// An in-memory canvas: a grid of colours, for checking painters pixel by pixel.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "controls/canvas.h"

namespace qm {

class PixelCanvas : public Canvas {
public:
    PixelCanvas(int width, int height, Color background = Rgb(255, 0, 255))
        : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, background) {}

    int Width() const { return width_; }
    int Height() const { return height_; }

    void FillRect(const Rect& r, Color c) override {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) SetPixel(x, y, c);
    }
    void SetPixel(int x, int y, Color c) override {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[static_cast<size_t>(y) * width_ + x] = c;
    }
    Color GetPixel(int x, int y) const override {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) return pixels_[static_cast<size_t>(y) * width_ + x];
        return 0xFFFFFFFF;  // outside the grid, like CLR_INVALID
    }
    void Line(int x0, int y0, int x1, int y1, Color c) override {
        int dx = (x1 > x0) - (x1 < x0);
        int dy = (y1 > y0) - (y1 < y0);
        int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i < steps; ++i) SetPixel(x0 + dx * i, y0 + dy * i, c);
    }

private:
    int width_, height_;
    std::vector<Color> pixels_;
};

}  // namespace qm

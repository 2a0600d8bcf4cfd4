// The press logic of the spin button (TBiButton) without a window: which half a
// press takes, the step multiplier that dragging sets, and what a mouse-up clears.
// The Win32 control feeds it mouse events and acts on what it reports.
#pragma once

#include <cstdint>

namespace qm {

enum class MouseButton { Left, Right, Middle };

// Pixels of outward drag per extra step.
inline constexpr int kDragPixelsPerStep = 18;

// The half under x on a button of the given width: the right (up) half from width div 2 on.
bool IsUpHalf(int x, int width);

// d div 18 + 1 (truncating towards zero), d being the distance from pressX to x
// measured outwards, away from the other half: right for the up half, left for the
// down half. Inward drags give 0 and then negative factors.
int32_t DragStepMultiplier(bool upHalf, int32_t pressX, int32_t x);

class BiButtonState {
  public:
    // Any button: records x and resets the multiplier to 1. The left button also
    // takes the half under x; returns true when it did (the caller then paints,
    // steps and arms the repeat).
    bool MouseDown(MouseButton button, int32_t x, int width);
    // While a half is held, sets the multiplier from the drag.
    void MouseMove(int32_t x);
    // Any button: releases both halves; the multiplier stays.
    void MouseUp();

    bool UpPressed() const { return upPressed_; }
    bool DownPressed() const { return downPressed_; }
    bool Held() const { return upPressed_ || downPressed_; }
    int32_t StepMultiplier() const { return stepMultiplier_; }
    int32_t PressX() const { return pressX_; }

  private:
    bool upPressed_ = false;
    bool downPressed_ = false;
    int32_t stepMultiplier_ = 1;
    int32_t pressX_ = 0;
};

}  // namespace qm

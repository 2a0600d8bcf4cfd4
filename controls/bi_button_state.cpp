// The press logic of the spin button: halves, drag multiplier, release.
#include "controls/bi_button_state.h"

#include <algorithm>
#include <limits>

namespace qm {

bool IsUpHalf(int x, int width) {
    return x >= width / 2;
}

int32_t DragStepMultiplier(bool upHalf, int32_t pressX, int32_t x) {
    // Worked out in 64 bits: the coordinates are 16-bit in practice, but the
    // difference of two arbitrary 32-bit values would overflow.
    int64_t d = upHalf ? int64_t{x} - pressX : int64_t{pressX} - x;
    int64_t m = d / kDragPixelsPerStep + 1;
    return static_cast<int32_t>(
        std::clamp<int64_t>(m, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool BiButtonState::MouseDown(MouseButton button, int32_t x, int width) {
    pressX_ = x;
    stepMultiplier_ = 1;
    if (button != MouseButton::Left)
        return false;
    // At most one half is held: a second left press moves the hold to the new half.
    upPressed_ = IsUpHalf(x, width);
    downPressed_ = !upPressed_;
    return true;
}

void BiButtonState::MouseMove(int32_t x) {
    if (!Held())
        return;
    stepMultiplier_ = DragStepMultiplier(upPressed_, pressX_, x);
}

void BiButtonState::MouseUp() {
    upPressed_ = false;
    downPressed_ = false;
}

}  // namespace qm

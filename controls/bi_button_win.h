// TBiButton: the small two-half spin button embedded in the numeric edit. The left
// half steps down, the right half steps up; a press steps at once, then repeats
// after 500 ms every 100 ms while held, and dragging sideways multiplies the step.
// The press logic is controls/bi_button_state.h and the painting controls/bi_button_paint.h;
// this class is the window around them. It paints for WM_PRINTCLIENT as well, so it
// can be rendered into a memory DC. Errors thrown by OnButtonClick are caught at the
// window procedure and handed to qm::ReportError (controls/error_hook.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

namespace qm::win {

class TBiButton {
  public:
    TBiButton();
    ~TBiButton();
    TBiButton(const TBiButton&) = delete;
    TBiButton& operator=(const TBiButton&) = delete;

    // Creates the control as a visible child of parent (default size 24 x 16).
    void Create(HWND parent, int x, int y, int width = 24, int height = 16);
    HWND Handle() const;

    bool UpPressed() const;
    bool DownPressed() const;
    int32_t StepMultiplier() const;
    int32_t PressX() const;  // x of the last press of any mouse button, client pixels

    bool DrawGradient() const;
    void SetDrawGradient(bool gradient);  // repaints at once

    // The control that takes the focus at a press; reads as nullptr once that window is destroyed.
    HWND FocusControl() const;
    void SetFocusControl(HWND control);

    // Raised at the press and at each repeat; look at UpPressed/DownPressed and StepMultiplier.
    std::function<void(TBiButton& sender)> OnButtonClick;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::win

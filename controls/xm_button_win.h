// TXMButton: the push button used for every button of the main window. A standard
// push button with the owner-drawn style: the system keeps focus, keyboard, capture
// and the click; the button paints itself (flat face, two-pixel bevel computed from
// its parent's colour, an optional 16 x 16 glyph at the left, the caption centred).
//
// The parent must reflect WM_COMMAND and WM_DRAWITEM (controls/reflect_win.h). An error
// thrown by OnClick is caught in the button's window procedure and handed to ReportError
// (controls/error_hook.h); it never unwinds into the system's message dispatch.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "controls/bitmap_kind.h"

namespace qm::win {

class TXMButton {
  public:
    TXMButton();
    ~TXMButton();
    TXMButton(const TXMButton&) = delete;
    TXMButton& operator=(const TXMButton&) = delete;

    // Creates the button window as a child of parent, with the given font (not owned).
    void Create(HWND parent, int id, const std::string& caption, int x, int y, int width, int height, HFONT font);
    HWND Handle() const;

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool Enabled() const;
    void SetEnabled(bool enabled);

    TBitmapKind BitmapKind() const;
    void SetBitmapKind(TBitmapKind kind);
    int OffX() const;
    void SetOffX(int offX);
    int OffY() const;
    void SetOffY(int offY);
    bool Down() const;
    void SetDown(bool down);
    bool HotTrack() const;
    void SetHotTrack(bool hotTrack);
    // Copies the given bitmap in as the glyph (nullptr clears it); the caller keeps its own.
    // Throws std::runtime_error when the handle is not a readable bitmap.
    void SetBitmap(HBITMAP bitmap);

    // Whether the last paint or default-button notification selected the lighter face.
    bool FocusedLook() const;

    // Raised for every click (mouse, keyboard, or a double click's second press).
    std::function<void(TXMButton& sender)> OnClick;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::win

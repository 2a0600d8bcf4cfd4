// The spin button window: a custom child window class that turns mouse messages
// into BiButtonState calls, paints with PaintBiButton on the button-face colour, and
// runs the repeat timer (first repeat after 500 ms, then every 100 ms).
#include "controls/bi_button_win.h"

#include <windowsx.h>

#include <stdexcept>

#include "common/dpi_win.h"
#include "common/raii_win.h"
#include "controls/bi_button_paint.h"
#include "controls/bi_button_state.h"
#include "controls/canvas_win.h"
#include "controls/error_hook.h"

namespace qm::win {

namespace {

constexpr char kClassName[] = "TBiButton";
constexpr UINT_PTR kRepeatTimerId = 1;
constexpr UINT kFirstRepeatMs = 500;
constexpr UINT kRepeatMs = 100;

// BeginPaint/EndPaint as a pair.
class PaintDC {
  public:
    explicit PaintDC(HWND window) : window_(window) { dc_ = BeginPaint(window_, &ps_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(window_, &ps_); }
    HDC get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// Whether the focus can go to window: it and its ancestors are visible and enabled.
bool CanTakeFocus(HWND window) {
    if (!IsWindowVisible(window))
        return false;
    for (HWND w = window; w; w = (GetWindowLongPtrA(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
        if (!IsWindowEnabled(w))
            return false;
    return true;
}

MouseButton ButtonOf(UINT msg) {
    switch (msg) {
        case WM_LBUTTONDOWN:
            return MouseButton::Left;
        case WM_RBUTTONDOWN:
            return MouseButton::Right;
        default:
            return MouseButton::Middle;
    }
}

}  // namespace

struct TBiButton::Impl {
    explicit Impl(TBiButton& owner) : owner_(owner) {}
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        if (hwnd_)
            DestroyWindow(hwnd_);
    }

    static void RegisterClassOnce();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void OnMouseDown(MouseButton button, int x);
    void OnMouseMove(int x) { state_.MouseMove(x); }
    void OnMouseUp();
    void RepeatTick();
    void MoveFocus();
    void RaiseClick() {
        if (owner_.OnButtonClick)
            owner_.OnButtonClick(owner_);
    }
    void Paint(HDC dc) const;
    void PaintNow() const;

    TBiButton& owner_;
    HWND hwnd_ = nullptr;
    BiButtonState state_;
    bool drawGradient_ = false;
    mutable HWND focusControl_ = nullptr;
};

// Controls are created on the window's thread only, so a plain flag is enough; a
// failed registration leaves it clear and the next control tries again.
void TBiButton::Impl::RegisterClassOnce() {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    // Redraw on any resize: both halves depend on the width. No background
    // brush: the painting covers the whole client area.
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("Cannot register the spin button window class");
    registered = true;
}

LRESULT CALLBACK TBiButton::Impl::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* impl = static_cast<Impl*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        impl->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl));
    }
    auto* impl = reinterpret_cast<Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!impl)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        impl->hwnd_ = nullptr;
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    // No exception may unwind into the system's message dispatch.
    return CallReportingErrors<LRESULT>([&] { return impl->OnMessage(msg, wParam, lParam); }, 0);
}

LRESULT TBiButton::Impl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;  // opaque: WM_PAINT covers everything
        case WM_PAINT: {
            PaintDC dc(hwnd_);
            Paint(dc.get());
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            OnMouseDown(ButtonOf(msg), GET_X_LPARAM(lParam));
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(GET_X_LPARAM(lParam));
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            OnMouseUp();
            return 0;
        case WM_TIMER:
            if (wParam == kRepeatTimerId) {
                RepeatTick();
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

void TBiButton::Impl::OnMouseDown(MouseButton button, int x) {
    // The mouse stays captured while a button is down, so the drag and the release
    // reach this window even outside it.
    SetCapture(hwnd_);
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (!state_.MouseDown(button, x, client.right))
        return;
    PaintNow();
    RaiseClick();  // the first step happens at the press
    if (!hwnd_)
        return;  // the handler destroyed the window; SetTimer(nullptr) would start a thread timer
    SetTimer(hwnd_, kRepeatTimerId, kFirstRepeatMs, nullptr);
    MoveFocus();
}

void TBiButton::Impl::OnMouseUp() {
    if (GetCapture() == hwnd_)
        ReleaseCapture();
    state_.MouseUp();
    PaintNow();
    KillTimer(hwnd_, kRepeatTimerId);
}

void TBiButton::Impl::RepeatTick() {
    SetTimer(hwnd_, kRepeatTimerId, kRepeatMs, nullptr);
    if (state_.Held() && GetCapture() == hwnd_) {
        try {
            RaiseClick();
        } catch (...) {
            // A failing step ends the repeat; the error still goes to the report.
            if (hwnd_)
                KillTimer(hwnd_, kRepeatTimerId);
            throw;
        }
    } else {
        KillTimer(hwnd_, kRepeatTimerId);
    }
}

void TBiButton::Impl::MoveFocus() {
    // A failure to move the focus never spoils the press.
    try {
        HWND target = owner_.FocusControl();
        if (!target)
            return;
        if (!(GetWindowLongPtrA(target, GWL_STYLE) & WS_TABSTOP))
            return;
        if (!CanTakeFocus(target) || target == GetFocus())
            return;
        SetFocus(target);
    } catch (...) {
    }
}

void TBiButton::Impl::Paint(HDC dc) const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    DCCanvas canvas(dc);
    PaintBiButton(canvas, client.right, client.bottom, state_.UpPressed(), state_.DownPressed(), drawGradient_,
                  GetSysColor(COLOR_BTNFACE), WindowDpi(hwnd_));
}

void TBiButton::Impl::PaintNow() const {
    if (!hwnd_)
        return;
    WindowDC dc(hwnd_);
    if (dc.get())
        Paint(dc.get());
}

TBiButton::TBiButton() : impl_(std::make_unique<Impl>(*this)) {}

TBiButton::~TBiButton() = default;

void TBiButton::Create(HWND parent, int x, int y, int width, int height) {
    if (impl_->hwnd_)
        throw std::logic_error("The spin button window exists already");
    Impl::RegisterClassOnce();
    HWND hwnd = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, width, height, parent,
                                nullptr, GetModuleHandleA(nullptr), impl_.get());
    if (!hwnd)
        throw std::runtime_error("Cannot create the spin button window");
}

HWND TBiButton::Handle() const {
    return impl_->hwnd_;
}

bool TBiButton::UpPressed() const {
    return impl_->state_.UpPressed();
}

bool TBiButton::DownPressed() const {
    return impl_->state_.DownPressed();
}

int32_t TBiButton::StepMultiplier() const {
    return impl_->state_.StepMultiplier();
}

int32_t TBiButton::PressX() const {
    return impl_->state_.PressX();
}

bool TBiButton::DrawGradient() const {
    return impl_->drawGradient_;
}

void TBiButton::SetDrawGradient(bool gradient) {
    impl_->drawGradient_ = gradient;
    impl_->PaintNow();
}

HWND TBiButton::FocusControl() const {
    // The control may have been destroyed since it was set: then there is none.
    if (impl_->focusControl_ && !IsWindow(impl_->focusControl_))
        impl_->focusControl_ = nullptr;
    return impl_->focusControl_;
}

void TBiButton::SetFocusControl(HWND control) {
    impl_->focusControl_ = control;
}

}  // namespace qm::win

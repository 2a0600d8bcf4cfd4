// The Win32 push button: a standard BUTTON window with the owner-drawn style, subclassed
// so that it answers the draw, size and click notifications its parent reflects back to
// it. Frame and glyph come from the portable painter (xm_button_paint.h) through a canvas
// over the draw request's device context; the caption is drawn here with DrawTextA.
#include "controls/xm_button_win.h"

#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/dpi_win.h"
#include "common/raii_win.h"
#include "common/window_text_win.h"
#include "controls/canvas_win.h"
#include "controls/error_hook.h"
#include "controls/reflect_win.h"
#include "controls/xm_button_paint.h"

namespace qm::win {

namespace {

constexpr UINT_PTR kSubclassId = 0x584D;  // any id unique among this window's subclasses
constexpr UINT kCaptionFormat = DT_SINGLELINE | DT_CENTER | DT_VCENTER;

// Saves the whole state of a DC (selected font, text colour, background mode) and puts it
// back when the paint is over, so the DC the system lent us is returned unchanged.
class SavedDCState {
  public:
    explicit SavedDCState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    SavedDCState(const SavedDCState&) = delete;
    SavedDCState& operator=(const SavedDCState&) = delete;
    ~SavedDCState() {
        if (saved_)
            RestoreDC(dc_, saved_);
    }

  private:
    HDC dc_;
    int saved_;
};

// Reads any bitmap's pixels as colours (a 32-bit top-down copy made by GetDIBits).
std::optional<Glyph> GlyphFromBitmap(HBITMAP bitmap) {
    if (!bitmap)
        return std::nullopt;
    BITMAP info{};
    if (GetObjectA(bitmap, sizeof info, &info) != sizeof info)
        throw std::runtime_error("The button glyph is not a bitmap");
    const int width = info.bmWidth;
    const int height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    Glyph glyph(width, height);
    if (glyph.Empty())
        return glyph;

    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -height;  // top-down rows, as Glyph stores them
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> raw(static_cast<size_t>(width) * height);
    WindowDC screen(nullptr);
    if (GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(height), raw.data(), &header, DIB_RGB_COLORS) != height)
        throw std::runtime_error("The button glyph could not be read");
    // A 32-bit DIB pixel reads as 0x00RRGGBB; Color is 0x00BBGGRR.
    for (size_t i = 0; i < raw.size(); ++i) {
        const uint32_t p = raw[i];
        glyph.pixels[i] =
            Rgb(static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF));
    }
    return glyph;
}

}  // namespace

struct TXMButton::Impl {
    explicit Impl(TXMButton& owner) : owner_(owner) {}

    static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void Paint(const DRAWITEMSTRUCT& item);
    void Click();
    // Repaints at once (a property that changes the look was set).
    void Repaint() {
        if (!handle_)
            return;
        InvalidateRect(handle_, nullptr, FALSE);
        UpdateWindow(handle_);
    }
    void Detach() {
        if (handle_)
            RemoveWindowSubclass(handle_, SubclassProc, kSubclassId);
        handle_ = nullptr;
    }
    LRESULT CallDefault(UINT msg, WPARAM wParam, LPARAM lParam) {
        return DefSubclassProc(handle_, msg, wParam, lParam);
    }
    // The standard handling, then the whole button marked for repainting.
    LRESULT CallAndInvalidate(UINT msg, WPARAM wParam, LPARAM lParam) {
        const LRESULT result = CallDefault(msg, wParam, lParam);
        InvalidateRect(handle_, nullptr, FALSE);
        return result;
    }
    TXMButton& owner_;
    HWND handle_ = nullptr;
    TXMButtonState state_;
    // Caption and font are kept here as well as in the window: every message to a subclassed
    // window costs a property lookup (a server call under Wine), and painting would
    // otherwise ask for both each time.
    std::string caption_;
    HFONT font_ = nullptr;  // not owned
    bool enabled_ = true;   // until the window exists
};

LRESULT CALLBACK
TXMButton::Impl::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* impl = reinterpret_cast<Impl*>(data);
    if (msg == WM_NCDESTROY) {
        impl->Detach();
        return DefSubclassProc(window, msg, wParam, lParam);
    }
    // No exception may unwind into the system's message dispatch.
    return CallReportingErrors<LRESULT>([&] { return impl->OnMessage(msg, wParam, lParam); }, 0);
}

LRESULT TXMButton::Impl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kReflectBase + WM_DRAWITEM:
            Paint(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case kReflectBase + WM_MEASUREITEM: {
            auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            RECT client{};
            GetClientRect(handle_, &client);
            measure->itemWidth = static_cast<UINT>(client.right);
            measure->itemHeight = static_cast<UINT>(client.bottom);
            return TRUE;
        }
        case kReflectBase + WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)
                Click();
            return 0;
        case BM_SETSTYLE: {
            // The default-button notification: BS_DEFPUSHBUTTON selects the lighter face.
            // The system would also make the button a plain push button again; keep it
            // owner-drawn, or it would stop asking us to paint.
            const bool isDefault = (wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
            const bool changed = state_.SetFocusedLook(isDefault);
            const LRESULT result =
                CallDefault(msg, (wParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW, lParam);
            if (changed)
                Repaint();
            return result;
        }
        case WM_GETDLGCODE: {
            // Enter comes to the focused button itself, which clicks as Space does; the
            // dialog manager would hand it to a default button, and there is none.
            LRESULT code = CallDefault(msg, wParam, lParam);
            const auto* message = reinterpret_cast<const MSG*>(lParam);
            if (message && (message->message == WM_KEYDOWN || message->message == WM_CHAR) &&
                message->wParam == VK_RETURN)
                code |= DLGC_WANTMESSAGE;
            return code;
        }
        case WM_KEYDOWN:
            // One click for each press: a held key's repeats do not click again (as with Space).
            if (wParam == VK_RETURN) {
                const bool repeat = (lParam & (1 << 30)) != 0;
                if (!repeat && IsWindowEnabled(handle_))
                    SendMessageA(GetParent(handle_), WM_COMMAND,
                                 MAKEWPARAM(GetDlgCtrlID(handle_), BN_CLICKED), reinterpret_cast<LPARAM>(handle_));
                return 0;
            }
            return CallDefault(msg, wParam, lParam);
        case WM_CHAR:
            if (wParam == '\r')
                return 0;
            return CallDefault(msg, wParam, lParam);
        case WM_LBUTTONDBLCLK:
            // The second click of a double click is a second press, so it clicks again.
            return CallDefault(WM_LBUTTONDOWN, wParam, lParam);
        case WM_SETFONT:
            font_ = reinterpret_cast<HFONT>(wParam);
            return CallAndInvalidate(msg, wParam, lParam);
        case WM_SETTEXT: {
            // The text may arrive converted to either character set; read it back as the
            // program's single-byte text.
            const LRESULT result = CallAndInvalidate(msg, wParam, lParam);
            caption_ = WindowText(handle_);
            return result;
        }
        case WM_ENABLE:
        case WM_SHOWWINDOW:
            return CallAndInvalidate(msg, wParam, lParam);
        default:
            return CallDefault(msg, wParam, lParam);
    }
}

void TXMButton::Impl::Paint(const DRAWITEMSTRUCT& item) {
    RECT client{};
    GetClientRect(handle_, &client);
    PaintRequest request;
    request.width = client.right;
    request.height = client.bottom;
    request.pressed = (item.itemState & ODS_SELECTED) != 0;
    request.shownEnabled = (item.itemState & ODS_DISABLED) == 0 && IsWindowEnabled(handle_);
    request.focused = (item.itemState & ODS_FOCUS) != 0;
    // The button's colour is its parent's background, the button face in this program.
    request.color = GetSysColor(COLOR_BTNFACE);
    request.face = GetSysColor(COLOR_BTNFACE);
    request.dpi = WindowDpi(handle_);

    const HDC dc = item.hDC;
    SavedDCState saved(dc);
    DCCanvas canvas(dc);
    const Rect captionRect = PaintButton(canvas, state_, request);

    if (font_)
        SelectObject(dc, font_);
    // Enabled text has the font's colour, which is the window text colour.
    SetTextColor(dc, GetSysColor(request.shownEnabled ? COLOR_WINDOWTEXT : COLOR_BTNSHADOW));
    SetBkMode(dc, TRANSPARENT);
    const std::string& caption = caption_;
    RECT rect = ToRECT(captionRect);
    // No DT_NOCLIP: a caption wider than its rectangle is clipped at both ends.
    DrawTextA(dc, caption.data(), static_cast<int>(caption.size()), &rect, kCaptionFormat);
}

void TXMButton::Impl::Click() {
    // A copy: the handler may replace OnClick while it runs.
    auto handler = owner_.OnClick;
    if (handler)
        handler(owner_);
}

TXMButton::TXMButton() : impl_(std::make_unique<Impl>(*this)) {}

TXMButton::~TXMButton() {
    if (impl_->handle_) {
        HWND window = impl_->handle_;
        impl_->Detach();
        DestroyWindow(window);
    }
}

void TXMButton::Create(HWND parent,
                       int id,
                       const std::string& caption,
                       int x,
                       int y,
                       int width,
                       int height,
                       HFONT font) {
    if (impl_->handle_)
        throw std::logic_error("The push button was already created");
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    if (!impl_->enabled_)
        style |= WS_DISABLED;
    HWND window =
        CreateWindowExA(0, "BUTTON", caption.c_str(), style, x, y, width, height, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (!window)
        throw std::runtime_error("Cannot create the push button \"" + caption + "\"");
    impl_->handle_ = window;  // before subclassing: the subclass procedure uses it
    if (!SetWindowSubclass(window, Impl::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(impl_.get()))) {
        impl_->handle_ = nullptr;
        DestroyWindow(window);
        throw std::runtime_error("Cannot subclass the push button \"" + caption + "\"");
    }
    impl_->caption_ = caption;
    if (font)
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

HWND TXMButton::Handle() const {
    return impl_->handle_;
}

std::string TXMButton::Caption() const {
    return impl_->caption_;
}

void TXMButton::SetCaption(const std::string& caption) {
    impl_->caption_ = caption;
    if (impl_->handle_)
        SetWindowTextA(impl_->handle_, caption.c_str());  // also repaints
}

bool TXMButton::Enabled() const {
    return impl_->handle_ ? IsWindowEnabled(impl_->handle_) != FALSE : impl_->enabled_;
}

void TXMButton::SetEnabled(bool enabled) {
    impl_->enabled_ = enabled;
    if (impl_->handle_)
        EnableWindow(impl_->handle_, enabled ? TRUE : FALSE);
}

TBitmapKind TXMButton::BitmapKind() const {
    return impl_->state_.BitmapKind();
}

void TXMButton::SetBitmapKind(TBitmapKind kind) {
    if (impl_->state_.SetBitmapKind(kind))
        impl_->Repaint();
}

int TXMButton::OffX() const {
    return impl_->state_.OffX();
}

void TXMButton::SetOffX(int offX) {
    if (impl_->state_.SetOffX(offX))
        impl_->Repaint();
}

int TXMButton::OffY() const {
    return impl_->state_.OffY();
}

void TXMButton::SetOffY(int offY) {
    if (impl_->state_.SetOffY(offY))
        impl_->Repaint();
}

bool TXMButton::Down() const {
    return impl_->state_.Down();
}

void TXMButton::SetDown(bool down) {
    if (impl_->state_.SetDown(down))
        impl_->Repaint();
}

bool TXMButton::HotTrack() const {
    return impl_->state_.HotTrack();
}

void TXMButton::SetHotTrack(bool hotTrack) {
    if (impl_->state_.SetHotTrack(hotTrack))
        impl_->Repaint();
}

void TXMButton::SetBitmap(HBITMAP bitmap) {
    impl_->state_.AssignBitmap(GlyphFromBitmap(bitmap));
    impl_->Repaint();
}

bool TXMButton::FocusedLook() const {
    return impl_->state_.FocusedLook();
}

}  // namespace qm::win

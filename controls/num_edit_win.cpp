// The window side of TNumEdit: a standard EDIT window, subclassed, that turns typing,
// arrow keys, the wheel, cut and paste, focus changes and resizing into calls on the
// portable value rules (num_edit_value.h), and carries the embedded spin button.
//
// The edit is multi-line so that its formatting rectangle can be narrowed to leave
// room for the spin button; Enter is filtered out, so the text stays on one line.
#include "controls/num_edit_win.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "common/dpi_scale.h"
#include "common/dpi_win.h"
#include "common/raii_win.h"
#include "common/window_text_win.h"
#include "controls/bi_button_win.h"
#include "controls/error_hook.h"
#include "controls/num_edit_value.h"
#include "controls/reflect_win.h"

namespace qm::win {

namespace {

constexpr UINT_PTR kSubclassId = 0x4E45;  // any number unique to this subclass
constexpr int kSpinWidth = 24;  // at 96 DPI; scaled with the window's density
constexpr int kSpinHeight = 16;


int CharacterHeight(HDC dc) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    return metrics.tmHeight;
}

}  // namespace

char LocaleDecimalSeparator() {
    static const char separator = [] {
        char buffer[8] = {};
        if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 1 && buffer[0] != '\0') {
            return buffer[0];
        }
        return '.';
    }();
    return separator;
}

struct TNumEdit::Impl {
    explicit Impl(TNumEdit& owner) : owner_(owner) {}
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        // Drop the link to the spin button and stop handling messages before the window
        // (and with it the spin button's window) goes: the owner is half destroyed.
        spin_.OnButtonClick = nullptr;
        if (edit_) {
            RemoveWindowSubclass(edit_, SubclassProc, kSubclassId);
            DestroyWindow(edit_);
        }
    }

    static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR data);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) { return DefSubclassProc(edit_, msg, wParam, lParam); }

    LRESULT OnChar(WPARAM wParam, LPARAM lParam);
    LRESULT OnDialogCode(WPARAM wParam, LPARAM lParam);
    void LayOut();
    int MinimumHeight() const;
    int SpinWidth() const;
    void PlaceSpinButton(int width, int height);
    void UpdateEditRect();
    void Step(bool up);
    void RaiseChange() {
        if (owner_.OnChange) owner_.OnChange(owner_);
    }

    TNumEdit& owner_;
    HWND edit_ = nullptr;
    TBiButton spin_;
    NumEditSettings settings_;
    bool autoSelect_ = true;
    bool changeOnWheel_ = true;
    bool textTyped_ = false;
    std::string text_ = "0";  // the text while there is no window, and after it has gone
    bool leftDownOnEdit_ = false;
    bool changeSeen_ = false;
};

LRESULT CALLBACK TNumEdit::Impl::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR data) {
    auto* impl = reinterpret_cast<Impl*>(data);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        impl->edit_ = nullptr;
        return DefSubclassProc(window, msg, wParam, lParam);
    }
    // No exception may unwind into the system's message dispatch.
    return CallReportingErrors<LRESULT>([&] { return impl->OnMessage(msg, wParam, lParam); }, 0);
}

LRESULT TNumEdit::Impl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CHAR:
            return OnChar(wParam, lParam);
        case WM_GETDLGCODE:
            return OnDialogCode(wParam, lParam);
        case WM_KEYDOWN:
            if (wParam == VK_UP) owner_.StepUp();
            if (wParam == VK_DOWN) owner_.StepDown();
            // A multi-line edit inside a dialog hands Enter to the default button; here
            // Enter belongs to the character handling (OnConfirm) alone.
            if (wParam == VK_RETURN) return 0;
            break;
        case WM_MOUSEWHEEL: {
            if (settings_.ReadOnly || !changeOnWheel_) return 0;
            const short delta = GET_WHEEL_DELTA_WPARAM(wParam);
            if (delta > 0) owner_.StepUp();
            if (delta < 0) owner_.StepDown();
            break;
        }
        case WM_CUT:
        case WM_PASTE:
            if (!settings_.EditorEnabled || settings_.ReadOnly) return 0;
            break;
        case WM_LBUTTONDOWN: {
            // The edit takes the focus inside its own button-down handling; a click
            // places the caret, so that focus must not select everything.
            leftDownOnEdit_ = true;
            const LRESULT result = Default(msg, wParam, lParam);
            leftDownOnEdit_ = false;
            return result;
        }
        case WM_SETFOCUS:
            // The system selects all only for single-line edits.
            if (autoSelect_ && !leftDownOnEdit_) SendMessageA(edit_, EM_SETSEL, 0, -1);
            break;
        case WM_KILLFOCUS: {
            const LRESULT result = Default(msg, wParam, lParam);
            if (textTyped_) owner_.SetValue(owner_.Value());
            return result;
        }
        case WM_SIZE:
        case WM_SETFONT: {
            // The edit resets its formatting rectangle on both.
            const LRESULT result = Default(msg, wParam, lParam);
            LayOut();
            return result;
        }
        case WM_DESTROY:
            text_ = WindowText(edit_);
            break;
        case kReflectBase + WM_COMMAND:
            if (HIWORD(wParam) == EN_CHANGE) {
                changeSeen_ = true;
                RaiseChange();
            }
            return 0;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

LRESULT TNumEdit::Impl::OnChar(WPARAM wParam, LPARAM lParam) {
    const char ch = static_cast<char>(wParam);
    if (owner_.AcceptsChar(ch)) {
        textTyped_ = true;
        return Default(WM_CHAR, wParam, lParam);
    }
    if (ch == '\r' && owner_.OnConfirm) owner_.OnConfirm(owner_);
    if (settings_.BeepError && ch != '\r') MessageBeep(0);
    return 0;
}

LRESULT TNumEdit::Impl::OnDialogCode(WPARAM wParam, LPARAM lParam) {
    // A multi-line edit asks the dialog manager for every key, which would keep Tab and
    // Escape from moving the focus or cancelling. Behave as a single-line edit, except
    // that Enter still comes here for OnConfirm.
    LRESULT code = Default(WM_GETDLGCODE, wParam, lParam) & ~static_cast<LRESULT>(DLGC_WANTALLKEYS);
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (message && (message->message == WM_KEYDOWN || message->message == WM_CHAR) &&
        message->wParam == VK_RETURN) {
        code |= DLGC_WANTMESSAGE;
    }
    return code;
}

int TNumEdit::Impl::MinimumHeight() const {
    WindowDC screen(nullptr);
    const int screenHeight = CharacterHeight(screen.get());  // the screen's default font
    auto font = reinterpret_cast<HFONT>(SendMessageA(edit_, WM_GETFONT, 0, 0));
    SelectObjectGuard select(screen.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    const int height = CharacterHeight(screen.get());
    return height + std::min(screenHeight, height) / 4 + 4 * GetSystemMetrics(SM_CYBORDER) + 2;
}

void TNumEdit::Impl::LayOut() {
    RECT bounds{};
    GetWindowRect(edit_, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    const int minimum = MinimumHeight();
    if (height < minimum) {
        // The resize that follows comes back here and places the spin button.
        SetWindowPos(edit_, nullptr, 0, 0, width, minimum, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    PlaceSpinButton(width, height);
    UpdateEditRect();
}

int TNumEdit::Impl::SpinWidth() const {
    return ScaleToDpi(kSpinWidth, WindowDpi(edit_));
}

void TNumEdit::Impl::PlaceSpinButton(int width, int height) {
    HWND spin = spin_.Handle();
    if (!spin) return;
    const int spinWidth = SpinWidth();
    // With the sunken 3-D border the client area is 2 pixels in on every side.
    if (GetWindowLongPtrA(edit_, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) {
        SetWindowPos(spin, nullptr, width - spinWidth - 4, 0, spinWidth, height - 4, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        SetWindowPos(spin, nullptr, width - spinWidth, 1, spinWidth, height - 3, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TNumEdit::Impl::UpdateEditRect() {
    if (!edit_) return;
    int spinWidth = 0;
    if (HWND spin = spin_.Handle()) {
        RECT spinBounds{};
        GetWindowRect(spin, &spinBounds);
        spinWidth = spinBounds.right - spinBounds.left;
    }
    RECT client{};
    GetClientRect(edit_, &client);
    RECT format{0, 0, client.right - spinWidth - 2, client.bottom + 1};
    SendMessageA(edit_, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&format));
}

void TNumEdit::Impl::Step(bool up) {
    const NumEditStep step =
        StepValue(owner_.Text(), settings_, LocaleDecimalSeparator(), spin_.StepMultiplier(), up);
    if (step.beep) MessageBeep(0);
    if (step.text) {
        textTyped_ = false;
        owner_.SetText(*step.text);
    }
}

TNumEdit::TNumEdit() : impl_(std::make_unique<Impl>(*this)) {
    // Through the virtual table, so that a derived class's override is the one called.
    impl_->spin_.OnButtonClick = [this](TBiButton& sender) { HandleButtonClick(sender); };
}

TNumEdit::~TNumEdit() = default;

void TNumEdit::Create(HWND parent, int id, int x, int y, int width, int height, HFONT font) {
    if (impl_->edit_) throw std::logic_error("The numeric edit window exists already");
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_MULTILINE | WS_CLIPCHILDREN;
    if (impl_->settings_.ReadOnly) style |= ES_READONLY;
    HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", impl_->text_.c_str(), style, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (!edit) throw std::runtime_error("Cannot create the numeric edit window");
    impl_->edit_ = edit;
    SetWindowSubclass(edit, Impl::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(impl_.get()));

    impl_->spin_.Create(edit, 0, 0, kSpinWidth, kSpinHeight);
    impl_->spin_.SetFocusControl(edit);
    if (font) SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    impl_->LayOut();
}

HWND TNumEdit::Handle() const {
    return impl_->edit_;
}

TBiButton& TNumEdit::SpinButton() {
    return impl_->spin_;
}

bool TNumEdit::AlwaysSign() const {
    return impl_->settings_.AlwaysSign;
}
void TNumEdit::SetAlwaysSign(bool on) {
    impl_->settings_.AlwaysSign = on;
}
bool TNumEdit::AlwaysInteger() const {
    return impl_->settings_.AlwaysInteger;
}
void TNumEdit::SetAlwaysInteger(bool on) {
    impl_->settings_.AlwaysInteger = on;
}
bool TNumEdit::AutoSelect() const {
    return impl_->autoSelect_;
}
void TNumEdit::SetAutoSelect(bool on) {
    impl_->autoSelect_ = on;
}
bool TNumEdit::ChangeOnWheel() const {
    return impl_->changeOnWheel_;
}
void TNumEdit::SetChangeOnWheel(bool on) {
    impl_->changeOnWheel_ = on;
}
bool TNumEdit::EditorEnabled() const {
    return impl_->settings_.EditorEnabled;
}
void TNumEdit::SetEditorEnabled(bool on) {
    impl_->settings_.EditorEnabled = on;
}
double TNumEdit::Increment() const {
    return impl_->settings_.Increment;
}
void TNumEdit::SetIncrement(double increment) {
    impl_->settings_.Increment = increment;
}
int32_t TNumEdit::Precision() const {
    return impl_->settings_.Precision;
}
void TNumEdit::SetPrecision(int32_t precision) {
    if (precision == impl_->settings_.Precision) return;
    impl_->settings_.Precision = precision;
    SetValue(Value());
}
int32_t TNumEdit::Decimals() const {
    return impl_->settings_.Decimals;
}
void TNumEdit::SetDecimals(int32_t decimals) {
    if (decimals == impl_->settings_.Decimals) return;
    impl_->settings_.Decimals = decimals;
    SetValue(Value());
}
double TNumEdit::MaxValue() const {
    return impl_->settings_.MaxValue;
}
void TNumEdit::SetMaxValue(double value) {
    impl_->settings_.MaxValue = value;
}
double TNumEdit::MinValue() const {
    return impl_->settings_.MinValue;
}
void TNumEdit::SetMinValue(double value) {
    impl_->settings_.MinValue = value;
}
double TNumEdit::ErrValue() const {
    return impl_->settings_.ErrValue;
}
void TNumEdit::SetErrValue(double value) {
    impl_->settings_.ErrValue = value;
}
bool TNumEdit::BeepError() const {
    return impl_->settings_.BeepError;
}
void TNumEdit::SetBeepError(bool on) {
    impl_->settings_.BeepError = on;
}
bool TNumEdit::ReadOnly() const {
    return impl_->settings_.ReadOnly;
}
void TNumEdit::SetReadOnly(bool on) {
    impl_->settings_.ReadOnly = on;
    if (impl_->edit_) SendMessageA(impl_->edit_, EM_SETREADONLY, on ? TRUE : FALSE, 0);
}

double TNumEdit::Value() {
    const NumEditRead read = ReadValue(Text(), impl_->settings_, LocaleDecimalSeparator());
    if (read.beep) MessageBeep(0);
    return read.value;
}

void TNumEdit::SetValue(double value) {
    impl_->textTyped_ = false;
    SetText(FormatValue(value, impl_->settings_, LocaleDecimalSeparator()));
}

int32_t TNumEdit::AsInteger() {
    return ValueAsInteger(Value());
}

double TNumEdit::ClampValue(double x) const {
    return qm::ClampValue(x, impl_->settings_);
}

std::string TNumEdit::Text() const {
    return impl_->edit_ ? WindowText(impl_->edit_) : impl_->text_;
}

void TNumEdit::SetText(const std::string& text) {
    if (!impl_->edit_) {
        impl_->text_ = text;
        return;
    }
    // A multi-line edit does not report a change made by WM_SETTEXT on every system;
    // raise OnChange here when the reflected notification did not.
    impl_->changeSeen_ = false;
    SetWindowTextA(impl_->edit_, text.c_str());
    if (!impl_->changeSeen_) impl_->RaiseChange();
}

bool TNumEdit::TextTyped() const {
    return impl_->textTyped_;
}

bool TNumEdit::AcceptsChar(char ch) const {
    return AcceptsNumEditChar(ch, impl_->settings_, LocaleDecimalSeparator());
}

void TNumEdit::StepUp() {
    impl_->Step(true);
}

void TNumEdit::StepDown() {
    impl_->Step(false);
}

void TNumEdit::HandleButtonClick(TBiButton& sender) {
    if (sender.UpPressed()) StepUp();
    if (sender.DownPressed()) StepDown();
}

}  // namespace qm::win

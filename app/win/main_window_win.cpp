// The main window: creates the layout's controls, adapts them to the controller's
// views, and routes window messages to the controller's handlers.
//
// Re-entrancy: the controller blocks this thread during moves and lets waiting
// messages through once when a run starts, and message boxes run modal loops. So a
// close request that arrives while a handler is running is held until the outermost
// handler returns, and timer ticks are held back while an error report is open.
#include "app/win/main_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form_afoc.h"
#include "app/win/keyboard_win.h"
#include "com/late_bound_win.h"
#include "app/page_keys.h"
#include "app/win/platform_win.h"
#include "app/win/scaled_layout_win.h"
#include "record/run_options.h"
#include "record/run_recorder_win.h"
#include "app/win/startup_trace_win.h"
#include "common/dpi_scale.h"
#include "common/dpi_win.h"
#include "common/raii_win.h"
#include "common/window_text_win.h"
#include "controls/error_hook.h"
#include "controls/num_edit_win.h"
#include "controls/reflect_win.h"
#include "controls/xm_button_win.h"
#include "settings/auto_save.h"
#include "settings/components_win.h"
#include "settings/settings_files_win.h"

namespace qm::win {

namespace {

constexpr char kWindowClass[] = "TFormAFoc";
constexpr char kPageClass[] = "QuillomarPage";
constexpr UINT_PTR kTimer1Id = 1;
constexpr UINT kTimer1Interval = 500;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
constexpr int kCheckBoxTextIndent = 16;  // a check box's 13-pixel box and the gap after it

enum ControlId : int {
    kIdPages = 100,
    kIdMemo1,
    kIdEdSteps,
    kIdEdInc,
    kIdEdExpo,
    kIdButStart,
    kIdButStop,
    kIdButConnect,
    kIdButDisconnect,
    kIdButHelp,
    kIdGroupBox1,
    kIdCBAutoConn,
    kIdCBBacklash,
    kIdStepFirst,  // the six step buttons follow
};


// --- Views over real controls -------------------------------------------------------

class ButtonAdapter : public ButtonView {
public:
    explicit ButtonAdapter(TXMButton& button) : button_(button) {}
    std::string Caption() const override { return button_.Caption(); }
    bool Enabled() const override { return button_.Enabled(); }
    void SetEnabled(bool enabled) override { button_.SetEnabled(enabled); }

private:
    TXMButton& button_;
};

class LabelAdapter : public LabelView {
public:
    HWND window = nullptr;
    std::string Text() const override { return WindowText(window); }
    void SetText(const std::string& text) override { SetWindowTextA(window, text.c_str()); }
    void RepaintNow() override {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
    }
};

class CheckBoxAdapter : public CheckBoxView {
public:
    HWND window = nullptr;
    bool Checked() const override { return SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED; }
};

class NumberAdapter : public IntegerSource {
public:
    explicit NumberAdapter(TNumEdit& edit) : edit_(edit) {}
    int32_t AsInteger() const override { return edit_.AsInteger(); }

private:
    TNumEdit& edit_;
};

// The numeric edit as the settings component sees it: an edit whose text is saved.
class NumEditComponent : public SettingsComponent {
public:
    NumEditComponent(TNumEdit& edit, int32_t tag) : edit_(edit), tag_(tag) {}
    int32_t Tag() const override { return tag_; }
    ComponentKind Kind() const override { return ComponentKind::Edit; }
    std::string Text() const override { return edit_.Text(); }
    void SetText(const std::string& text) override { edit_.SetText(text); }

private:
    TNumEdit& edit_;
    int32_t tag_;
};

// The log pane: a read-only multi-line edit whose lines are the run's record.
class MemoAdapter : public LogView {
public:
    HWND window = nullptr;
    void Clear() override { SetWindowTextA(window, ""); }
    void AppendLine(const std::string& line) override {
        std::string text = WindowText(window);
        if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += "\r\n";
        text += line;
        SetWindowTextA(window, text.c_str());
        // Keep the newest line in view.
        SendMessageA(window, EM_SETSEL, text.size(), text.size());
        SendMessageA(window, EM_SCROLLCARET, 0, 0);
    }
    int LineCount() const override { return static_cast<int>(Lines().size()); }
    std::string Line(int index) const override {
        auto lines = Lines();
        return index >= 0 && static_cast<size_t>(index) < lines.size() ? lines[static_cast<size_t>(index)]
                                                                        : std::string();
    }

private:
    // CR, LF and CR LF each end a line; a final line break adds no empty line.
    std::vector<std::string> Lines() const {
        std::string text = WindowText(window);
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                lines.push_back(text.substr(start, i - start));
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                start = i + 1;
            }
        }
        if (start < text.size()) lines.push_back(text.substr(start));
        return lines;
    }
};

class TimerAdapter : public TimerView {
public:
    HWND owner = nullptr;
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        if (enabled)
            SetTimer(owner, kTimer1Id, kTimer1Interval, nullptr);
        else
            KillTimer(owner, kTimer1Id);
    }

private:
    bool enabled_ = false;
};

class PagesAdapter : public PageControlView {
public:
    HWND tabs = nullptr;
    HWND pages[2] = {nullptr, nullptr};
    std::function<void()> afterProgramSwitch;  // once the window is built: keeps the focus on the shown page
    int ActivePage() const override { return static_cast<int>(SendMessageA(tabs, TCM_GETCURSEL, 0, 0)); }
    // Switching by program sends no change notification, so it is not a user's page change.
    void SetActivePage(int page) override {
        SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
        ShowActive();
        if (afterProgramSwitch) afterProgramSwitch();
    }
    void ShowActive() {
        int active = ActivePage();
        for (int i = 0; i < 2; ++i) ShowWindow(pages[i], i == active ? SW_SHOW : SW_HIDE);
    }
};

LRESULT CALLBACK PageProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (IsContainerCloseRequest(msg)) return 0;
    LRESULT result = 0;
    if (ReflectNotification(window, msg, wParam, lParam, &result)) return result;
    return DefWindowProcA(window, msg, wParam, lParam);
}

// Colours the position display: reflected WM_CTLCOLORSTATIC answered by the label itself.
LRESULT CALLBACK ColouredLabelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR colour) {
    if (msg == kReflectBase + WM_CTLCOLORSTATIC) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, static_cast<COLORREF>(colour));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(window, ColouredLabelProc, 0);
    return DefSubclassProc(window, msg, wParam, lParam);
}

}  // namespace

struct MainWindow::Impl {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;

    // Places and fonts in 96-DPI pixels, applied at the window's density.
    ScaledLayout layout{kBaseDpi};
    int font = 0, memoFont = 0, positionFont = 0;  // the layout's fonts

    TXMButton butStart, butStop, butConnect, butDisconnect, butHelp;
    TXMButton stepButtons[6];  // XMButton3, XMButton4, XMButton2, XMButton5, ButStep, XMButton6
    TNumEdit edSteps, edInc, edExpo;

    ButtonAdapter startView{butStart}, stopView{butStop}, connectView{butConnect}, disconnectView{butDisconnect};
    LabelAdapter statusView, positionView;
    CheckBoxAdapter autoConnView, backlashView;
    NumberAdapter stepsView{edSteps}, incView{edInc}, expoView{edExpo};
    MemoAdapter memoView;
    PagesAdapter pagesView;
    TimerAdapter timerView;
    FormControls controls{startView, stopView,   connectView, disconnectView, statusView, positionView, autoConnView,
                          backlashView, stepsView, incView,    expoView,      memoView,   pagesView,    timerView};

    std::vector<std::unique_ptr<SettingsComponent>> components;

    PlatformWin platform;
    SettingsFilesWin files;
    TAutoSave save{files};
    ComObjectFactory objects;
    RunRecorderWin recorder{files};
    TFormAFoc form{controls, platform, objects, save, [this] {
                       std::vector<SettingsComponent*> list;
                       for (auto& c : components) list.push_back(c.get());
                       return list;
                   }};

    int handlerDepth = 0;
    bool closePending = false;
    bool reportOpen = false;
    HWND lastFocus = nullptr;  // the control that had the focus at the last message taken

    // Runs one handler inside the general error report.
    template <typename Handler>
    void Guarded(Handler&& handler) {
        HWND focusBefore = handlerDepth == 0 ? GetFocus() : nullptr;
        ++handlerDepth;
        try {
            handler();
        } catch (const std::exception& e) {
            ShowReport(e);
        } catch (...) {
            ShowReport(std::runtime_error("Unknown error"));
        }
        --handlerDepth;
        if (handlerDepth == 0 && IsWindow(window)) MoveFocusOffDisabledControl(window, focusBefore);
        if (handlerDepth == 0 && closePending) {
            closePending = false;
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
    }

    void ShowReport(const std::exception& error) {
        bool wasOpen = reportOpen;
        reportOpen = true;
        form.ShowErrorReport(error);
        reportOpen = wasOpen;
    }

    // Places and sizes are 96-DPI pixels: the layout scales them.
    HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h,
               int withFont, DWORD exStyle = 0) {
        // Made at its size: a tab control made too small for its tabs adds scroll arrows.
        HWND child = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, layout.Scale(x),
                                     layout.Scale(y), layout.Scale(w), layout.Scale(h), parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        layout.Place(child, x, y, w, h, withFont);
        return child;
    }

    // A check box: its caption starts past the box and a gap (16 pixels at 96 DPI).
    HWND CheckBox(HWND parent, const char* caption, int id, int x, int y, int w, int h) {
        HWND box = CreateWindowExA(0, "BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP, 0, 0, 0,
                                   0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        layout.PlaceFittingText(box, x, y, w, h, kCheckBoxTextIndent, font);
        return box;
    }

    // A label sized to its text, as an auto-sized label is; `minWidth` leaves room for longer texts.
    HWND MakeLabel(HWND parent, const char* text, int x, int y, int withFont, int minWidth = 0) {
        HWND label = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                                     parent, nullptr, instance, nullptr);
        layout.PlaceSizedToText(label, x, y, minWidth, withFont);
        return label;
    }

    void MakeButton(TXMButton& button, HWND parent, int id, const char* caption, int x, int y, int w, int h,
                    bool enabled, void (Impl::*onClick)(TXMButton&)) {
        button.Create(parent, id, caption, layout.Scale(x), layout.Scale(y), layout.Scale(w), layout.Scale(h),
                      layout.Font(font));
        layout.Place(button.Handle(), x, y, w, h, font);
        button.SetEnabled(enabled);
        button.OnClick = [this, onClick](TXMButton& sender) { (this->*onClick)(sender); };
    }

    void MakeNumEdit(TNumEdit& edit, HWND parent, int id, int x, int y, int w, int h, double minValue,
                     double maxValue, double increment, double errValue, double value) {
        edit.Create(parent, id, layout.Scale(x), layout.Scale(y), layout.Scale(w), layout.Scale(h),
                    layout.Font(font));
        layout.Place(edit.Handle(), x, y, w, h, font);
        // Limits and format settings before the value, so the value is clamped and formatted by them.
        edit.SetAlwaysInteger(true);
        edit.SetIncrement(increment);
        edit.SetMaxValue(maxValue);
        edit.SetMinValue(minValue);
        edit.SetErrValue(errValue);
        edit.SetValue(value);
    }

    void OnStart(TXMButton&) { Guarded([&] { form.ButStartClick(); }); }
    void OnStop(TXMButton&) { Guarded([&] { form.ButStopClick(); }); }
    void OnConnect(TXMButton&) { Guarded([&] { form.ButConnectClick(); }); }
    void OnDisconnect(TXMButton&) { Guarded([&] { form.ButDisconnectClick(); }); }
    void OnHelp(TXMButton&) { Guarded([&] { form.ButHelpClick(); }); }
    void OnStep(TXMButton& sender) {
        Guarded([&] {
            ButtonAdapter view(sender);
            form.ButStepClick(view);
        });
    }

    HWND CreatePage(HWND parent) {
        return CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, "", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent,
                               nullptr, instance, nullptr);
    }

    // The pages lie over the tab control's display area, which depends on its font.
    void PlacePages() {
        RECT area{0, 0, layout.Scale(kClientWidth), layout.Scale(kClientHeight)};
        SendMessageA(pagesView.tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        for (HWND page : pagesView.pages)
            SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOACTIVATE);
    }

    // Gives the window the outer size for its client area at the layout's density, and
    // puts it at (left, top) when given. Should the frame drawn differ from the one
    // computed for that density, the difference is made up at once.
    void FitFrame(std::optional<POINT> topLeft) {
        const int width = layout.Scale(kClientWidth), height = layout.Scale(kClientHeight);
        RECT frame{0, 0, width, height};
        AdjustWindowRectForDpi(frame, kWindowStyle, kWindowExStyle, layout.Dpi());
        SIZE size{frame.right - frame.left, frame.bottom - frame.top};
        const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (topLeft ? 0 : SWP_NOMOVE);
        const POINT at = topLeft.value_or(POINT{0, 0});
        SetWindowPos(window, nullptr, at.x, at.y, size.cx, size.cy, flags);
        RECT client{};
        GetClientRect(window, &client);
        if (client.right != width || client.bottom != height) {
            size.cx += width - client.right;
            size.cy += height - client.bottom;
            SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    // The window moved to a screen of another density: everything is laid out again at
    // it, and the window goes where the system suggests.
    void ChangeDpi(int dpi, const RECT& suggested) {
        layout.Apply(dpi);
        PlacePages();
        FitFrame(POINT{suggested.left, suggested.top});
        // Every control paints again at the new density, not only those that were resized.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }

    void CreateControls() {
        layout.Apply(WindowDpi(window));
        font = layout.AddFont({"Tahoma", 11, FW_NORMAL, DEFAULT_PITCH | FF_DONTCARE});
        memoFont = layout.AddFont({"Courier New", 11, FW_NORMAL, FIXED_PITCH | FF_MODERN});
        positionFont = layout.AddFont({"Arial", 19, FW_BOLD, DEFAULT_PITCH | FF_SWISS});
        StartupMark("fonts created");
        // Created at the system's density, the window may have landed on a screen of another.
        FitFrame(std::nullopt);

        // Not a tab stop: Tab cycles through the controls of the shown page, and the
        // page keys (Ctrl+Tab and the like) switch pages.
        HWND tabs = Child(window, WC_TABCONTROLA, "", WS_CLIPSIBLINGS | TCS_HOTTRACK, kIdPages, 0, 0,
                          kClientWidth, kClientHeight, font);
        const char* captions[2] = {"Autofocus", "Control"};
        for (int i = 0; i < 2; ++i) {
            TCITEMA item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<char*>(captions[i]);
            SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
        HWND autofocus = CreatePage(window);
        HWND control = CreatePage(window);
        pagesView.tabs = tabs;
        pagesView.pages[0] = autofocus;
        pagesView.pages[1] = control;
        PlacePages();
        StartupMark("tabs and pages");

        // "Autofocus" page, in tab order.
        HWND memo = Child(autofocus, "EDIT", "",
                          WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kIdMemo1, 4, 4, 137,
                          105, memoFont, WS_EX_CLIENTEDGE);
        LeaveNavigationKeysToDialog(memo);
        memoView.window = memo;
        MakeNumEdit(edSteps, autofocus, kIdEdSteps, 151, 20, 44, 22, 5, 49, 2, 7, 7);
        MakeNumEdit(edInc, autofocus, kIdEdInc, 202, 20, 51, 22, 1, 999, 10, 100, 100);
        MakeNumEdit(edExpo, autofocus, kIdEdExpo, 260, 20, 43, 22, 1, 9, 1, 2, 2);
        MakeButton(butStart, autofocus, kIdButStart, "Start", 151, 56, 71, 29, false, &Impl::OnStart);
        MakeButton(butStop, autofocus, kIdButStop, "Stop", 232, 56, 71, 29, false, &Impl::OnStop);
        MakeLabel(autofocus, "Steps", 151, 2, font);
        MakeLabel(autofocus, "Increment", 202, 2, font);
        MakeLabel(autofocus, "Expo/Step", 260, 2, font);
        MakeLabel(autofocus, "Status:", 152, 96, font);
        // The status line takes texts of any length: it reaches to the page's right edge.
        statusView.window = MakeLabel(autofocus, "Disconnected", 190, 96, font, 118);
        StartupMark("Autofocus page");

        // "Control" page, in tab order.
        MakeButton(butConnect, control, kIdButConnect, "Connect", 4, 82, 87, 29, true, &Impl::OnConnect);
        MakeButton(butDisconnect, control, kIdButDisconnect, "Disconnect", 100, 82, 87, 29, false,
                   &Impl::OnDisconnect);
        HWND group = Child(control, "BUTTON", "Position", BS_GROUPBOX | WS_CLIPCHILDREN, kIdGroupBox1, 4, 1, 299, 53,
                           font, WS_EX_CONTROLPARENT);
        InstallReflector(group);
        KeepContainerOpen(group);
        struct Step {
            const char* caption;
            int x;
        };
        // Tab order inside the group: -100, -10, -1, +1, +10, +100 (ButStep, XMButton2..6).
        const Step steps[6] = {{"-100", 220}, {"-10", 148}, {"-1", 76}, {"+1", 108}, {"+10", 180}, {"+100", 252}};
        for (int i = 0; i < 6; ++i)
            MakeButton(stepButtons[i], group, kIdStepFirst + i, steps[i].caption, steps[i].x, 14, 33, 29, true,
                       &Impl::OnStep);
        positionView.window = MakeLabel(group, "00000", 10, 18, positionFont, 64);
        SetWindowSubclass(positionView.window, ColouredLabelProc, 0, RGB(48, 48, 144));
        autoConnView.window = CheckBox(control, "Automatic Connection", kIdCBAutoConn, 4, 60, 141, 17);
        backlashView.window = CheckBox(control, "Software backlash correction", kIdCBBacklash, 144, 60, 161, 17);
        MakeButton(butHelp, control, kIdButHelp, "", 261, 82, 42, 29, true, &Impl::OnHelp);
        butHelp.SetBitmapKind(TBitmapKind::bkHelp);
        butHelp.SetOffX(6);

        // The controls whose values the settings component keeps, in the order the window created them.
        components.push_back(std::make_unique<ControlComponent>(memo, 0, ComponentKind::Edit));
        components.push_back(std::make_unique<NumEditComponent>(edSteps, 1003));
        components.push_back(std::make_unique<NumEditComponent>(edInc, 1004));
        components.push_back(std::make_unique<NumEditComponent>(edExpo, 1005));
        components.push_back(std::make_unique<ControlComponent>(autoConnView.window, 1001, ComponentKind::CheckBox));
        components.push_back(std::make_unique<ControlComponent>(backlashView.window, 1002, ComponentKind::CheckBox));
        save.Tag = 1000;
        save.TagInteger = 0;

        timerView.owner = window;
        pagesView.SetActivePage(PageControlView::kControlPage);
        // The host's start command shows the "Autofocus" page.
        pagesView.afterProgramSwitch = [this] { FocusShownPage(); };
    }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg != 0 && msg == form.FocuserMessageId()) {
            Guarded([&] { form.HandleFocuserMessage(static_cast<uint64_t>(wParam), static_cast<intptr_t>(lParam)); });
            return 0;
        }
        LRESULT reflected = 0;
        if (ReflectNotification(window, msg, wParam, lParam, &reflected)) return reflected;
        switch (msg) {
            case WM_NOTIFY: {
                auto* header = reinterpret_cast<NMHDR*>(lParam);
                if (header->hwndFrom == pagesView.tabs && header->code == TCN_SELCHANGE) UserChangedPage();
                return 0;
            }
            case WM_ACTIVATE:
                // As a dialog does: the control that had the focus gets it back when the window
                // is active again (after a message box, or another program in front). The
                // focus is gone by the time the window hears it is deactivated: a message box
                // disables the window first, which takes the focus away.
                if (LOWORD(wParam) != WA_INACTIVE && lastFocus && IsChild(window, lastFocus) &&
                    IsWindowVisible(lastFocus) && IsWindowEnabled(lastFocus) && !IsIconic(window)) {
                    SetFocus(lastFocus);
                    return 0;
                }
                return DefWindowProcA(window, msg, wParam, lParam);
            case WM_DPICHANGED:
                ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
                return 0;
            case WM_TIMER:
                if (wParam == kTimer1Id && !reportOpen) Guarded([&] { form.Timer1Timer(); });
                return 0;
            case WM_CLOSE:
                if (handlerDepth > 0) {
                    closePending = true;
                    return 0;
                }
                // A focuser that refuses to unlink is reported, but does not keep the program open.
                Guarded([&] { form.FormClose(); });
                DestroyWindow(window);
                return 0;
            case WM_DESTROY:
                timerView.SetEnabled(false);
                Guarded([&] { form.FormDestroy(); });
                PostQuitMessage(0);
                return 0;
            default:
                return DefWindowProcA(window, msg, wParam, lParam);
        }
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        Impl* self = reinterpret_cast<Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (msg == WM_NCCREATE) {
            self = static_cast<Impl*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
            self->window = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        if (!self) return DefWindowProcA(window, msg, wParam, lParam);
        return self->HandleMessage(msg, wParam, lParam);
    }

    // The page the user chose is shown and the controller told, whether by a click on a
    // tab or by a page key.
    void UserChangedPage() {
        pagesView.ShowActive();
        FocusShownPage();
        Guarded([&] { form.PGMainChange(); });
    }

    // Hiding the page that held the focus leaves it on the bare window, where Tab and
    // Shift+Tab find nothing: give it to the first control of the page now shown. While
    // the window is not active (the host switched pages), that control is where the
    // focus goes back when the window is activated.
    void FocusShownPage() {
        HWND shown = pagesView.pages[pagesView.ActivePage() == 0 ? 0 : 1];
        const bool active = GetActiveWindow() == window;
        HWND focus = active ? GetFocus() : lastFocus;
        if (focus == pagesView.tabs || (focus && IsChild(shown, focus))) return;
        HWND first = FirstTabStop(shown);
        if (!first) return;
        if (active)
            SetFocus(first);
        else
            lastFocus = first;
    }

    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp anywhere in the window.
    bool SwitchPageByKey(const MSG& msg) {
        if (msg.message != WM_KEYDOWN || (msg.hwnd != window && !IsChild(window, msg.hwnd))) return false;
        KeyChord key;
        key.virtualKey = static_cast<int>(msg.wParam);
        key.ctrl = GetKeyState(VK_CONTROL) < 0;
        key.shift = GetKeyState(VK_SHIFT) < 0;
        key.alt = GetKeyState(VK_MENU) < 0;
        const int step = PageStepForKey(key);
        if (step == 0) return false;
        const int count = static_cast<int>(SendMessageA(pagesView.tabs, TCM_GETITEMCOUNT, 0, 0));
        const int next = PageAfterStep(pagesView.ActivePage(), step, count);
        SendMessageA(pagesView.tabs, TCM_SETCURSEL, static_cast<WPARAM>(next), 0);
        UserChangedPage();
        return true;
    }

    // Page keys, then Tab and the other navigation keys between the controls, as in a dialog.
    bool PreTranslate(MSG& msg) {
        if (!window || !IsWindow(window)) return false;
        if (HWND focus = GetFocus(); focus && IsChild(window, focus)) lastFocus = focus;
        return SwitchPageByKey(msg) || IsDialogMessageA(window, &msg);
    }
};

MainWindow::MainWindow() : impl_(std::make_unique<Impl>()) {}

MainWindow::~MainWindow() {
    if (impl_->window && IsWindow(impl_->window)) DestroyWindow(impl_->window);
}

bool MainWindow::Create(HINSTANCE instance) {
    impl_->instance = instance;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Impl::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassExA(&wc);

    WNDCLASSEXA page{};
    page.cbSize = sizeof page;
    page.lpfnWndProc = PageProc;
    page.hInstance = instance;
    page.hCursor = LoadCursor(nullptr, IDC_ARROW);
    page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    page.lpszClassName = kPageClass;
    RegisterClassExA(&page);

    // The first place is on the primary screen, at the system's density; CreateControls
    // sizes the window again should it be on a screen of another.
    const int dpi = SystemDpi();
    RECT frame{0, 0, ScaleToDpi(kClientWidth, dpi), ScaleToDpi(kClientHeight, dpi)};
    AdjustWindowRectForDpi(frame, kWindowStyle, kWindowExStyle, dpi);
    HWND window = CreateWindowExA(kWindowExStyle, kWindowClass, TFormAFoc::kTitle, kWindowStyle,
                                  ScaleToDpi(kLeft, dpi), ScaleToDpi(kTop, dpi), frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, nullptr, instance, impl_.get());
    if (!window) return false;
    StartupMark("window created");

    Impl& self = *impl_;
    self.platform.SetMainWindow(window);
    self.platform.preTranslate = [&self](MSG& msg) { return self.PreTranslate(msg); };
    SetErrorHook([&self](const std::exception& e) { self.ShowReport(e); });
    self.CreateControls();
    StartupMark("controls created");
    // The form hands a run's record over only when the options ask for it.
    self.form.SetRunRecorder(&self.recorder);
    self.Guarded([&] {
        // The run options are read once, before anything can start a run; a missing or
        // unreadable file leaves every option at its default.
        std::string path = self.files.ProgramDirectory();
        if (!path.empty()) {
            path += kRunOptionsFileName;
            if (const std::optional<std::string> text = self.files.ReadAll(path))
                self.form.SetRunOptions(ParseRunOptions(*text));
        }
        self.form.FormCreate();
    });
    StartupMark("settings read");
    return true;
}

void MainWindow::Show() {
    ShowWindow(impl_->window, SW_SHOW);
    StartupMark("window shown");
    UpdateWindow(impl_->window);
    StartupMark("first paint");
    SetFocus(impl_->butConnect.Handle());
    impl_->Guarded([&] { impl_->form.FormShow(); });
    StartupMark("shown");
    StartupTraceWrite();
}

int MainWindow::RunMessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (impl_->PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    SetErrorHook(nullptr);
    return static_cast<int>(msg.wParam);
}

HWND MainWindow::Handle() const {
    return impl_->window;
}

TFormAFoc& MainWindow::Form() {
    return impl_->form;
}

}  // namespace qm::win

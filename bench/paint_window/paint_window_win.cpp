// Times full repaints of the main window's layout built twice: once with the
// program's own controls (TXMButton for every button, TNumEdit with its spin button
// for the three numbers) and once with standard controls in their places (BUTTON push
// buttons, EDIT with an UPDOWN buddy). Everything else is the same: client area,
// tab control with two pages, memo, labels, group box, check boxes, fonts.
//
// Both windows stand side by side on the screen; each round repaints each window N
// times with each page shown (RedrawWindow with RDW_INVALIDATE | RDW_ERASE |
// RDW_UPDATENOW | RDW_ALLCHILDREN: the window and every child paint before it
// returns), in turn, and the medians over the rounds are set against each other.
//
//   paint_window.exe [repaints per round] [rounds]     (default 200, 7)
//   paint_window.exe --show SECONDS PAGE                shows both windows on page 0 or 1, for a look
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/raii_win.h"
#include "controls/bitmap_kind.h"
#include "controls/num_edit_win.h"
#include "controls/reflect_win.h"
#include "controls/xm_button_win.h"

namespace {

using namespace qm::win;
using qm::TBitmapKind;

constexpr int kClientWidth = 318;
constexpr int kClientHeight = 141;
constexpr int kDefaultRepaints = 200;
constexpr int kDefaultRounds = 7;
constexpr int kWarmUpRepaints = 20;
constexpr int kIdleSliceMs = 10;
constexpr char kWindowClass[] = "QmPaintWindowBench";
constexpr char kPageClass[] = "QmPaintWindowPage";

LRESULT CALLBACK ContainerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ReflectNotification(window, msg, wParam, lParam, &result))
        return result;
    return DefWindowProcA(window, msg, wParam, lParam);
}

void RegisterClasses() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ContainerProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    windowClass.lpszClassName = kPageClass;
    RegisterClassA(&windowClass);
}

Font MakeFont(int height, int weight, DWORD pitch, const char* face) {
    return Font(CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitch, face));
}

// One window of the layout. With own controls the buttons and numbers are the program's
// controls; otherwise standard ones of the same size in the same places.
class LayoutWindow {
  public:
    LayoutWindow(bool ownControls, int left, int top) : own_(ownControls) {
        font_ = MakeFont(11, FW_NORMAL, DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
        memoFont_ = MakeFont(11, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Courier New");
        positionFont_ = MakeFont(19, FW_BOLD, DEFAULT_PITCH | FF_SWISS, "Arial");
        RECT frame{0, 0, kClientWidth, kClientHeight};
        const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
        window_ = CreateWindowExA(WS_EX_TOPMOST, kWindowClass, own_ ? "own controls" : "standard controls", style, left,
                                  top, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        BuildControls();
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        UpdateWindow(window_);
    }
    ~LayoutWindow() {
        if (window_)
            DestroyWindow(window_);
    }
    LayoutWindow(const LayoutWindow&) = delete;
    LayoutWindow& operator=(const LayoutWindow&) = delete;

    bool Valid() const { return window_ != nullptr; }

    // Handles messages for the given time, as a running program would.
    static void Idle(int milliseconds) {
        const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
        while (static_cast<int32_t>(end - GetTickCount()) > 0) {
            Pump();
            Sleep(kIdleSliceMs);
        }
    }

    void ShowPage(int page) {
        SendMessageA(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
        for (int i = 0; i < 2; ++i)
            ShowWindow(pages_[i], i == page ? SW_SHOW : SW_HIDE);
        Pump();
    }

    // Microseconds per full repaint of the window and all its children.
    double TimeRepaints(int repaints) {
        for (int i = 0; i < kWarmUpRepaints; ++i)
            Repaint();
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        for (int i = 0; i < repaints; ++i)
            Repaint();
        QueryPerformanceCounter(&end);
        Pump();
        return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) /
               repaints;
    }

  private:
    void Repaint() {
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        GdiFlush();
    }

    static void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    HWND Child(HWND parent,
               const char* cls,
               const char* text,
               DWORD style,
               int x,
               int y,
               int w,
               int h,
               HFONT font,
               DWORD exStyle = 0) {
        HWND child = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(++lastId_)),
                                     GetModuleHandleA(nullptr), nullptr);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return child;
    }

    void Label(HWND parent, const char* text, int x, int y, HFONT font, int minWidth = 0) {
        WindowDC dc(parent);
        SelectObjectGuard select(dc.get(), font);
        SIZE extent{};
        GetTextExtentPoint32A(dc.get(), text, lstrlenA(text), &extent);
        Child(parent, "STATIC", text, SS_LEFT | SS_NOPREFIX, x, y, std::max<int>(extent.cx, minWidth), extent.cy, font);
    }

    void Button(HWND parent,
                const char* caption,
                int x,
                int y,
                int w,
                int h,
                bool enabled,
                TBitmapKind glyph = TBitmapKind::bkCustom) {
        if (own_) {
            auto& button = buttons_.emplace_back(std::make_unique<TXMButton>());
            button->Create(parent, ++lastId_, caption, x, y, w, h, font_.get());
            button->SetEnabled(enabled);
            if (glyph != TBitmapKind::bkCustom) {
                button->SetBitmapKind(glyph);
                button->SetOffX(6);
            }
        } else {
            // The help button's glyph becomes a "?" caption on a standard button.
            HWND b = Child(parent, "BUTTON", glyph != TBitmapKind::bkCustom ? "?" : caption, BS_PUSHBUTTON | WS_TABSTOP,
                           x, y, w, h, font_.get());
            EnableWindow(b, enabled);
        }
    }

    void Number(HWND parent, int x, int y, int w, int h, int minValue, int maxValue, int increment, int value) {
        if (own_) {
            auto& edit = edits_.emplace_back(std::make_unique<TNumEdit>());
            edit->Create(parent, ++lastId_, x, y, w, h, font_.get());
            edit->SetAlwaysInteger(true);
            edit->SetIncrement(increment);
            edit->SetMaxValue(maxValue);
            edit->SetMinValue(minValue);
            edit->SetValue(value);
        } else {
            HWND edit = Child(parent, "EDIT", std::to_string(value).c_str(), ES_AUTOHSCROLL | WS_TABSTOP, x, y, w, h,
                              font_.get(), WS_EX_CLIENTEDGE);
            HWND spin =
                Child(parent, UPDOWN_CLASSA, "", UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0,
                      0, 0, 0, font_.get());
            SendMessageA(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
            SendMessageA(spin, UDM_SETRANGE32, static_cast<WPARAM>(minValue), maxValue);
            UDACCEL accel{0, static_cast<UINT>(increment)};
            SendMessageA(spin, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
            SendMessageA(spin, UDM_SETPOS32, 0, value);
        }
    }

    void BuildControls() {
        if (!window_)
            return;
        tabs_ = Child(window_, WC_TABCONTROLA, "", WS_CLIPSIBLINGS | TCS_HOTTRACK, 0, 0, kClientWidth, kClientHeight,
                      font_.get());
        const char* captions[2] = {"Autofocus", "Control"};
        for (int i = 0; i < 2; ++i) {
            TCITEMA item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<char*>(captions[i]);
            SendMessageA(tabs_, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
        RECT area{0, 0, kClientWidth, kClientHeight};
        SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        for (HWND& page : pages_) {
            page = CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, "", WS_CHILD | WS_CLIPSIBLINGS, area.left, area.top,
                                   area.right - area.left, area.bottom - area.top, window_, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
            SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
        HWND autofocus = pages_[0];
        HWND control = pages_[1];

        Child(autofocus, "EDIT", " 9700 = 1234\r\n 9800 = 2345\r\n 9900 = 3456",
              WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 4, 4, 137, 105, memoFont_.get(),
              WS_EX_CLIENTEDGE);
        Number(autofocus, 151, 20, 44, 22, 5, 49, 2, 7);
        Number(autofocus, 202, 20, 51, 22, 1, 999, 10, 100);
        Number(autofocus, 260, 20, 43, 22, 1, 9, 1, 2);
        Button(autofocus, "Start", 151, 56, 71, 29, true);
        Button(autofocus, "Stop", 232, 56, 71, 29, false);
        Label(autofocus, "Steps", 151, 2, font_.get());
        Label(autofocus, "Increment", 202, 2, font_.get());
        Label(autofocus, "Expo/Step", 260, 2, font_.get());
        Label(autofocus, "Status:", 152, 96, font_.get());
        Label(autofocus, "Best Focus = 10026", 190, 96, font_.get(), 118);

        Button(control, "Connect", 4, 82, 87, 29, false);
        Button(control, "Disconnect", 100, 82, 87, 29, true);
        HWND group = Child(control, "BUTTON", "Position", BS_GROUPBOX | WS_CLIPCHILDREN, 4, 1, 299, 53, font_.get(),
                           WS_EX_CONTROLPARENT);
        InstallReflector(group);
        const struct {
            const char* caption;
            int x;
        } steps[6] = {{"-100", 220}, {"-10", 148}, {"-1", 76}, {"+1", 108}, {"+10", 180}, {"+100", 252}};
        for (const auto& step : steps)
            Button(group, step.caption, step.x, 14, 33, 29, true);
        Label(group, "10026", 10, 18, positionFont_.get(), 64);
        Child(control, "BUTTON", "Automatic Connection", BS_AUTOCHECKBOX | WS_TABSTOP, 4, 60, 141, 17, font_.get());
        Child(control, "BUTTON", "Software backlash correction", BS_AUTOCHECKBOX | WS_TABSTOP, 144, 60, 161, 17,
              font_.get());
        Button(control, "", 261, 82, 42, 29, true, TBitmapKind::bkHelp);
    }

    bool own_;
    HWND window_ = nullptr;
    HWND tabs_ = nullptr;
    HWND pages_[2] = {nullptr, nullptr};
    int lastId_ = 100;
    Font font_, memoFont_, positionFont_;
    std::vector<std::unique_ptr<TXMButton>> buttons_;
    std::vector<std::unique_ptr<TNumEdit>> edits_;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int repaints = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRepaints;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRounds;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterClasses();

    LayoutWindow own(true, 20, 20);
    LayoutWindow standard(false, 380, 20);
    if (!own.Valid() || !standard.Valid()) {
        std::printf("error: cannot create the windows\n");
        return 1;
    }
    if (argc > 3 && std::string(argv[1]) == "--show") {
        const int page = std::atoi(argv[3]) == 1 ? 1 : 0;
        own.ShowPage(page);
        standard.ShowPage(page);
        LayoutWindow::Idle(std::atoi(argv[2]) * 1000);
        return 0;
    }
    const char* pageNames[2] = {"Autofocus page", "Control page"};
    // [page][variant] -> microseconds of each round
    std::vector<double> times[2][2];
    std::vector<double> totalRatio;
    for (int round = 0; round < rounds; ++round) {
        double sum[2] = {0, 0};
        for (int page = 0; page < 2; ++page) {
            own.ShowPage(page);
            standard.ShowPage(page);
            // Alternate which goes first, so neither always meets the other's leftovers.
            const bool ownFirst = (round + page) % 2 == 0;
            double t[2];
            if (ownFirst) {
                t[0] = own.TimeRepaints(repaints);
                t[1] = standard.TimeRepaints(repaints);
            } else {
                t[1] = standard.TimeRepaints(repaints);
                t[0] = own.TimeRepaints(repaints);
            }
            for (int v = 0; v < 2; ++v) {
                times[page][v].push_back(t[v]);
                sum[v] += t[v];
            }
        }
        totalRatio.push_back(sum[0] / sum[1]);
    }
    std::printf("paint_window: %d repaints per round, %d rounds, window %d x %d, medians in us per full repaint\n",
                repaints, rounds, kClientWidth, kClientHeight);
    double ownSum = 0;
    double standardSum = 0;
    for (int page = 0; page < 2; ++page) {
        const double ownUs = Median(times[page][0]);
        const double standardUs = Median(times[page][1]);
        ownSum += ownUs;
        standardSum += standardUs;
        std::printf("%-15s own controls %9.1f us   standard controls %9.1f us   ratio %5.2f\n", pageNames[page], ownUs,
                    standardUs, ownUs / standardUs);
    }
    std::sort(totalRatio.begin(), totalRatio.end());
    std::printf(
        "both pages      own controls %9.1f us   standard controls %9.1f us   ratio  %4.2f"
        "   (rounds' ratios %4.2f to %4.2f)\n",
        ownSum, standardSum, ownSum / standardSum, totalRatio.front(), totalRatio.back());
    std::printf("summary:\tfull repaint of the window, both pages\t%.2f ms\tsame window with standard controls, %.2f ms"
                "\t%.2f\trounds %.2f-%.2f\n",
                ownSum / 1000, standardSum / 1000, ownSum / standardSum, totalRatio.front(), totalRatio.back());
    return 0;
}

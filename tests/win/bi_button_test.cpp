// The real spin button window under Wine: which half a press takes, the right
// button, the repeat timing, the drag multiplier, the focus control, errors raised
// by the click handler, and painting into a memory DC against the portable painter.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/test_parent_win.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/dpi_scale.h"
#include "common/dpi_win.h"
#include "common/raii_win.h"
#include "controls/bi_button_paint.h"
#include "controls/bi_button_win.h"
#include "controls/error_hook.h"
#include "controls/pixel_canvas.h"

namespace qm::win {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kParentClass[] = "QmSpinTestParent";

// Handles the messages that arrive within ms milliseconds.
void PumpFor(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

LPARAM At(int x, int y = 8) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

// Restores the error report hook after a test that replaces it.
struct ErrorHookGuard {
    ~ErrorHookGuard() { SetErrorHook(nullptr); }
};

class BiButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = qm::test::CreateTestParent(kParentClass, DefWindowProcA, "spin test", 200, 100);
        ASSERT_NE(parent_, nullptr);
        button_.Create(parent_, 100, 10);
        button_.OnButtonClick = [this](TBiButton& sender) {
            EXPECT_EQ(&sender, &button_);
            clicks_.push_back({sender.UpPressed(), sender.DownPressed(), Clock::now()});
        };
        PumpFor(50);
    }
    void TearDown() override {
        if (IsWindow(parent_))
            DestroyWindow(parent_);
    }
    LRESULT Send(UINT msg, LPARAM lParam, WPARAM wParam = 0) {
        return SendMessageA(button_.Handle(), msg, wParam, lParam);
    }

    struct Click {
        bool up, down;
        Clock::time_point when;
    };
    HWND parent_ = nullptr;
    TBiButton button_;
    std::vector<Click> clicks_;
};

TEST_F(BiButtonTest, PressTakesTheHalfUnderTheMouse) {
    EXPECT_EQ(button_.StepMultiplier(), 1);  // before any press
    const struct {
        int x;
        bool up;
    } cases[] = {{11, false}, {12, true}, {0, false}, {23, true}};
    for (const auto& c : cases) {
        clicks_.clear();
        Send(WM_LBUTTONDOWN, At(c.x), MK_LBUTTON);
        EXPECT_EQ(button_.UpPressed(), c.up) << c.x;
        EXPECT_EQ(button_.DownPressed(), !c.up) << c.x;
        EXPECT_EQ(GetCapture(), button_.Handle());
        ASSERT_EQ(clicks_.size(), 1u) << "one step at the press";
        EXPECT_EQ(clicks_[0].up, c.up);
        EXPECT_EQ(clicks_[0].down, !c.up);
        Send(WM_LBUTTONUP, At(c.x));
        EXPECT_FALSE(button_.UpPressed());
        EXPECT_FALSE(button_.DownPressed());
        EXPECT_NE(GetCapture(), button_.Handle());
    }
}

TEST_F(BiButtonTest, RightButtonRecordsTheCoordinateOnly) {
    Send(WM_LBUTTONDOWN, At(12), MK_LBUTTON);
    Send(WM_MOUSEMOVE, At(52), MK_LBUTTON);
    Send(WM_LBUTTONUP, At(52));
    ASSERT_EQ(button_.StepMultiplier(), 3);
    clicks_.clear();

    Send(WM_RBUTTONDOWN, At(17), MK_RBUTTON);
    EXPECT_EQ(button_.StepMultiplier(), 1);
    EXPECT_EQ(button_.PressX(), 17);
    EXPECT_FALSE(button_.UpPressed());
    EXPECT_FALSE(button_.DownPressed());
    Send(WM_MOUSEMOVE, At(60), MK_RBUTTON);
    EXPECT_EQ(button_.StepMultiplier(), 1);
    PumpFor(650);  // no repeat either
    Send(WM_RBUTTONUP, At(60));
    EXPECT_TRUE(clicks_.empty());
}

TEST_F(BiButtonTest, HoldingRepeatsAfter500msThenEvery100ms) {
    const auto start = Clock::now();
    Send(WM_LBUTTONDOWN, At(12), MK_LBUTTON);
    PumpFor(950);
    Send(WM_LBUTTONUP, At(12));
    const size_t held = clicks_.size();
    EXPECT_GE(held, 5u);
    EXPECT_LE(held, 7u);
    for (const auto& c : clicks_)
        EXPECT_TRUE(c.up && !c.down);
    if (held >= 2) {
        auto first = std::chrono::duration_cast<std::chrono::milliseconds>(clicks_[1].when - start).count();
        EXPECT_GE(first, 480);
        EXPECT_LE(first, 650);
    }
    PumpFor(300);
    EXPECT_EQ(clicks_.size(), held) << "the repeat stops at the release";
}

TEST_F(BiButtonTest, RepeatStopsWhenTheCaptureIsLost) {
    Send(WM_LBUTTONDOWN, At(3), MK_LBUTTON);
    ReleaseCapture();
    PumpFor(750);
    EXPECT_EQ(clicks_.size(), 1u);
    EXPECT_TRUE(button_.DownPressed());  // still held until a mouse-up arrives
    Send(WM_LBUTTONUP, At(3));
}

TEST_F(BiButtonTest, DraggingSetsTheMultiplier) {
    const struct {
        int pressX;
        std::vector<std::pair<int, int>> moves;  // x, expected multiplier
    } cases[] = {
        {12, {{52, 3}, {12, 1}, {-8, 0}, {30, 2}, {-24, -1}}},  // right half: outwards is to the right
        {5, {{-35, 3}, {5, 1}, {25, 0}, {-13, 2}}},             // left half: outwards is to the left
    };
    for (const auto& c : cases) {
        Send(WM_LBUTTONDOWN, At(c.pressX), MK_LBUTTON);
        for (auto [x, multiplier] : c.moves) {
            Send(WM_MOUSEMOVE, At(x), MK_LBUTTON);
            EXPECT_EQ(button_.StepMultiplier(), multiplier) << "press " << c.pressX << " move to " << x;
        }
        Send(WM_LBUTTONUP, At(c.moves.back().first));
        EXPECT_EQ(button_.StepMultiplier(), c.moves.back().second) << "kept after the release";
    }
}

TEST_F(BiButtonTest, PressMovesTheFocusToTheFocusControl) {
    HWND edit = CreateWindowExA(0, "EDIT", "0", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 80, 20, parent_, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    button_.SetFocusControl(edit);
    EXPECT_EQ(button_.FocusControl(), edit);

    SetFocus(parent_);
    Send(WM_LBUTTONDOWN, At(12), MK_LBUTTON);
    Send(WM_LBUTTONUP, At(12));
    EXPECT_EQ(GetFocus(), edit);

    // Without a tab stop, or disabled, the control is left alone.
    SetWindowLongPtrA(edit, GWL_STYLE, GetWindowLongPtrA(edit, GWL_STYLE) & ~WS_TABSTOP);
    SetFocus(parent_);
    Send(WM_LBUTTONDOWN, At(12), MK_LBUTTON);
    Send(WM_LBUTTONUP, At(12));
    EXPECT_EQ(GetFocus(), parent_);
    SetWindowLongPtrA(edit, GWL_STYLE, GetWindowLongPtrA(edit, GWL_STYLE) | WS_TABSTOP);
    EnableWindow(edit, FALSE);
    Send(WM_LBUTTONDOWN, At(12), MK_LBUTTON);
    Send(WM_LBUTTONUP, At(12));
    EXPECT_EQ(GetFocus(), parent_);

    // A destroyed focus control reads as none, and a press still steps.
    DestroyWindow(edit);
    EXPECT_EQ(button_.FocusControl(), nullptr);
    clicks_.clear();
    Send(WM_LBUTTONDOWN, At(2), MK_LBUTTON);
    Send(WM_LBUTTONUP, At(2));
    ASSERT_EQ(clicks_.size(), 1u);
    EXPECT_TRUE(clicks_[0].down);
}

TEST_F(BiButtonTest, ErrorInTheClickHandlerIsReportedAndEndsTheRepeat) {
    ErrorHookGuard restore;
    std::vector<std::string> reported;
    SetErrorHook([&](const std::exception& e) { reported.push_back(e.what()); });
    int calls = 0;
    button_.OnButtonClick = [&](TBiButton&) {
        if (++calls == 2)
            throw std::runtime_error("driver failed");
    };
    Send(WM_LBUTTONDOWN, At(12), MK_LBUTTON);
    PumpFor(900);
    Send(WM_LBUTTONUP, At(12));
    EXPECT_EQ(calls, 2) << "the first repeat failed and stopped the timer";
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "driver failed");

    // An error at the press itself is reported too, and the window carries on.
    calls = 1;
    Send(WM_LBUTTONDOWN, At(2), MK_LBUTTON);
    Send(WM_LBUTTONUP, At(2));
    EXPECT_EQ(reported.size(), 2u);
    EXPECT_FALSE(button_.DownPressed());
}

// Renders the control through WM_PRINTCLIENT into a 32-bit memory bitmap prefilled
// with magenta, and the portable painter into a pixel grid, and compares them. The
// button has its 96-DPI size scaled to the window's density, which the painter is given.
TEST_F(BiButtonTest, PaintingMatchesThePortablePainter) {
    const int dpi = WindowDpi(button_.Handle());
    const int kW = ScaleToDpi(24, dpi), kH = ScaleToDpi(16, dpi);
    SetWindowPos(button_.Handle(), nullptr, 0, 0, kW, kH, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    constexpr Color kMagenta = Rgb(255, 0, 255);
    WindowDC screen(nullptr);
    MemoryDC memory(screen.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kW;
    info.bmiHeader.biHeight = -kH;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(bitmap);
    SelectObjectGuard select(memory.get(), bitmap.get());

    const Color face = GetSysColor(COLOR_BTNFACE);
    const struct {
        int pressX;  // -1: nothing held
        bool gradient;
    } cases[] = {{-1, false}, {3, false}, {20, false}, {-1, true}, {3, true}, {20, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "press " << c.pressX << " gradient " << c.gradient);
        button_.SetDrawGradient(c.gradient);
        EXPECT_EQ(button_.DrawGradient(), c.gradient);
        if (c.pressX >= 0)
            Send(WM_LBUTTONDOWN, At(ScaleToDpi(c.pressX, dpi)), MK_LBUTTON);
        Brush magenta(CreateSolidBrush(kMagenta));
        RECT all{0, 0, kW, kH};
        FillRect(memory.get(), &all, magenta.get());
        SendMessageA(button_.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);

        PixelCanvas expected(kW, kH, kMagenta);
        PaintBiButton(expected, kW, kH, button_.UpPressed(), button_.DownPressed(), c.gradient, face, dpi);
        int differing = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (GetPixel(memory.get(), x, y) != expected.GetPixel(x, y))
                    ++differing;
        EXPECT_EQ(differing, 0);
        if (c.pressX >= 0)
            Send(WM_LBUTTONUP, At(ScaleToDpi(c.pressX, dpi)));
    }
}

TEST_F(BiButtonTest, ParentDestroyedFirst) {
    DestroyWindow(parent_);
    EXPECT_EQ(button_.Handle(), nullptr);
    button_.SetDrawGradient(true);  // nothing to paint, no failure
    EXPECT_EQ(button_.StepMultiplier(), 1);
}

}  // namespace
}  // namespace qm::win

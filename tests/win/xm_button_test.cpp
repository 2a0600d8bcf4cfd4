// The real push button under Wine: painting through the reflected WM_DRAWITEM into a memory
// DC (frame, glyph, caption for enabled, disabled, focused and pressed), the glyph copied
// from a caller's bitmap, clicks and double clicks, errors from the click handler, the
// default-button notification and the size request.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/test_parent_win.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/dpi_scale.h"
#include "common/dpi_win.h"
#include "common/raii_win.h"
#include "controls/error_hook.h"
#include "controls/glyphs.h"
#include "controls/pixel_canvas.h"
#include "controls/reflect_win.h"
#include "controls/xm_button_paint.h"
#include "controls/xm_button_win.h"

namespace qm::win {
namespace {

constexpr char kParentClass[] = "QmPushButtonTestParent";
constexpr Color kUntouched = Rgb(255, 0, 255);

int gDrawItemCount = 0;

LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DRAWITEM)
        ++gDrawItemCount;
    LRESULT result = 0;
    if (ReflectNotification(window, msg, wParam, lParam, &result))
        return result;
    return DefWindowProcA(window, msg, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// A 32-bit memory surface to paint a button into.
class Surface {
  public:
    Surface(int width, int height)
        : width_(width),
          height_(height),
          dc_(nullptr),
          bitmap_(MakeDib(width, height)),
          select_(dc_.get(), bitmap_.get()) {
        RECT all{0, 0, width, height};
        Brush fill(CreateSolidBrush(kUntouched));
        FillRect(dc_.get(), &all, fill.get());
    }
    HDC dc() const { return dc_.get(); }
    Color At(int x, int y) const { return GetPixel(dc_.get(), x, y); }
    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    static HBITMAP MakeDib(int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    int width_, height_;
    MemoryDC dc_;
    Bitmap bitmap_;
    SelectObjectGuard select_;
};

struct TextBox {
    int count = 0;
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;  // inclusive bounds
};

TextBox FindColor(const Surface& s, Color c) {
    TextBox box;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x)
            if (s.At(x, y) == c) {
                ++box.count;
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

class XMButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = qm::test::CreateTestParent(kParentClass, ParentProc, "push button test", 320, 160);
        ASSERT_NE(parent_, nullptr);
        // Plain pixels: the caption is then exactly the text colour.
        font_.reset(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, "Tahoma"));
        face_ = GetSysColor(COLOR_BTNFACE);
        text_ = GetSysColor(COLOR_WINDOWTEXT);
        shadow_ = GetSysColor(COLOR_BTNSHADOW);
        gDrawItemCount = 0;
    }
    void TearDown() override {
        SetErrorHook(nullptr);
        if (IsWindow(parent_))
            DestroyWindow(parent_);
        Pump();
    }

    void Make(TXMButton& button, int id, const std::string& caption, int w, int h) {
        button.Create(parent_, id, caption, 10, 10, w, h, font_.get());
        ASSERT_NE(button.Handle(), nullptr);
        Pump();
    }

    // Paints the button into a fresh surface through the parent's reflected WM_DRAWITEM.
    void PaintInto(TXMButton& button, Surface& surface, UINT itemState) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = static_cast<UINT>(GetDlgCtrlID(button.Handle()));
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = itemState;
        item.hwndItem = button.Handle();
        item.hDC = surface.dc();
        item.rcItem = RECT{0, 0, surface.Width(), surface.Height()};
        EXPECT_EQ(SendMessageA(parent_, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item)), TRUE);
    }

    // The screen density the test's windows are drawn at, and a 96-DPI line's width there.
    int Dpi() const { return WindowDpi(parent_); }
    int Unit() const { return LineWidthForDpi(Dpi()); }

    // The frame as the portable painter draws it at the window's density, compared on the
    // ring of two lines and inside it.
    void ExpectFrame(const Surface& s, bool down, bool focused) {
        const int unit = Unit();
        PixelCanvas expected(s.Width(), s.Height());
        DrawButtonFrame(expected, Rect{0, 0, s.Width(), s.Height()}, face_, down, focused, unit);
        const int w = s.Width(), h = s.Height(), ring = 2 * unit;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (x < ring || y < ring || x >= w - ring || y >= h - ring) {
                    ASSERT_EQ(s.At(x, y), expected.GetPixel(x, y)) << "ring pixel " << x << "," << y;
                }
            }
        EXPECT_EQ(s.At(ring, ring), ButtonFrameColors(face_, down, focused).face);
        EXPECT_EQ(s.At(w - ring - 1, h - ring - 1), ButtonFrameColors(face_, down, focused).face);
    }

    void ExpectGlyph(const Surface& s, const Glyph& glyph, Point at) {
        const Color key = glyph.At(0, glyph.height - 1);
        for (int y = 0; y < glyph.height; ++y)
            for (int x = 0; x < glyph.width; ++x)
                if (glyph.At(x, y) != key) {
                    ASSERT_EQ(s.At(at.x + x, at.y + y), glyph.At(x, y)) << "glyph pixel " << x << "," << y;
                }
    }

    HWND parent_ = nullptr;
    Font font_;
    Color face_ = 0, text_ = 0, shadow_ = 0;
};

TEST_F(XMButtonTest, CreatesAnOwnerDrawnButton) {
    TXMButton button;
    Make(button, 101, "Start", 71, 29);
    EXPECT_EQ(GetWindowLongA(button.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_EQ(button.Caption(), "Start");
    button.SetCaption("Stop");
    EXPECT_EQ(button.Caption(), "Stop");
    char text[16] = {};
    GetWindowTextA(button.Handle(), text, sizeof text);
    EXPECT_STREQ(text, "Stop");
    SetWindowTextA(button.Handle(), "Go \xE9");  // text set on the window directly, code page 1252
    EXPECT_EQ(button.Caption(), "Go \xE9");
    EXPECT_TRUE(button.Enabled());
    button.SetEnabled(false);
    EXPECT_FALSE(button.Enabled());
    EXPECT_FALSE(IsWindowEnabled(button.Handle()));
}

TEST_F(XMButtonTest, PropertiesSetBeforeCreationApply) {
    TXMButton button;
    button.SetCaption("ignored");
    button.SetEnabled(false);
    button.SetBitmapKind(TBitmapKind::bkOk);
    Make(button, 102, "Connect", 87, 29);
    EXPECT_FALSE(button.Enabled());
    EXPECT_EQ(button.Caption(), "Connect");
    EXPECT_EQ(button.BitmapKind(), TBitmapKind::bkOk);
}

struct PaintCase {
    const char* name;
    UINT itemState;
    bool down;
    bool focused;
};

// Runs at every density the test program is started at (the prefix's LogPixels): the
// button's size, the frame's lines and the caption's room follow it.
TEST_F(XMButtonTest, PaintsFrameAndCaptionForEachState) {
    const int w = ScaleToDpi(71, Dpi()), h = ScaleToDpi(29, Dpi()), inset = ScaleToDpi(3, Dpi());
    TXMButton button;
    Make(button, 103, "Start", w, h);
    Surface plain(w, h);
    PaintInto(button, plain, 0);
    const TextBox plainText = FindColor(plain, text_);
    ASSERT_GT(plainText.count, 10);
    // Centred in the client area shrunk by 3 (give or take the letters' side bearings).
    EXPECT_LE(std::abs((plainText.left - inset) - (w - inset - 1 - plainText.right)), 3);
    EXPECT_GE(plainText.top, inset);
    EXPECT_LE(plainText.bottom, h - inset - 1);

    const std::vector<PaintCase> cases = {
        {"enabled", 0, false, false},
        {"focused", ODS_FOCUS, false, true},
        {"pressed", ODS_SELECTED, true, false},
        {"pressed and focused", ODS_SELECTED | ODS_FOCUS, true, true},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        Surface s(w, h);
        PaintInto(button, s, tc.itemState);
        ExpectFrame(s, tc.down, tc.focused);
        EXPECT_EQ(button.FocusedLook(), tc.focused);
        const TextBox text = FindColor(s, text_);
        EXPECT_EQ(text.count, plainText.count);
        EXPECT_EQ(text.left, plainText.left + (tc.down ? Unit() : 0));
        EXPECT_EQ(text.top, plainText.top + (tc.down ? Unit() : 0));
        EXPECT_EQ(FindColor(s, shadow_).count, 0);
    }

    // The Down property looks like a press.
    button.SetDown(true);
    Surface forced(w, h);
    PaintInto(button, forced, 0);
    ExpectFrame(forced, true, false);
    EXPECT_EQ(FindColor(forced, text_).left, plainText.left + Unit());
}

// The help button at the window's density: frame, scaled glyph and its place.
TEST_F(XMButtonTest, HelpButtonAtTheWindowsDensity) {
    const int dpi = Dpi();
    const int w = ScaleToDpi(42, dpi), h = ScaleToDpi(29, dpi);
    TXMButton button;
    Make(button, 107, "", w, h);
    button.SetBitmapKind(TBitmapKind::bkHelp);
    button.SetOffX(6);
    const Glyph glyph = ScaleGlyph(GlyphFromTable(HelpGlyph), dpi);
    EXPECT_EQ(glyph.width, ScaleToDpi(16, dpi));
    for (bool pressed : {false, true}) {
        SCOPED_TRACE(pressed ? "pressed" : "up");
        Surface s(w, h);
        PaintInto(button, s, pressed ? ODS_SELECTED : 0);
        ExpectFrame(s, pressed, false);
        ExpectGlyph(s, glyph, GlyphPosition(h, glyph.width, glyph.height, ScaleToDpi(6, dpi), 0, pressed, Unit()));
    }
}

// The density the test program was meant to run at (QM_EXPECT_DPI, 96 when not given):
// a pass meant for another density must not quietly run at 96.
TEST_F(XMButtonTest, RunsAtTheExpectedDensity) {
    const char* expected = std::getenv("QM_EXPECT_DPI");
    EXPECT_EQ(Dpi(), expected ? std::atoi(expected) : kBaseDpi);
}

TEST_F(XMButtonTest, DisabledCaptionIsGrey) {
    TXMButton button;
    Make(button, 104, "Stop", 71, 29);
    for (bool byFlag : {true, false}) {
        SCOPED_TRACE(byFlag ? "ODS_DISABLED" : "window disabled");
        button.SetEnabled(byFlag);
        Surface s(71, 29);
        PaintInto(button, s, byFlag ? ODS_DISABLED : 0);
        ExpectFrame(s, false, false);
        EXPECT_EQ(FindColor(s, text_).count, 0);
        EXPECT_GT(FindColor(s, shadow_).count, 10);
    }
    button.SetEnabled(true);
    Surface again(71, 29);
    PaintInto(button, again, 0);
    EXPECT_GT(FindColor(again, text_).count, 10);
    EXPECT_EQ(FindColor(again, shadow_).count, 0);
}

TEST_F(XMButtonTest, HelpGlyphPlacedAndGreyed) {
    TXMButton button;
    Make(button, 105, "", 42, 29);
    button.SetBitmapKind(TBitmapKind::bkHelp);
    button.SetOffX(6);
    const Glyph help = GlyphFromTable(HelpGlyph);

    Surface enabled(42, 29);
    PaintInto(button, enabled, 0);
    ExpectFrame(enabled, false, false);
    ExpectGlyph(enabled, help, {13, 6});
    EXPECT_EQ(enabled.At(13, 6), face_);  // the glyph's white corner lets the face show

    Surface pressed(42, 29);
    PaintInto(button, pressed, ODS_SELECTED);
    ExpectGlyph(pressed, help, {14, 7});

    button.SetEnabled(false);
    Surface disabled(42, 29);
    PaintInto(button, disabled, ODS_DISABLED);
    ExpectGlyph(disabled, MakeDisabledGlyph(help, GetSysColor(COLOR_BTNFACE)), {13, 6});

    button.SetEnabled(true);
    Surface back(42, 29);
    PaintInto(button, back, 0);
    ExpectGlyph(back, help, {13, 6});
}

TEST_F(XMButtonTest, GlyphCopiedFromTheCallersBitmap) {
    TXMButton button;
    Make(button, 106, "Go", 71, 29);
    // A 4 x 3 bitmap: lower-left pixel white (transparent), the rest coloured.
    const Color colours[3][4] = {{Rgb(200, 10, 10), Rgb(10, 200, 10), Rgb(10, 10, 200), Rgb(1, 2, 3)},
                                 {Rgb(50, 60, 70), Rgb(80, 90, 100), Rgb(110, 120, 130), Rgb(4, 5, 6)},
                                 {Rgb(255, 255, 255), Rgb(7, 8, 9), Rgb(250, 240, 230), Rgb(90, 0, 90)}};
    {
        WindowDC screen(nullptr);
        Bitmap own(CreateCompatibleBitmap(screen.get(), 4, 3));
        ASSERT_TRUE(own);
        {
            MemoryDC dc(screen.get());
            SelectObjectGuard select(dc.get(), own.get());
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x)
                    SetPixel(dc.get(), x, y, colours[y][x]);
        }
        button.SetBitmap(own.get());
    }  // the caller's bitmap is gone; the button keeps its copy
    EXPECT_EQ(button.BitmapKind(), TBitmapKind::bkCustom);

    Surface s(71, 29);
    PaintInto(button, s, 0);
    const Point at = GlyphPosition(29, 4, 3, 0, 0, false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            if (x != 0 || y != 2) {
                EXPECT_EQ(s.At(at.x + x, at.y + y), colours[y][x]) << x << "," << y;
            }
    EXPECT_EQ(s.At(at.x, at.y + 2), face_);

    button.SetBitmap(nullptr);
    EXPECT_EQ(button.BitmapKind(), TBitmapKind::bkNone);
    EXPECT_THROW(button.SetBitmap(reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(0x1234))), std::runtime_error);
}

TEST_F(XMButtonTest, AmpersandUnderlinesAndLongCaptionsClip) {
    TXMButton plain, prefixed, longer;
    Make(plain, 107, "Start", 71, 29);
    Make(prefixed, 108, "&Start", 71, 29);
    Surface a(71, 29), b(71, 29);
    PaintInto(plain, a, 0);
    PaintInto(prefixed, b, 0);
    const TextBox ta = FindColor(a, text_), tb = FindColor(b, text_);
    EXPECT_GT(tb.count, ta.count);  // the underline under the S, no ampersand drawn
    EXPECT_GT(tb.bottom, ta.bottom);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 71; ++x)
            if (a.At(x, y) == text_) {
                ASSERT_EQ(b.At(x, y), text_) << x << "," << y;
            }

    Make(longer, 109, "MMMMMMMMMMMMMMMMMMMM", 33, 29);
    Surface c(33, 29);
    PaintInto(longer, c, 0);
    const TextBox tc = FindColor(c, text_);
    ASSERT_GT(tc.count, 0);
    // Centred and clipped to the rectangle 3..29 at both ends: ink runs to both edges.
    EXPECT_GE(tc.left, 3);
    EXPECT_LE(tc.right, 29);
    EXPECT_LE(tc.left, 5);
    EXPECT_GE(tc.right, 27);
}

TEST_F(XMButtonTest, ClickRaisesOnClickOnce) {
    TXMButton button;
    Make(button, 110, "-1", 33, 29);
    int clicks = 0;
    button.OnClick = [&](TXMButton& sender) {
        EXPECT_EQ(&sender, &button);
        ++clicks;
    };
    SendMessageA(button.Handle(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(clicks, 1);
}

TEST_F(XMButtonTest, DoubleClickClicksTwice) {
    TXMButton button;
    Make(button, 111, "+10", 33, 29);
    int clicks = 0;
    button.OnClick = [&](TXMButton&) { ++clicks; };
    const LPARAM at = MAKELPARAM(5, 5);
    SendMessageA(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(button.Handle(), WM_LBUTTONUP, 0, at);
    SendMessageA(button.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(button.Handle(), WM_LBUTTONUP, 0, at);
    Pump();
    EXPECT_EQ(clicks, 2);
}

// Keys reach the focused button through the dialog manager, as in the program's message loop.
TEST_F(XMButtonTest, EnterAndSpaceClickTheFocusedButtonOncePerPress) {
    constexpr LPARAM kRepeat = LPARAM{1} << 30;
    struct Press {
        UINT message;
        WPARAM key;
        LPARAM flags;
    };
    struct Case {
        const char* name;
        bool enabled;
        std::vector<Press> presses;
        int clicks;
    };
    const Case cases[] = {
        {"Enter", true, {{WM_KEYDOWN, VK_RETURN, 1}, {WM_CHAR, '\r', 1}, {WM_KEYUP, VK_RETURN, 1}}, 1},
        {"Enter held", true, {{WM_KEYDOWN, VK_RETURN, 1}, {WM_KEYDOWN, VK_RETURN, 1 | kRepeat}, {WM_KEYUP, VK_RETURN, 1}},
         1},
        {"Enter twice", true, {{WM_KEYDOWN, VK_RETURN, 1}, {WM_KEYUP, VK_RETURN, 1}, {WM_KEYDOWN, VK_RETURN, 1}}, 2},
        {"Space", true, {{WM_KEYDOWN, VK_SPACE, 1}, {WM_CHAR, ' ', 1}, {WM_KEYUP, VK_SPACE, 1}}, 1},
        {"Escape", true, {{WM_KEYDOWN, VK_ESCAPE, 1}, {WM_KEYUP, VK_ESCAPE, 1}}, 0},
        {"Enter on a disabled button", false, {{WM_KEYDOWN, VK_RETURN, 1}, {WM_KEYUP, VK_RETURN, 1}}, 0},
    };
    int id = 120;
    for (const Case& c : cases) {
        TXMButton button;
        Make(button, id++, "Start", 71, 29);
        int clicks = 0;
        button.OnClick = [&](TXMButton&) { ++clicks; };
        SetFocus(button.Handle());
        button.SetEnabled(c.enabled);
        for (const Press& p : c.presses) {
            MSG msg{button.Handle(), p.message, p.key, p.flags, GetTickCount(), {0, 0}};
            if (!IsDialogMessageA(parent_, &msg))
                DispatchMessageA(&msg);
            Pump();
        }
        EXPECT_EQ(clicks, c.clicks) << c.name;
    }
}

TEST_F(XMButtonTest, ErrorInClickHandlerIsReported) {
    TXMButton button;
    Make(button, 112, "Connect", 87, 29);
    std::vector<std::string> reported;
    SetErrorHook([&](const std::exception& e) { reported.push_back(e.what()); });
    button.OnClick = [](TXMButton&) { throw std::runtime_error("driver failed"); };
    SendMessageA(button.Handle(), BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "driver failed");
}

TEST_F(XMButtonTest, DefaultButtonNotificationKeepsOwnerDraw) {
    TXMButton button;
    Make(button, 113, "Start", 71, 29);
    RedrawWindow(parent_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_FALSE(button.FocusedLook());
    // The notification changes the look: the button repaints at once (and that paint
    // takes the look from the focus flag again), and it stays owner-drawn.
    gDrawItemCount = 0;
    SendMessageA(button.Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
    EXPECT_EQ(GetWindowLongA(button.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_GE(gDrawItemCount, 1);
    SendMessageA(button.Handle(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EXPECT_EQ(GetWindowLongA(button.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

    // With the keyboard focus the system's own paint asks for the lighter face.
    SetFocus(button.Handle());
    ASSERT_EQ(GetFocus(), button.Handle());
    RedrawWindow(button.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(button.FocusedLook());
}

TEST_F(XMButtonTest, PropertyChangesRepaintOnlyWhenChanged) {
    TXMButton button;
    Make(button, 114, "Start", 71, 29);
    RedrawWindow(parent_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    gDrawItemCount = 0;
    button.SetDown(true);
    EXPECT_EQ(gDrawItemCount, 1);
    button.SetDown(true);
    button.SetOffX(0);
    button.SetBitmapKind(TBitmapKind::bkNone);
    EXPECT_EQ(gDrawItemCount, 1);
    button.SetHotTrack(true);
    EXPECT_TRUE(button.HotTrack());
    EXPECT_EQ(gDrawItemCount, 2);
}

TEST_F(XMButtonTest, MeasureItemAnswersTheButtonsSize) {
    TXMButton button;
    Make(button, 115, "Disconnect", 87, 29);
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_BUTTON;
    measure.CtlID = 115;
    EXPECT_EQ(SendMessageA(parent_, WM_MEASUREITEM, 115, reinterpret_cast<LPARAM>(&measure)), TRUE);
    EXPECT_EQ(measure.itemWidth, 87u);
    EXPECT_EQ(measure.itemHeight, 29u);
}

TEST_F(XMButtonTest, DestroyingTheObjectDestroysTheWindow) {
    HWND window = nullptr;
    {
        TXMButton button;
        Make(button, 116, "x", 20, 20);
        window = button.Handle();
        EXPECT_TRUE(IsWindow(window));
    }
    EXPECT_FALSE(IsWindow(window));
    // And a window destroyed with its parent leaves the object harmless.
    TXMButton button;
    Make(button, 117, "y", 20, 20);
    DestroyWindow(parent_);
    EXPECT_EQ(button.Handle(), nullptr);
}

}  // namespace
}  // namespace qm::win

// The real numeric edit under Wine, driven with the messages a user's keys, wheel and
// mouse produce: rewriting typed text on leaving, arrow keys, the wheel, Enter, the
// read-only and editor-disabled modes, cut and paste, focus selection, the spin
// button and the layout that keeps the text clear of it.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/test_parent_win.h"

#include <string>

#include "controls/bi_button_win.h"
#include "controls/num_edit_win.h"
#include "controls/reflect_win.h"

namespace qm::win {
namespace {

constexpr char kParentClass[] = "QmNumEditTestParent";
constexpr int kEditId = 101;

LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ReflectNotification(window, msg, wParam, lParam, &result)) return result;
    return DefWindowProcA(window, msg, wParam, lParam);
}

void PumpWaiting() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

LPARAM At(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

std::string WithSeparator(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c == '.') c = LocaleDecimalSeparator();
    }
    return out;
}

// A numeric edit that records which of its virtual operations the window side calls.
class RecordingEdit : public TNumEdit {
public:
    int buttonClicks = 0;
    void HandleButtonClick(TBiButton& sender) override {
        ++buttonClicks;
        TNumEdit::HandleButtonClick(sender);
    }
    // Also lets "x" through, to show the filter is called through the virtual table.
    bool AcceptsChar(char ch) const override { return ch == 'x' || TNumEdit::AcceptsChar(ch); }
};

class NumEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = qm::test::CreateTestParent(kParentClass, ParentProc, "numeric edit test", 300, 150);
        ASSERT_NE(parent_, nullptr);
        other_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 60, 100, 22,
                                 parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
        edit_.Create(parent_, kEditId, 10, 10, 151, 22, nullptr);
        edit_.OnChange = [this](TNumEdit& sender) {
            EXPECT_EQ(&sender, &edit_);
            ++changes_;
        };
        PumpWaiting();
    }
    void TearDown() override {
        if (IsWindow(parent_)) DestroyWindow(parent_);
    }

    // The settings of the main window's step count.
    void MakeEdSteps() {
        edit_.SetAlwaysInteger(true);
        edit_.SetIncrement(2);
        edit_.SetMaxValue(49);
        edit_.SetMinValue(5);
        edit_.SetErrValue(7);
        edit_.SetValue(7);
    }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(edit_.Handle(), msg, wParam, lParam);
    }
    void Type(const std::string& text) {
        for (char c : text) Send(WM_CHAR, static_cast<unsigned char>(c), 1);
    }
    void Key(WPARAM vk) { Send(WM_KEYDOWN, vk, 1); }
    void Wheel(short delta) { Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), At(50, 20)); }
    void Enter() {
        SetFocus(edit_.Handle());
        ASSERT_EQ(GetFocus(), edit_.Handle());
    }
    void Leave() {
        SetFocus(other_);
        ASSERT_EQ(GetFocus(), other_);
    }
    void PutOnClipboard(const std::string& text) {
        ASSERT_TRUE(OpenClipboard(parent_));
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        SetClipboardData(CF_TEXT, memory);  // the clipboard owns the memory from here
        CloseClipboard();
    }
    std::pair<DWORD, DWORD> Selection() {
        DWORD start = 0, end = 0;
        Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }

    HWND parent_ = nullptr;
    HWND other_ = nullptr;
    RecordingEdit edit_;
    int changes_ = 0;
};

TEST_F(NumEditTest, AFreshControlHasNoLimitsAndStepsByAHalf) {
    EXPECT_EQ(edit_.Text(), "0");
    EXPECT_EQ(edit_.Increment(), 0.5);
    EXPECT_EQ(edit_.Precision(), 15);
    EXPECT_TRUE(edit_.EditorEnabled());
    EXPECT_TRUE(edit_.ChangeOnWheel());
    EXPECT_TRUE(edit_.AutoSelect());
    EXPECT_FALSE(edit_.TextTyped());
    EXPECT_EQ(edit_.ClampValue(-1e300), -1e300);
    Key(VK_DOWN);
    Key(VK_DOWN);
    Key(VK_DOWN);
    EXPECT_EQ(edit_.Text(), WithSeparator("-1.5"));
    const LONG_PTR style = GetWindowLongPtrA(edit_.Handle(), GWL_STYLE);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & WS_CLIPCHILDREN);
}

TEST_F(NumEditTest, TypedTextIsRewrittenWhenTheFocusLeaves) {
    MakeEdSteps();
    struct Case {
        const char* typed;
        const char* shown;
    };
    // Focus arriving selects all, so typing replaces the text; a backspace empties it.
    const Case cases[] = {{"4", "5"}, {"60", "49"}, {"\b", "7"}, {"12\b3", "13"}, {"+3", "5"}, {"8-", "7"}};
    for (const auto& c : cases) {
        edit_.SetValue(20);
        Enter();
        Type(c.typed);
        EXPECT_TRUE(edit_.TextTyped()) << c.typed;
        Leave();
        EXPECT_EQ(edit_.Text(), c.shown) << "typed '" << c.typed << "'";
        EXPECT_FALSE(edit_.TextTyped());
    }
}

TEST_F(NumEditTest, ArrowKeysStepAndStopAtTheLimits) {
    MakeEdSteps();
    struct Case {
        const char* text;
        WPARAM key;
        const char* shown;
    };
    const Case cases[] = {{"7", VK_UP, "9"}, {"49", VK_UP, "49"}, {"6", VK_DOWN, "5"}, {"", VK_UP, "9"},
                          {"60", VK_DOWN, "47"}, {"7", VK_LEFT, "7"}};
    for (const auto& c : cases) {
        edit_.SetText(c.text);
        Key(c.key);
        EXPECT_EQ(edit_.Text(), c.shown) << c.text;
    }
}

TEST_F(NumEditTest, TextEmptiedWithDeleteStaysEmptyAndReadsAsTheErrorValue) {
    MakeEdSteps();
    Enter();
    Key(VK_DELETE);
    EXPECT_EQ(edit_.Text(), "");
    EXPECT_FALSE(edit_.TextTyped());
    Leave();
    EXPECT_EQ(edit_.Text(), "");
    EXPECT_EQ(edit_.Value(), 7);
    EXPECT_EQ(edit_.AsInteger(), 7);
}

TEST_F(NumEditTest, AssignedTextStaysUntilTheValueIsWritten) {
    MakeEdSteps();
    edit_.SetText("60");
    Enter();
    Leave();
    EXPECT_EQ(edit_.Text(), "60");
    EXPECT_EQ(edit_.Value(), 49);
    EXPECT_EQ(edit_.AsInteger(), 49);
    edit_.SetText("1e400");  // beyond a double: the error value, never an infinity
    EXPECT_EQ(edit_.AsInteger(), 7);
    edit_.SetText("60");
    edit_.SetValue(edit_.Value());
    EXPECT_EQ(edit_.Text(), "49");
}

TEST_F(NumEditTest, ReadOnlyChangesNothing) {
    MakeEdSteps();
    edit_.SetReadOnly(true);
    EXPECT_TRUE(GetWindowLongPtrA(edit_.Handle(), GWL_STYLE) & ES_READONLY);
    Enter();
    Key(VK_UP);
    Wheel(WHEEL_DELTA);
    Type("3");
    PutOnClipboard("33");
    Send(WM_PASTE);
    Send(WM_CUT);
    EXPECT_EQ(edit_.Text(), "7");
    edit_.SetReadOnly(false);
    Key(VK_UP);
    EXPECT_EQ(edit_.Text(), "9");
}

TEST_F(NumEditTest, TheWheelStepsOncePerMessage) {
    MakeEdSteps();
    Enter();
    Wheel(WHEEL_DELTA);
    EXPECT_EQ(edit_.Text(), "9");
    Wheel(-3 * WHEEL_DELTA);
    EXPECT_EQ(edit_.Text(), "7");
    Wheel(1);
    EXPECT_EQ(edit_.Text(), "9");
    edit_.SetChangeOnWheel(false);
    Wheel(WHEEL_DELTA);
    EXPECT_EQ(edit_.Text(), "9");
}

TEST_F(NumEditTest, EnterRaisesOnConfirmOnceAndInsertsNothing) {
    MakeEdSteps();
    Enter();
    Type("1\r");  // no OnConfirm: nothing happens
    EXPECT_EQ(edit_.Text(), "1");
    int confirms = 0;
    edit_.OnConfirm = [&](TNumEdit& sender) {
        EXPECT_EQ(&sender, &edit_);
        ++confirms;
    };
    Key(VK_RETURN);
    Type("\r");
    EXPECT_EQ(confirms, 1);
    EXPECT_EQ(edit_.Text(), "1");
    EXPECT_EQ(Send(EM_GETLINECOUNT), 1);
}

TEST_F(NumEditTest, WithTheEditorDisabledTypingIsBlockedAndSteppingWorks) {
    MakeEdSteps();
    edit_.SetEditorEnabled(false);
    Enter();
    Type("3\b-");
    EXPECT_EQ(edit_.Text(), "7");
    EXPECT_FALSE(edit_.TextTyped());
    Key(VK_UP);
    Wheel(WHEEL_DELTA);
    EXPECT_EQ(edit_.Text(), "11");
    HWND spin = edit_.SpinButton().Handle();
    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 5));
    SendMessageA(spin, WM_LBUTTONUP, 0, At(20, 5));
    EXPECT_EQ(edit_.Text(), "13");
}

TEST_F(NumEditTest, CutAndPasteAreBlockedWhenTheEditorIsDisabled) {
    MakeEdSteps();
    edit_.SetEditorEnabled(false);
    Enter();
    PutOnClipboard("33");
    Send(WM_PASTE);
    EXPECT_EQ(edit_.Text(), "7");
    Send(EM_SETSEL, 0, -1);
    Send(WM_CUT);
    EXPECT_EQ(edit_.Text(), "7");

    edit_.SetEditorEnabled(true);
    Send(EM_SETSEL, 0, -1);
    Send(WM_PASTE);
    EXPECT_EQ(edit_.Text(), "33");
    EXPECT_FALSE(edit_.TextTyped());  // pasted text is not rewritten on leaving
    Send(EM_SETSEL, 0, -1);
    Send(WM_CUT);
    EXPECT_EQ(edit_.Text(), "");
}

TEST_F(NumEditTest, FocusSelectsAllUnlessTheEditIsClicked) {
    edit_.SetText("123");
    Enter();
    EXPECT_EQ(Selection(), std::make_pair(DWORD{0}, DWORD{3}));
    Leave();
    Send(EM_SETSEL, 1, 1);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(2, 5));
    Send(WM_LBUTTONUP, 0, At(2, 5));
    EXPECT_EQ(GetFocus(), edit_.Handle());
    EXPECT_NE(Selection(), std::make_pair(DWORD{0}, DWORD{3}));
    Leave();
    edit_.SetAutoSelect(false);
    Send(EM_SETSEL, 1, 1);
    Enter();
    EXPECT_EQ(Selection(), std::make_pair(DWORD{1}, DWORD{1}));
}

TEST_F(NumEditTest, TheSpinButtonStepsThroughTheVirtualHandler) {
    MakeEdSteps();
    HWND spin = edit_.SpinButton().Handle();
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(GetParent(spin), edit_.Handle());
    EXPECT_EQ(edit_.SpinButton().FocusControl(), edit_.Handle());
    // Hold the up half, drag 36 pixels outwards, release: later keyboard steps are 3 x 2.
    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, At(14, 5));
    EXPECT_EQ(edit_.Text(), "9");
    EXPECT_EQ(GetFocus(), edit_.Handle());
    SendMessageA(spin, WM_MOUSEMOVE, MK_LBUTTON, At(50, 5));
    SendMessageA(spin, WM_LBUTTONUP, 0, At(50, 5));
    EXPECT_EQ(edit_.SpinButton().StepMultiplier(), 3);
    Key(VK_UP);
    EXPECT_EQ(edit_.Text(), "15");
    Wheel(-WHEEL_DELTA);
    EXPECT_EQ(edit_.Text(), "9");
    // A press on the down half starts again at a multiplier of 1.
    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, At(2, 5));
    SendMessageA(spin, WM_LBUTTONUP, 0, At(2, 5));
    EXPECT_EQ(edit_.Text(), "7");
    EXPECT_EQ(edit_.buttonClicks, 2);
}

TEST_F(NumEditTest, TheFilterIsCalledThroughTheVirtualTable) {
    Enter();
    Type("x");
    EXPECT_EQ(edit_.Text(), "x");
    Type("y");
    EXPECT_EQ(edit_.Text(), "x");
}

TEST_F(NumEditTest, TheTextNeverRunsUnderTheSpinButton) {
    auto check = [this](const char* when) {
        RECT client{}, format{}, spin{};
        GetClientRect(edit_.Handle(), &client);
        Send(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        GetWindowRect(edit_.SpinButton().Handle(), &spin);
        MapWindowPoints(nullptr, edit_.Handle(), reinterpret_cast<POINT*>(&spin), 2);
        EXPECT_EQ(spin.right, client.right) << when;
        EXPECT_EQ(spin.bottom - spin.top, client.bottom) << when;
        EXPECT_EQ(spin.right - spin.left, 24) << when;
        EXPECT_LE(format.right, spin.left) << when;
        EXPECT_GT(format.right, 0) << when;
    };
    check("after creation");
    SetWindowPos(edit_.Handle(), nullptr, 0, 0, 220, 30, SWP_NOMOVE | SWP_NOZORDER);
    check("after a resize");
    Send(WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    check("after a font change");
}

TEST_F(NumEditTest, TheHeightNeverFallsBelowTheFontsNeeds) {
    RecordingEdit flat;
    flat.Create(parent_, kEditId + 1, 10, 90, 100, 4, nullptr);
    RECT bounds{};
    GetWindowRect(flat.Handle(), &bounds);
    const int height = bounds.bottom - bounds.top;
    EXPECT_GT(height, 12);
    SetWindowPos(flat.Handle(), nullptr, 0, 0, 100, 2, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(flat.Handle(), &bounds);
    EXPECT_EQ(bounds.bottom - bounds.top, height);
    SetWindowPos(flat.Handle(), nullptr, 0, 0, 100, height + 10, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(flat.Handle(), &bounds);
    EXPECT_EQ(bounds.bottom - bounds.top, height + 10);
}

TEST_F(NumEditTest, EveryTextChangeRaisesOnChange) {
    changes_ = 0;
    edit_.SetValue(3);
    EXPECT_EQ(changes_, 1);
    Enter();
    Type("4");
    EXPECT_EQ(changes_, 2);
    Key(VK_UP);
    EXPECT_EQ(changes_, 3);
}

TEST_F(NumEditTest, PrecisionAndDecimalsRewriteTheText) {
    edit_.SetText(WithSeparator("1.23456"));
    edit_.SetPrecision(3);
    EXPECT_EQ(edit_.Text(), WithSeparator("1.23"));
    edit_.SetDecimals(4);
    EXPECT_EQ(edit_.Text(), WithSeparator("1.2300"));
    edit_.SetText("5");
    edit_.SetDecimals(4);  // unchanged: no rewrite
    EXPECT_EQ(edit_.Text(), "5");
}

TEST_F(NumEditTest, TabAndEscapeBelongToTheDialogButEnterComesHere) {
    MSG tab{edit_.Handle(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    MSG enter{edit_.Handle(), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    const LRESULT tabCode = Send(WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&tab));
    const LRESULT enterCode = Send(WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter));
    EXPECT_FALSE(tabCode & DLGC_WANTALLKEYS);
    EXPECT_FALSE(tabCode & DLGC_WANTTAB);
    EXPECT_TRUE(tabCode & DLGC_WANTARROWS);
    EXPECT_TRUE(enterCode & DLGC_WANTMESSAGE);
}

TEST_F(NumEditTest, PropertiesSetBeforeCreationApply) {
    RecordingEdit early;
    early.SetMinValue(1);
    early.SetMaxValue(3);
    early.SetReadOnly(true);
    early.SetValue(10);
    EXPECT_EQ(early.Text(), "3");
    early.Create(parent_, kEditId + 2, 10, 120, 100, 22, nullptr);
    EXPECT_EQ(early.Text(), "3");
    EXPECT_TRUE(GetWindowLongPtrA(early.Handle(), GWL_STYLE) & ES_READONLY);
}

}  // namespace
}  // namespace qm::win

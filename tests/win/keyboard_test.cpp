// Keyboard handling of containers and the log pane under the real dialog manager: no
// key or close request takes a container apart, Tab and Shift+Tab leave a multi-line
// log pane, the first tab stop of a page, and the focus leaving a control as it is
// disabled.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win/keyboard_win.h"
#include "tests/win/test_parent_win.h"

namespace qm::win {
namespace {

constexpr char kParentClass[] = "QmKeyboardTestParent";

LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, msg, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class KeyboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        top_ = qm::test::CreateTestParent(kParentClass, ParentProc, "keyboard test", 320, 200);
        ASSERT_NE(top_, nullptr);
        SetWindowLongPtrA(top_, GWL_EXSTYLE, GetWindowLongPtrA(top_, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
        SetForegroundWindow(top_);
        SetActiveWindow(top_);
        Pump();
    }
    void TearDown() override {
        SetShift(false);
        if (IsWindow(top_)) DestroyWindow(top_);
        Pump();
    }

    // A group box that holds controls of its own, as the window's position group does.
    HWND Container(HWND parent, bool keptOpen) {
        HWND box = CreateWindowExA(WS_EX_CONTROLPARENT, "BUTTON", "Position", WS_CHILD | WS_VISIBLE | BS_GROUPBOX,
                                   0, 0, 300, 150, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (keptOpen) KeepContainerOpen(box);
        return box;
    }
    HWND LogPane(HWND parent) {
        HWND memo = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 4,
                                    14, 100, 80, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
        LeaveNavigationKeysToDialog(memo);
        return memo;
    }
    HWND Button(HWND parent, const char* caption, DWORD extra = WS_TABSTOP, int x = 120) {
        return CreateWindowExA(0, "BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | extra, x, 14, 60, 24,
                               parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    }

    // A key as the message loop sees it: the dialog manager first.
    void Key(WPARAM key) {
        for (UINT message : {UINT{WM_KEYDOWN}, UINT{WM_KEYUP}}) {
            MSG msg{GetFocus(), message, key, 1, GetTickCount(), {0, 0}};
            if (!IsDialogMessageA(top_, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            Pump();
        }
    }
    static void SetShift(bool down) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }

    HWND top_ = nullptr;
};

TEST_F(KeyboardTest, NoKeyInTheLogPaneTakesItsContainerApart) {
    HWND box = Container(top_, true);
    HWND memo = LogPane(box);
    HWND after = Button(box, "After");
    for (WPARAM key : {WPARAM{VK_ESCAPE}, WPARAM{VK_RETURN}, WPARAM{VK_SPACE}, WPARAM{VK_UP}, WPARAM{VK_DOWN},
                       WPARAM{VK_LEFT}, WPARAM{VK_RIGHT}}) {
        SetFocus(memo);
        Key(key);
        ASSERT_TRUE(IsWindow(box)) << "key " << key;
        ASSERT_TRUE(IsWindow(memo)) << "key " << key;
        ASSERT_TRUE(IsWindow(after)) << "key " << key;
        EXPECT_EQ(GetFocus(), memo) << "key " << key;
    }
}

TEST_F(KeyboardTest, CloseRequestsLeaveAKeptContainer) {
    struct Case {
        const char* name;
        bool keptOpen;
        bool survives;
    };
    const Case cases[] = {{"kept open", true, true}, {"plain group box", false, false}};
    for (const Case& c : cases) {
        HWND box = Container(top_, c.keptOpen);
        HWND inside = Button(box, "Inside");
        SendMessageA(box, WM_CLOSE, 0, 0);
        PostMessageA(box, WM_CLOSE, 0, 0);
        Pump();
        EXPECT_EQ(IsWindow(box) != FALSE, c.survives) << c.name;
        EXPECT_EQ(IsWindow(inside) != FALSE, c.survives) << c.name;
        if (IsWindow(box)) DestroyWindow(box);
    }
}

TEST_F(KeyboardTest, TabAndShiftTabLeaveTheLogPane) {
    HWND box = Container(top_, true);
    HWND before = Button(box, "Before", WS_TABSTOP, 200);
    HWND memo = LogPane(box);
    HWND after = Button(box, "After");
    struct Case {
        const char* name;
        bool shift;
        HWND expected;
    };
    const Case cases[] = {{"Tab", false, after}, {"Shift+Tab", true, before}};
    for (const Case& c : cases) {
        SetFocus(memo);
        SetShift(c.shift);
        Key(VK_TAB);
        SetShift(false);
        EXPECT_EQ(GetFocus(), c.expected) << c.name;
    }
}

TEST_F(KeyboardTest, FirstTabStopSkipsWhatCannotTakeTheFocus) {
    struct Case {
        const char* name;
        DWORD firstExtra;   // style of the page's first control besides WS_CHILD | WS_VISIBLE
        bool nestedFirst;   // the first control sits in a nested container
        bool expectFirst;   // the first control is the answer (else the second)
    };
    const Case cases[] = {
        {"tab stop", WS_TABSTOP, false, true},
        {"not a tab stop", 0, false, false},
        {"disabled", WS_TABSTOP | WS_DISABLED, false, false},
        {"inside a nested container", WS_TABSTOP, true, true},
        {"disabled inside a nested container", WS_TABSTOP | WS_DISABLED, true, false},
    };
    for (const Case& c : cases) {
        HWND page = CreateWindowExA(WS_EX_CONTROLPARENT, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 150, top_,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        HWND label = CreateWindowExA(0, "STATIC", "Status:", WS_CHILD | WS_VISIBLE, 0, 0, 40, 12, page, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
        (void)label;
        HWND holder = c.nestedFirst ? Container(page, true) : page;
        HWND first = Button(holder, "First", c.firstExtra);
        HWND second = Button(page, "Second", WS_TABSTOP, 200);
        EXPECT_EQ(FirstTabStop(page), c.expectFirst ? first : second) << c.name;
        DestroyWindow(page);
    }
    HWND empty = CreateWindowExA(WS_EX_CONTROLPARENT, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, top_, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    Button(empty, "Hidden", WS_TABSTOP);
    ShowWindow(GetWindow(empty, GW_CHILD), SW_HIDE);
    EXPECT_EQ(FirstTabStop(empty), nullptr) << "only a hidden control";
}

TEST_F(KeyboardTest, FocusMovesOnWhenItsControlIsDisabled) {
    ASSERT_EQ(GetActiveWindow(), top_);
    HWND box = Container(top_, true);
    HWND connect = Button(box, "Connect", WS_TABSTOP, 10);
    HWND disconnect = Button(box, "Disconnect", WS_TABSTOP | WS_DISABLED, 80);
    HWND step = Button(box, "-100", WS_TABSTOP, 150);
    struct Case {
        const char* name;
        bool enableDisconnect;  // as a connection does, after disabling Connect
        HWND expected;
    };
    const Case cases[] = {{"next is enabled", true, disconnect}, {"next is disabled too", false, step}};
    for (const Case& c : cases) {
        EnableWindow(connect, TRUE);
        EnableWindow(disconnect, FALSE);
        SetFocus(connect);
        HWND before = GetFocus();
        EnableWindow(connect, FALSE);
        if (c.enableDisconnect) EnableWindow(disconnect, TRUE);
        MoveFocusOffDisabledControl(top_, before);
        EXPECT_EQ(GetFocus(), c.expected) << c.name;
    }
    // A focus that is still usable stays where it is.
    EnableWindow(connect, TRUE);
    SetFocus(step);
    MoveFocusOffDisabledControl(top_, connect);
    EXPECT_EQ(GetFocus(), step);
}

}  // namespace
}  // namespace qm::win

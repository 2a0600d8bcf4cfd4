#include "app/win/keyboard_win.h"

#include <commctrl.h>

namespace qm::win {

namespace {

constexpr UINT_PTR kContainerSubclassId = 0x4B43;
constexpr UINT_PTR kLogPaneSubclassId = 0x4B4C;

LRESULT CALLBACK ContainerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (IsContainerCloseRequest(msg)) return 0;
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(window, ContainerProc, kContainerSubclassId);
    return DefSubclassProc(window, msg, wParam, lParam);
}

LRESULT CALLBACK LogPaneProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_GETDLGCODE)
        return DefSubclassProc(window, msg, wParam, lParam) & ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(window, LogPaneProc, kLogPaneSubclassId);
    return DefSubclassProc(window, msg, wParam, lParam);
}

bool CanTakeFocus(HWND control) {
    return IsWindowVisible(control) && IsWindowEnabled(control);
}

}  // namespace

bool IsContainerCloseRequest(UINT msg) {
    return msg == WM_CLOSE;
}

void KeepContainerOpen(HWND container) {
    SetWindowSubclass(container, ContainerProc, kContainerSubclassId, 0);
}

void LeaveNavigationKeysToDialog(HWND edit) {
    SetWindowSubclass(edit, LogPaneProc, kLogPaneSubclassId, 0);
}

HWND FirstTabStop(HWND container) {
    for (HWND child = GetWindow(container, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!CanTakeFocus(child)) continue;
        if (GetWindowLongPtrA(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) {
            if (HWND inner = FirstTabStop(child)) return inner;
            continue;
        }
        if (GetWindowLongPtrA(child, GWL_STYLE) & WS_TABSTOP) return child;
    }
    return nullptr;
}

void MoveFocusOffDisabledControl(HWND root, HWND before) {
    if (!before || !IsChild(root, before) || GetActiveWindow() != root) return;
    HWND now = GetFocus();
    if (now && now != root && CanTakeFocus(now)) return;
    HWND next = GetNextDlgTabItem(root, before, FALSE);
    if (next && next != before && CanTakeFocus(next)) SetFocus(next);
}

}  // namespace qm::win

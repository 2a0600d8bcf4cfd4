// Notification reflection for containers.
#include "controls/reflect_win.h"

#include <commctrl.h>

namespace qm::win {

bool ReflectNotification(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    HWND child = nullptr;
    switch (msg) {
        case WM_COMMAND:
            child = reinterpret_cast<HWND>(lParam);
            break;
        case WM_DRAWITEM:
            child = reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem;
            break;
        case WM_MEASUREITEM:
            child = GetDlgItem(parent, static_cast<int>(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->CtlID));
            break;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
            child = reinterpret_cast<HWND>(lParam);
            break;
        default:
            return false;
    }
    if (!child || GetParent(child) != parent) return false;
    LRESULT r = SendMessageA(child, kReflectBase + msg, wParam, lParam);
    // A control that does not handle the reflected message answers 0 through its default
    // procedure; for colour messages that means "use the default brush".
    if ((msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) && r == 0) return false;
    *result = r;
    return true;
}

namespace {

LRESULT CALLBACK ReflectorProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    LRESULT result = 0;
    if (ReflectNotification(window, msg, wParam, lParam, &result)) return result;
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(window, ReflectorProc, 0);
    return DefSubclassProc(window, msg, wParam, lParam);
}

}  // namespace

void InstallReflector(HWND container) {
    SetWindowSubclass(container, ReflectorProc, 0, 0);
}

}  // namespace qm::win

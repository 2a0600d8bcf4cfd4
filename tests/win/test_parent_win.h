// A visible top-level window with the button-face background, as the parent of the
// controls a Win32 test creates. Its class is registered on first use.
#pragma once

#include <windows.h>

namespace qm::test {

inline HWND CreateTestParent(const char* className, WNDPROC procedure, const char* title, int width, int height) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = className;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    return CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, width, height, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

}  // namespace qm::test

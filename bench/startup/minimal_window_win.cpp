// MinimalWindow.exe: the least a Win32 window program does to show a window (register
// a class, create a top-level window, show it, run the message loop), the baseline for
// the program's start-up time. Started with no parameter it closes itself as soon as
// its window is shown, like the program does; with any parameter it stays until it is
// sent WM_CLOSE, so that a timer outside can see it shown and then close it.
#include <windows.h>

namespace {

constexpr char kClassName[] = "QmMinimalWindow";
constexpr int kWidth = 324;
constexpr int kHeight = 170;

LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass))
        return 1;
    HWND window = CreateWindowExA(WS_EX_TOPMOST, kClassName, "MinimalWindow", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                  469, 124, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    if (commandLine == nullptr || commandLine[0] == '\0')
        PostMessageA(window, WM_CLOSE, 0, 0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

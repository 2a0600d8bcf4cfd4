// RuntimeWindow.exe: MinimalWindow.exe plus exactly the runtime Quillomar.exe must load
// before it shows its window: COM initialised as a single-threaded apartment, the same
// manifest (common controls version 6), InitCommonControlsEx with the same classes and
// the same three fonts created. The difference between this and Quillomar.exe is the
// program's own start-up work. Parameters as MinimalWindow.exe.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

namespace {

constexpr char kClassName[] = "QmRuntimeWindow";
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
    const bool comReady = SUCCEEDED(CoInitialize(nullptr));
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HFONT fonts[3] = {
        CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Tahoma"),
        CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New"),
        CreateFontA(-19, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial"),
    };

    int exitCode = 1;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    HWND window = nullptr;
    if (RegisterClassA(&windowClass)) {
        window = CreateWindowExA(WS_EX_TOPMOST, kClassName, "RuntimeWindow", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                 469, 124, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    }
    if (window) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
        if (commandLine == nullptr || commandLine[0] == '\0') PostMessageA(window, WM_CLOSE, 0, 0);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        exitCode = 0;
    }
    for (HFONT font : fonts) {
        if (font) DeleteObject(font);
    }
    if (comReady) CoUninitialize();
    return exitCode;
}

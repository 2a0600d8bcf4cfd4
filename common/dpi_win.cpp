// Run-time look-up of the per-window density functions of user32.
#include "common/dpi_win.h"

#include "common/dpi_scale.h"

namespace qm::win {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// The address of a user32 function, or nullptr where this system has none.
template <typename Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (!user32)
        return nullptr;
    // The cast goes through a generic function pointer, which GCC accepts without warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

struct DpiFunctions {
    GetDpiForWindowFn forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    GetDpiForSystemFn forSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    AdjustWindowRectExForDpiFn adjustRect = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
};

const DpiFunctions& Functions() {
    static const DpiFunctions functions;
    return functions;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

}  // namespace

int WindowDpi(HWND window) {
    if (window && Functions().forWindow) {
        if (const UINT dpi = Functions().forWindow(window); dpi > 0)
            return static_cast<int>(dpi);
    }
    return SystemDpi();
}

int SystemDpi() {
    if (Functions().forSystem) {
        if (const UINT dpi = Functions().forSystem(); dpi > 0)
            return static_cast<int>(dpi);
    }
    return ScreenDpi();
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    if (Functions().adjustRect && Functions().adjustRect(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace qm::win

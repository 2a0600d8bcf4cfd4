// Times one paint of the spin button (24 x 16) in several settings:
//   - the portable painter into an in-memory pixel grid (the arithmetic alone);
//   - the portable painter through DCCanvas into a 32-bit memory DC (GDI calls);
//   - the real control answering WM_PRINTCLIENT into that memory DC;
//   - the real control's window DC, as a press paints at once;
//   - as the baseline, a standard up-down control of the same size answering
//     WM_PRINTCLIENT into the same memory DC.
// Usage: paint_spin [N]   (default 5000 paints per setting). Prints microseconds per paint.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "common/raii_win.h"
#include "controls/bi_button_paint.h"
#include "controls/bi_button_win.h"
#include "controls/canvas_win.h"
#include "controls/pixel_canvas.h"

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;

double MicrosecondsPer(int n, const std::function<void()>& paint) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    paint();  // warm up
    QueryPerformanceCounter(&start);
    for (int i = 0; i < n; ++i)
        paint();
    QueryPerformanceCounter(&end);
    return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) / n;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qm;
    using namespace qm::win;
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const Color face = GetSysColor(COLOR_BTNFACE);

    WindowDC screen(nullptr);
    MemoryDC memory(screen.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    SelectObjectGuard select(memory.get(), bitmap.get());

    HWND parent = CreateWindowExA(0, "STATIC", "paint_spin", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 120, 80, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    TBiButton button;
    button.Create(parent, 10, 10, kWidth, kHeight);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    HWND standard = CreateWindowExA(0, UPDOWN_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 40, kWidth, kHeight, parent,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);

    std::printf("paints per setting: %d\n", n);
    double controlUs[2] = {0, 0};  // flat, gradient
    for (bool gradient : {false, true}) {
        const char* style = gradient ? "gradient" : "flat";
        PixelCanvas grid(kWidth, kHeight);
        std::printf("%-8s pixel grid          %8.2f us\n", style,
                    MicrosecondsPer(n, [&] { PaintBiButton(grid, kWidth, kHeight, false, false, gradient, face); }));
        DCCanvas canvas(memory.get());
        std::printf("%-8s memory DC           %8.2f us\n", style,
                    MicrosecondsPer(n, [&] { PaintBiButton(canvas, kWidth, kHeight, false, false, gradient, face); }));
        button.SetDrawGradient(gradient);
        controlUs[gradient ? 1 : 0] = MicrosecondsPer(n, [&] {
            SendMessageA(button.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);
        });
        std::printf("%-8s control, memory DC  %8.2f us\n", style, controlUs[gradient ? 1 : 0]);
        std::printf("%-8s control, window DC  %8.2f us\n", style, MicrosecondsPer(n, [&] {
                        WindowDC dc(button.Handle());
                        SendMessageA(button.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
                    }));
    }
    const double baseline = MicrosecondsPer(
        n, [&] { SendMessageA(standard, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT); });
    std::printf("standard up-down control, memory DC  %8.2f us (baseline)\n", baseline);
    std::printf("ratio control flat / baseline      %5.2f\n", controlUs[0] / baseline);
    std::printf("ratio control gradient / baseline  %5.2f\n", controlUs[1] / baseline);
    DestroyWindow(parent);
    return 0;
}

// Times one paint of the spin button (24 x 16) in several settings:
//   - the portable painter into an in-memory pixel grid (the arithmetic alone);
//   - the portable painter through DCCanvas into a 32-bit memory DC (GDI calls);
//   - the real control answering WM_PRINTCLIENT into that memory DC;
//   - the real control's window DC, as a press paints at once;
//   - as the baseline, a standard up-down control of the same size answering
//     WM_PRINTCLIENT into the same memory DC.
// The settings are timed round after round (the order reversed every other round), so
// that the baseline and the control meet the same moments of a busy machine; each
// round gives a ratio, and the medians and the spread of those ratios are printed.
// Usage: paint_spin [N] [ROUNDS]   (default 1000 paints per setting, 9 rounds).
// Prints microseconds per paint.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Setting {
    Setting(std::string label, std::function<void()> paintOnce, std::function<void()> before = [] {})
        : name(std::move(label)), paint(std::move(paintOnce)), prepare(std::move(before)) {}
    std::string name;
    std::function<void()> paint;
    std::function<void()> prepare;  // before timing, outside the count
    std::vector<double> us;         // one figure a round
};

}  // namespace

int main(int argc, char** argv) {
    using namespace qm;
    using namespace qm::win;
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
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

    PixelCanvas grid(kWidth, kHeight);
    DCCanvas canvas(memory.get());
    auto printClient = [](HWND window, HDC dc) {
        SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    };
    std::vector<Setting> settings;
    for (bool gradient : {false, true}) {
        const std::string style = gradient ? "gradient " : "flat     ";
        settings.push_back({style + "pixel grid", [&, gradient] {
                                PaintBiButton(grid, kWidth, kHeight, false, false, gradient, face);
                            }});
        settings.push_back({style + "memory DC", [&, gradient] {
                                PaintBiButton(canvas, kWidth, kHeight, false, false, gradient, face);
                            }});
        auto useStyle = [&, gradient] { button.SetDrawGradient(gradient); };
        settings.push_back({style + "control, memory DC", [&] { printClient(button.Handle(), memory.get()); }, useStyle});
        settings.push_back({style + "control, window DC",
                            [&] {
                                WindowDC dc(button.Handle());
                                printClient(button.Handle(), dc.get());
                            },
                            useStyle});
    }
    settings.push_back({"standard up-down control, memory DC (baseline)", [&] { printClient(standard, memory.get()); }});
    const size_t flatControl = 2, gradientControl = 6, baseline = settings.size() - 1;

    std::printf("paint_spin: %d paints per setting and round, %d rounds, button %d x %d\n", n, rounds, kWidth, kHeight);
    std::vector<double> flatRatio, gradientRatio;
    for (int round = 0; round < rounds; ++round) {
        // Reverse the order every other round: no setting always follows the same one.
        for (size_t k = 0; k < settings.size(); ++k) {
            Setting& s = settings[round % 2 ? settings.size() - 1 - k : k];
            s.prepare();
            s.us.push_back(MicrosecondsPer(n, s.paint));
        }
        flatRatio.push_back(settings[flatControl].us.back() / settings[baseline].us.back());
        gradientRatio.push_back(settings[gradientControl].us.back() / settings[baseline].us.back());
    }
    for (const Setting& s : settings) {
        const auto [low, high] = std::minmax_element(s.us.begin(), s.us.end());
        std::printf("%-48s median %8.2f us  (rounds %8.2f to %8.2f)\n", s.name.c_str(), Median(s.us), *low, *high);
    }
    auto ratioLine = [&](const char* style, const std::vector<double>& ratios) {
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("ratio control %-8s / baseline: median of rounds %5.2f  (rounds %5.2f to %5.2f)\n", style,
                    Median(ratios), *low, *high);
    };
    ratioLine("flat", flatRatio);
    ratioLine("gradient", gradientRatio);
    const auto [low, high] = std::minmax_element(flatRatio.begin(), flatRatio.end());
    std::printf("summary:\tpaint of one spin button (flat)\t%.1f us\tstandard up-down control, WM_PRINTCLIENT, %.1f us"
                "\t%.2f\trounds %.2f-%.2f; gradient %.2f\n",
                Median(settings[flatControl].us), Median(settings[baseline].us), Median(flatRatio), *low, *high,
                Median(gradientRatio));
    DestroyWindow(parent);
    return 0;
}

// Measures how long one paint of the owner-drawn push button takes (through the parent's
// reflected WM_DRAWITEM into a memory DC) next to a standard push button of the same size
// (WM_PRINTCLIENT, and DrawFrameControl + DrawTextA), and prints the times and ratios.
// Every case is timed in each of several rounds, alternating the order, and the ratio of
// each round is kept: medians and the rounds' spread are printed.
//   paint_button.exe [paints [rounds]]   (default 1000 paints a case, 9 rounds)
//   paint_button.exe --save picture.bmp  paints a row of buttons in their states, for a look
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include <utility>
#include <vector>

#include "common/raii_win.h"
#include "controls/canvas_win.h"
#include "controls/pixel_canvas.h"
#include "controls/reflect_win.h"
#include "controls/xm_button_paint.h"
#include "controls/xm_button_win.h"

namespace {

using namespace qm::win;

constexpr int kWidth = 71;
constexpr int kHeight = 29;
constexpr int kDefaultPaints = 1000;
constexpr int kDefaultRounds = 9;
constexpr int kWarmUpPaints = 50;

LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ReflectNotification(window, msg, wParam, lParam, &result))
        return result;
    return DefWindowProcA(window, msg, wParam, lParam);
}

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Microseconds per call of paint, after a few calls to warm caches up.
double MicrosecondsPer(int paints, const std::function<void()>& paint) {
    for (int i = 0; i < kWarmUpPaints; ++i)
        paint();
    const double start = Seconds();
    for (int i = 0; i < paints; ++i)
        paint();
    return (Seconds() - start) * 1e6 / paints;
}

void DrawItem(HWND parent, HWND button, HDC dc, UINT state) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(GetDlgCtrlID(button));
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button;
    item.hDC = dc;
    item.rcItem = RECT{0, 0, kWidth, kHeight};
    SendMessageA(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
}

// Writes a memory DC's bitmap as a 24-bit .bmp file.
bool SaveBitmap(HDC dc, HBITMAP bitmap, int width, int height, const char* path) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> bits(static_cast<size_t>(stride) * height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), bits.data(), &info, DIB_RGB_COLORS) != height)
        return false;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(bits.size());
    FILE* out = std::fopen(path, "wb");
    if (!out)
        return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits.data(), 1, bits.size(), out);
    return std::fclose(out) == 0;
}

// Paints Start (plain, focused, pressed, disabled) and the glyph buttons side by side.
int SavePicture(const char* path) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QmPaintButtonPicture";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "picture", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    if (!parent)
        return 2;
    Font font(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma"));
    TXMButton start, ok, cancel, help;
    start.Create(parent, 101, "&Start", 0, 0, kWidth, kHeight, font.get());
    ok.Create(parent, 102, "OK", 0, 0, kWidth, kHeight, font.get());
    ok.SetBitmapKind(qm::TBitmapKind::bkOk);
    cancel.Create(parent, 103, "Cancel", 0, 0, kWidth, kHeight, font.get());
    cancel.SetBitmapKind(qm::TBitmapKind::bkCancel);
    help.Create(parent, 104, "", 0, 0, 42, kHeight, font.get());
    help.SetBitmapKind(qm::TBitmapKind::bkHelp);
    help.SetOffX(6);

    struct Shot {
        TXMButton* button;
        UINT state;
        int width;
    };
    const Shot shots[] = {{&start, 0, kWidth},
                          {&start, ODS_FOCUS, kWidth},
                          {&start, ODS_SELECTED, kWidth},
                          {&start, ODS_DISABLED, kWidth},
                          {&ok, 0, kWidth},
                          {&cancel, 0, kWidth},
                          {&cancel, ODS_DISABLED, kWidth},
                          {&help, 0, 42},
                          {&help, ODS_DISABLED, 42}};
    constexpr int kGap = 4;
    int total = kGap;
    for (const Shot& shot : shots)
        total += shot.width + kGap;
    const int height = kHeight + 2 * kGap;

    WindowDC screen(nullptr);
    MemoryDC dc(screen.get());
    Bitmap surface(CreateCompatibleBitmap(screen.get(), total, height));
    {
        SelectObjectGuard select(dc.get(), surface.get());
        RECT all{0, 0, total, height};
        FillRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
        int x = kGap;
        for (const Shot& shot : shots) {
            shot.button->SetEnabled((shot.state & ODS_DISABLED) == 0);
            SetViewportOrgEx(dc.get(), x, kGap, nullptr);
            DrawItem(parent, shot.button->Handle(), dc.get(), shot.state);
            x += shot.width + kGap;
        }
        SetViewportOrgEx(dc.get(), 0, 0, nullptr);
    }
    const bool saved = SaveBitmap(dc.get(), surface.get(), total, height, path);
    DestroyWindow(parent);
    std::printf("%s %s\n", saved ? "saved" : "could not save", path);
    return saved ? 0 : 1;
}

struct Case {
    Case(const char* label, std::function<void()> paintOnce, std::function<void()> before = [] {})
        : name(std::move(label)), paint(std::move(paintOnce)), prepare(std::move(before)) {}
    const char* name;
    std::function<void()> paint;
    std::function<void()> prepare;  // before timing, outside the count
    std::vector<double> us;         // one figure a round
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int Run(int paints, int rounds) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = "QmPaintButtonBench";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "paint bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!parent)
        return 2;
    Font font(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma"));

    TXMButton caption, help;
    caption.Create(parent, 101, "Start", 4, 4, kWidth, kHeight, font.get());
    help.Create(parent, 102, "Help", 4, 40, kWidth, kHeight, font.get());
    help.SetBitmapKind(qm::TBitmapKind::bkHelp);
    help.SetOffX(6);
    HWND standard = CreateWindowExA(0, "BUTTON", "Start", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 4, 80, kWidth, kHeight,
                                    parent, reinterpret_cast<HMENU>(103), wc.hInstance, nullptr);
    SendMessageA(standard, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);

    WindowDC screen(nullptr);
    MemoryDC dc(screen.get());
    Bitmap surface(CreateCompatibleBitmap(screen.get(), kWidth, kHeight));
    SelectObjectGuard select(dc.get(), surface.get());
    const HDC target = dc.get();

    const qm::Color face = GetSysColor(COLOR_BTNFACE);
    const qm::Glyph helpGlyph = qm::GlyphFromTable(qm::HelpGlyph);
    auto enableHelp = [&] { help.SetEnabled(true); };
    auto disableHelp = [&] { help.SetEnabled(false); };
    std::vector<Case> cases = {
        {"owner-drawn, caption", [&] { DrawItem(parent, caption.Handle(), target, 0); }},
        {"owner-drawn, caption, focused", [&] { DrawItem(parent, caption.Handle(), target, ODS_FOCUS); }},
        {"owner-drawn, help glyph + caption", [&] { DrawItem(parent, help.Handle(), target, 0); }, enableHelp},
        {"owner-drawn, greyed glyph + caption", [&] { DrawItem(parent, help.Handle(), target, ODS_DISABLED); },
         disableHelp},
        {"standard button, WM_PRINTCLIENT (baseline)",
         [&] { SendMessageA(standard, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target), PRF_CLIENT); }},
        {"DrawFrameControl + DrawTextA",
         [&] {
             RECT r{0, 0, kWidth, kHeight};
             DrawFrameControl(target, &r, DFC_BUTTON, DFCS_BUTTONPUSH);
             SelectObjectGuard useFont(target, font.get());
             SetBkMode(target, TRANSPARENT);
             DrawTextA(target, "Start", 5, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
         }},
        // Where the owner-drawn paint spends its time.
        {"  part: frame through DCCanvas",
         [&] {
             DCCanvas canvas(target);
             qm::DrawButtonFrame(canvas, qm::Rect{0, 0, kWidth, kHeight}, face, false, false);
         }},
        {"  part: frame on a pixel grid + one blit",
         [&] {
             qm::PixelCanvas grid(kWidth, kHeight);
             qm::DrawButtonFrame(grid, qm::Rect{0, 0, kWidth, kHeight}, face, false, false);
             // PixelCanvas holds 0x00BBGGRR; a 32-bit DIB wants 0x00RRGGBB.
             std::vector<uint32_t> bits(static_cast<size_t>(kWidth) * kHeight);
             for (int y = 0; y < kHeight; ++y)
                 for (int x = 0; x < kWidth; ++x) {
                     const qm::Color c = grid.GetPixel(x, y);
                     bits[static_cast<size_t>(y) * kWidth + x] =
                         (qm::RedOf(c) << 16) | (qm::GreenOf(c) << 8) | qm::BlueOf(c);
                 }
             BITMAPINFO info{};
             info.bmiHeader.biSize = sizeof info.bmiHeader;
             info.bmiHeader.biWidth = kWidth;
             info.bmiHeader.biHeight = -kHeight;
             info.bmiHeader.biPlanes = 1;
             info.bmiHeader.biBitCount = 32;
             info.bmiHeader.biCompression = BI_RGB;
             SetDIBitsToDevice(target, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, bits.data(), &info, DIB_RGB_COLORS);
         }},
        {"  part: help glyph through DCCanvas",
         [&] {
             DCCanvas canvas(target);
             qm::DrawGlyphTransparent(canvas, helpGlyph, 13, 6);
         }},
        {"  part: caption (DrawTextA)",
         [&] {
             RECT r{3, 3, kWidth - 3, kHeight - 3};
             SelectObjectGuard useFont(target, font.get());
             SetBkMode(target, TRANSPARENT);
             DrawTextA(target, "Start", 5, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
         }},
    };
    constexpr size_t kCaption = 0, kGlyph = 2, kBaseline = 4;

    // Every case in every round, the order reversed every other round, so that the
    // baseline and the owner-drawn button meet the same moments of a busy machine.
    std::printf("paint_button: %d paints per case and round, %d rounds, button %d x %d\n", paints, rounds, kWidth,
                kHeight);
    std::vector<double> captionRatio, glyphRatio;
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < cases.size(); ++k) {
            Case& c = cases[round % 2 ? cases.size() - 1 - k : k];
            c.prepare();
            c.us.push_back(MicrosecondsPer(paints, c.paint));
        }
        captionRatio.push_back(cases[kCaption].us.back() / cases[kBaseline].us.back());
        glyphRatio.push_back(cases[kGlyph].us.back() / cases[kBaseline].us.back());
    }
    for (const Case& c : cases) {
        const auto [low, high] = std::minmax_element(c.us.begin(), c.us.end());
        std::printf("%-44s median %8.2f us  (rounds %8.2f to %8.2f)\n", c.name, Median(c.us), *low, *high);
    }
    auto ratioLine = [](const char* what, const std::vector<double>& ratios) {
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("ratio %-36s median of rounds %5.2f  (rounds %5.2f to %5.2f)\n", what, Median(ratios), *low,
                    *high);
    };
    ratioLine("owner-drawn caption / baseline:", captionRatio);
    ratioLine("owner-drawn glyph + caption / baseline:", glyphRatio);
    const auto [low, high] = std::minmax_element(captionRatio.begin(), captionRatio.end());
    std::printf("summary:\tpaint of one push button (caption)\t%.1f us\tstandard push button, WM_PRINTCLIENT, %.1f us"
                "\t%.2f\trounds %.2f-%.2f; glyph + caption %.2f\n",
                Median(cases[kCaption].us), Median(cases[kBaseline].us), Median(captionRatio), *low, *high,
                Median(glyphRatio));
    DestroyWindow(parent);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--save") == 0)
        return SavePicture(argv[2]);
    const int paints = argc > 1 ? std::atoi(argv[1]) : kDefaultPaints;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : kDefaultRounds;
    return Run(paints > 0 ? paints : kDefaultPaints, rounds > 0 ? rounds : kDefaultRounds);
}

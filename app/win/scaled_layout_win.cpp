// Placing controls at a screen density, and placing them again at another.
#include "app/win/scaled_layout_win.h"

#include <algorithm>
#include <stdexcept>

#include "common/dpi_scale.h"
#include "common/window_text_win.h"

namespace qm::win {

int ScaledLayout::Scale(int value) const {
    return ScaleToDpi(value, dpi_);
}

GdiObject<HFONT> ScaledLayout::MakeFont(const FontSpec& spec) const {
    // Rounded down, so that no text grows faster than the control around it.
    GdiObject<HFONT> font(CreateFontA(-ScaleDownToDpi(spec.pixelHeight, dpi_), 0, 0, 0, spec.weight, FALSE, FALSE,
                                      FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      spec.pitchAndFamily, spec.face.c_str()));
    if (!font)
        throw std::runtime_error("Cannot create the font " + spec.face);
    return font;
}

int ScaledLayout::AddFont(const FontSpec& spec) {
    fonts_.push_back(MakeFont(spec));
    specs_.push_back(spec);
    return static_cast<int>(fonts_.size()) - 1;
}

HFONT ScaledLayout::Font(int font) const {
    return font >= 0 && static_cast<size_t>(font) < fonts_.size() ? fonts_[static_cast<size_t>(font)].get() : nullptr;
}

void ScaledLayout::Place(HWND window, int x, int y, int width, int height, int font) {
    placements_.push_back(Placement{window, x, y, width, height, 0, Sizing::Fixed, font, {}});
    PlaceAtDpi(placements_.back());
}

void ScaledLayout::PlaceSizedToText(HWND window, int x, int y, int minWidth, int font) {
    placements_.push_back(Placement{window, x, y, 0, 0, minWidth, Sizing::ToText, font, WindowText(window)});
    PlaceAtDpi(placements_.back());
}

void ScaledLayout::PlaceFittingText(HWND window, int x, int y, int width, int height, int textIndent, int font) {
    placements_.push_back(
        Placement{window, x, y, width, height, textIndent, Sizing::FitText, font, WindowText(window)});
    PlaceAtDpi(placements_.back());
}

SIZE ScaledLayout::TextExtent(const Placement& placement) const {
    WindowDC dc(placement.window);
    HFONT font = Font(placement.font);
    SelectObjectGuard select(dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    SIZE extent{};
    GetTextExtentPoint32A(dc.get(), placement.text.c_str(), static_cast<int>(placement.text.size()), &extent);
    return extent;
}

void ScaledLayout::PlaceAtDpi(const Placement& placement) const {
    if (HFONT font = Font(placement.font))
        SendMessageA(placement.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    int width = Scale(placement.width);
    int height = Scale(placement.height);
    if (placement.sizing == Sizing::ToText) {
        // The text it had when first placed, in the font it has now: a label keeps the
        // size it was given whatever it shows later.
        const SIZE extent = TextExtent(placement);
        width = std::max<int>(extent.cx, Scale(placement.extra));
        height = extent.cy;
    } else if (placement.sizing == Sizing::FitText && dpi_ != kBaseDpi) {
        // Text does not scale in step with the layout: widened to its caption where the
        // scaled width is too small for it, up to the parent's right edge.
        const SIZE extent = TextExtent(placement);
        RECT parent{};
        GetClientRect(GetParent(placement.window), &parent);
        const int room = std::max(static_cast<int>(parent.right) - Scale(placement.x), width);
        width = std::clamp(static_cast<int>(extent.cx) + Scale(placement.extra), width, room);
    }
    SetWindowPos(placement.window, nullptr, Scale(placement.x), Scale(placement.y), width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void ScaledLayout::Apply(int dpi) {
    std::vector<GdiObject<HFONT>> old = std::move(fonts_);
    dpi_ = dpi;
    fonts_.clear();
    for (const FontSpec& spec : specs_)
        fonts_.push_back(MakeFont(spec));
    for (const Placement& placement : placements_)
        PlaceAtDpi(placement);
    // `old` goes here, after every window has been given its new font.
}

}  // namespace qm::win

// Tests of the push button's painting arithmetic on an in-memory canvas: the frame pixel by
// pixel, glyph placement, the greyed glyph, transparency, the built-in glyph tables and the
// rules that decide which glyph a button shows.
#include "controls/xm_button_paint.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "controls/glyphs.h"
#include "controls/pixel_canvas.h"

namespace qm {
namespace {

constexpr Color kOutside = Rgb(255, 0, 255);

// ---- Frame ----------------------------------------------------------------------------

enum class Part { Face, InnerBR, InnerTL, OuterTL, OuterBR, Corner };

Color ColorOf(const FrameColors& colors, Part part) {
    switch (part) {
        case Part::Face:
            return colors.face;
        case Part::InnerBR:
            return colors.innerBottomRight;
        case Part::InnerTL:
            return colors.innerTopLeft;
        case Part::OuterTL:
            return colors.outerTopLeft;
        case Part::OuterBR:
            return colors.outerBottomRight;
        case Part::Corner:
            return colors.corner;
    }
    return 0;
}

struct ColorCase {
    const char* name;
    Color base;
    bool down;
    bool focused;
    FrameColors expected;
};

TEST(ButtonFrameColorsTest, FollowsTheShadeTable) {
    const Color c = Rgb(100, 150, 200);
    const std::vector<ColorCase> cases = {
        {"raised",
         c,
         false,
         false,
         {Rgb(100, 150, 200), Rgb(60, 110, 160), Rgb(124, 174, 224), Rgb(52, 102, 152), Rgb(0, 22, 72),
          Rgb(64, 114, 164)}},
        {"raised focused",
         c,
         false,
         true,
         {Rgb(120, 170, 220), Rgb(60, 110, 160), Rgb(124, 174, 224), Rgb(52, 102, 152), Rgb(0, 22, 72),
          Rgb(64, 114, 164)}},
        {"down",
         c,
         true,
         false,
         {Rgb(120, 170, 220), Rgb(120, 170, 220), Rgb(76, 126, 176), Rgb(52, 102, 152), Rgb(36, 86, 136),
          Rgb(64, 114, 164)}},
        {"down focused",
         c,
         true,
         true,
         {Rgb(120, 170, 220), Rgb(120, 170, 220), Rgb(76, 126, 176), Rgb(52, 102, 152), Rgb(36, 86, 136),
          Rgb(64, 114, 164)}},
        {"white raised focused",
         Gray(255),
         false,
         true,
         {Gray(255), Gray(215), Gray(255), Gray(207), Gray(127), Gray(219)}},
        {"white down", Gray(255), true, false, {Gray(255), Gray(255), Gray(231), Gray(207), Gray(191), Gray(219)}},
        {"black raised", Gray(0), false, false, {Gray(0), Gray(0), Gray(24), Gray(0), Gray(0), Gray(0)}},
        {"black focused", Gray(0), false, true, {Gray(20), Gray(0), Gray(24), Gray(0), Gray(0), Gray(0)}},
        {"black down", Gray(0), true, false, {Gray(20), Gray(20), Gray(0), Gray(0), Gray(0), Gray(0)}},
        // Channels clamp independently.
        {"mixed clamp",
         Rgb(250, 10, 128),
         false,
         false,
         {Rgb(250, 10, 128), Rgb(210, 0, 88), Rgb(255, 34, 152), Rgb(202, 0, 80), Rgb(122, 0, 0), Rgb(214, 0, 92)}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const FrameColors got = ButtonFrameColors(tc.base, tc.down, tc.focused);
        EXPECT_EQ(got.face, tc.expected.face);
        EXPECT_EQ(got.innerBottomRight, tc.expected.innerBottomRight);
        EXPECT_EQ(got.innerTopLeft, tc.expected.innerTopLeft);
        EXPECT_EQ(got.outerTopLeft, tc.expected.outerTopLeft);
        EXPECT_EQ(got.outerBottomRight, tc.expected.outerBottomRight);
        EXPECT_EQ(got.corner, tc.expected.corner);
    }
}

// Which part of the frame each ring pixel of a W x H button shows.
std::vector<std::pair<Point, Part>> RingPixels(int w, int h) {
    return {
        {{0, 0}, Part::Face},
        {{w - 1, 0}, Part::Face},
        {{1, 0}, Part::Corner},
        {{2, 0}, Part::OuterTL},
        {{w - 3, 0}, Part::OuterTL},
        {{w - 2, 0}, Part::Corner},
        {{0, 1}, Part::Corner},
        {{1, 1}, Part::Corner},
        {{2, 1}, Part::InnerTL},
        {{w - 3, 1}, Part::InnerTL},
        {{w - 2, 1}, Part::Corner},
        {{w - 1, 1}, Part::Corner},
        {{0, 2}, Part::OuterTL},
        {{1, 2}, Part::InnerTL},
        {{2, 2}, Part::Face},
        {{w - 3, 2}, Part::Face},
        {{w - 2, 2}, Part::InnerBR},
        {{w - 1, 2}, Part::OuterBR},
        {{0, h - 3}, Part::OuterTL},
        {{1, h - 3}, Part::InnerTL},
        {{w - 2, h - 3}, Part::InnerBR},
        {{w - 1, h - 3}, Part::OuterBR},
        {{0, h - 2}, Part::OuterTL},
        {{1, h - 2}, Part::InnerBR},
        {{2, h - 2}, Part::InnerBR},
        {{w - 2, h - 2}, Part::InnerBR},
        {{w - 1, h - 2}, Part::OuterBR},
        {{0, h - 1}, Part::Corner},
        {{1, h - 1}, Part::OuterBR},
        {{w - 2, h - 1}, Part::OuterBR},
        {{w - 1, h - 1}, Part::Corner},
        {{w / 2, h / 2}, Part::Face},
        {{w - 3, h - 3}, Part::Face},
    };
}

TEST(DrawButtonFrameTest, PixelsFollowTheGeometryTable) {
    const Color c = Rgb(100, 150, 200);
    struct Size {
        int w, h;
    };
    for (Size size : {Size{42, 29}, Size{33, 29}, Size{8, 6}}) {
        for (bool down : {false, true}) {
            for (bool focused : {false, true}) {
                SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h) + (down ? " down" : "") +
                             (focused ? " focused" : ""));
                PixelCanvas canvas(size.w, size.h);
                DrawButtonFrame(canvas, Rect{0, 0, size.w, size.h}, c, down, focused);
                const FrameColors colors = ButtonFrameColors(c, down, focused);
                for (const auto& [p, part] : RingPixels(size.w, size.h)) {
                    EXPECT_EQ(canvas.GetPixel(p.x, p.y), ColorOf(colors, part))
                        << "at (" << p.x << ", " << p.y << ") part " << static_cast<int>(part);
                }
                // Everything inside the two-pixel ring is face.
                for (int y = 2; y < size.h - 2; ++y)
                    for (int x = 2; x < size.w - 2; ++x)
                        ASSERT_EQ(canvas.GetPixel(x, y), colors.face);
            }
        }
    }
}

TEST(DrawButtonFrameTest, DrawsOnlyInsideAnOffsetRectangle) {
    PixelCanvas canvas(20, 20);
    const Rect rect{5, 4, 15, 12};
    DrawButtonFrame(canvas, rect, Gray(200), false, false);
    const FrameColors colors = ButtonFrameColors(Gray(200), false, false);
    EXPECT_EQ(canvas.GetPixel(5, 4), colors.face);      // (0, 0)
    EXPECT_EQ(canvas.GetPixel(6, 4), colors.corner);    // (1, 0)
    EXPECT_EQ(canvas.GetPixel(14, 11), colors.corner);  // (W-1, H-1)
    EXPECT_EQ(canvas.GetPixel(13, 10), colors.innerBottomRight);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (x < rect.left || x >= rect.right || y < rect.top || y >= rect.bottom) {
                ASSERT_EQ(canvas.GetPixel(x, y), kOutside) << x << "," << y;
            }
}

TEST(DrawButtonFrameTest, TinyRectanglesStayInside) {
    // Sizes where some bevel ranges are empty must not draw backwards or outside.
    for (int w = 0; w <= 4; ++w) {
        for (int h = 0; h <= 4; ++h) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
            PixelCanvas canvas(12, 12);
            const Rect rect{4, 4, 4 + w, 4 + h};
            DrawButtonFrame(canvas, rect, Gray(128), true, false);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 12; ++x) {
                    const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
                    if (inside)
                        EXPECT_NE(canvas.GetPixel(x, y), kOutside);
                    else
                        ASSERT_EQ(canvas.GetPixel(x, y), kOutside) << x << "," << y;
                }
        }
    }
}

// ---- Glyph placement, transparency, greying --------------------------------------------

TEST(GlyphPositionTest, Table) {
    struct Case {
        const char* name;
        int height, gw, gh, offX, offY;
        bool down;
        Point expected;
    };
    const std::vector<Case> cases = {
        {"help button", 29, 16, 16, 6, 0, false, {13, 6}},
        {"help button down", 29, 16, 16, 6, 0, true, {14, 7}},
        {"plain centred", 29, 16, 16, 0, 0, false, {7, 6}},
        {"odd remainder truncates", 30, 17, 15, 0, 0, false, {7, 7}},
        {"offsets", 29, 16, 16, -3, 4, false, {4, 10}},
        // Taller and wider than the button: (29 - 40) / 2 is -5, not -6.
        {"glyph taller than button", 29, 40, 40, 0, 0, false, {-4, -5}},
        {"taller, down", 29, 40, 41, 0, 0, true, {-3, -5}},
        {"huge offsets hold at the limits", 29, 16, 16, INT_MAX, INT_MIN, true, {INT_MAX, INT_MIN + 7}},
        {"most negative offset", 0, 16, 16, INT_MIN, INT_MAX, false, {INT_MIN, INT_MAX - 8}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const Point p = GlyphPosition(tc.height, tc.gw, tc.gh, tc.offX, tc.offY, tc.down);
        EXPECT_EQ(p.x, tc.expected.x);
        EXPECT_EQ(p.y, tc.expected.y);
    }
}

TEST(DrawGlyphTransparentTest, LeavesOutTheLowerLeftColour) {
    const Color key = Rgb(9, 9, 9);
    Glyph glyph(3, 2);
    glyph.pixels = {Rgb(1, 0, 0), Rgb(2, 0, 0), key,  // the key colour elsewhere is left out too
                    key,          Rgb(4, 0, 0), Gray(255)};
    PixelCanvas canvas(6, 5);
    DrawGlyphTransparent(canvas, glyph, 2, 3);
    EXPECT_EQ(canvas.GetPixel(2, 3), Rgb(1, 0, 0));
    EXPECT_EQ(canvas.GetPixel(3, 3), Rgb(2, 0, 0));
    EXPECT_EQ(canvas.GetPixel(4, 3), kOutside);
    EXPECT_EQ(canvas.GetPixel(2, 4), kOutside);
    EXPECT_EQ(canvas.GetPixel(3, 4), Rgb(4, 0, 0));
    EXPECT_EQ(canvas.GetPixel(4, 4), Gray(255));
}

TEST(DrawGlyphTransparentTest, ClipsAtTheCanvasAndNearIntLimits) {
    Glyph glyph(2, 2, Rgb(1, 2, 3));
    glyph.Set(0, 1, Gray(0));
    PixelCanvas canvas(3, 3);
    DrawGlyphTransparent(canvas, glyph, -1, -1);
    EXPECT_EQ(canvas.GetPixel(0, 0), Rgb(1, 2, 3));
    DrawGlyphTransparent(canvas, glyph, INT_MAX, INT_MAX);  // must not wrap around to the canvas
    DrawGlyphTransparent(canvas, Glyph(), 0, 0);
    int drawn = 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            drawn += canvas.GetPixel(x, y) != kOutside;
    EXPECT_EQ(drawn, 1);
}

TEST(MakeDisabledGlyphTest, BlendsNonKeyPixelsTowardsTheFace) {
    const Color key = Rgb(1, 2, 3);
    Glyph glyph(2, 3);
    glyph.pixels = {key, Rgb(10, 20, 30), Rgb(255, 255, 255), Rgb(1, 1, 1), Rgb(0, 0, 0), key};
    const Glyph grey = MakeDisabledGlyph(glyph, Rgb(200, 100, 0));
    ASSERT_EQ(grey.width, 2);
    ASSERT_EQ(grey.height, 3);
    EXPECT_EQ(grey.At(0, 0), key);
    EXPECT_EQ(grey.At(1, 0), Rgb(152, 80, 7));  // (10+600)/4, (20+300)/4, 30/4
    EXPECT_EQ(grey.At(0, 1), Rgb(213, 138, 63));
    EXPECT_EQ(grey.At(1, 1), Rgb(150, 75, 0));  // 601/4, 301/4, 1/4 truncate
    EXPECT_EQ(grey.At(0, 2), Rgb(150, 75, 0));
    EXPECT_EQ(grey.At(1, 2), key);
    EXPECT_EQ(MakeDisabledGlyph(Glyph(1, 2, Gray(255)), Gray(255)).At(0, 1), Gray(255));
    EXPECT_TRUE(MakeDisabledGlyph(Glyph(), Gray(1)).Empty());
}

// ---- Built-in glyph tables -----------------------------------------------------------

struct TableCase {
    const char* name;
    const std::array<Color, kGlyphPixels>* table;
    Color dominant;
    int pureWhiteInDisc;
};

TEST(GlyphTablesTest, DiscsOnWhiteWithTheirSymbols) {
    const Color white = Gray(255);
    const std::vector<TableCase> cases = {
        {"ok", &OkGlyph, Rgb(77, 156, 40), 7},
        {"cancel", &CancelGlyph, Rgb(209, 80, 68), 12},
        {"help", &HelpGlyph, Rgb(67, 119, 168), 0},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const auto& t = *tc.table;
        auto at = [&](int x, int y) { return t[y * kGlyphSize + x]; };
        EXPECT_EQ(at(0, 0), white);
        EXPECT_EQ(at(15, 0), white);
        EXPECT_EQ(at(0, 15), white);
        EXPECT_EQ(at(15, 15), white);
        std::map<Color, int> counts;
        int whiteInDisc = 0;
        for (int y = 0; y < kGlyphSize; ++y) {
            for (int x = 0; x < kGlyphSize; ++x) {
                const Color c = at(x, y);
                EXPECT_EQ(c >> 24, 0u);
                // The disc is 14 across: the outer ring of pixels is background.
                if (x == 0 || y == 0 || x == 15 || y == 15) {
                    EXPECT_EQ(c, white) << x << "," << y;
                }
                const double dx = x + 0.5 - 8.0, dy = y + 0.5 - 8.0;
                if (dx * dx + dy * dy <= 6.5 * 6.5 && c == white)
                    ++whiteInDisc;
                if (c != white)
                    ++counts[c];
            }
        }
        EXPECT_EQ(whiteInDisc, tc.pureWhiteInDisc);
        // The disc reaches columns and rows 1 and 14.
        EXPECT_NE(at(1, 7), white);
        EXPECT_NE(at(14, 8), white);
        EXPECT_NE(at(7, 1), white);
        EXPECT_NE(at(8, 14), white);
        // The dominant shade is the most frequent colour of the disc.
        auto most = std::max_element(counts.begin(), counts.end(),
                                     [](const auto& a, const auto& b) { return a.second < b.second; });
        ASSERT_NE(most, counts.end());
        EXPECT_EQ(most->first, tc.dominant);
        EXPECT_GT(most->second, 60);
    }
}

TEST(GlyphTablesTest, HelpMarkIsNearWhiteNeverPureWhite) {
    int nearWhite = 0;
    for (Color c : HelpGlyph) {
        if (c != Gray(255) && RedOf(c) >= 230 && GreenOf(c) >= 230 && BlueOf(c) >= 230)
            ++nearWhite;
    }
    EXPECT_GE(nearWhite, 12);
}

// ---- Button state and PaintButton ----------------------------------------------------

constexpr Color kFace = Gray(240);

PaintRequest Request(int w, int h) {
    PaintRequest r;
    r.width = w;
    r.height = h;
    r.color = kFace;
    r.face = kFace;
    return r;
}

// The glyph as it should appear on a face of colour kFace (pure-white key left out).
void ExpectGlyphAt(const PixelCanvas& canvas, const Glyph& glyph, Point at) {
    const Color key = glyph.At(0, glyph.height - 1);
    for (int y = 0; y < glyph.height; ++y)
        for (int x = 0; x < glyph.width; ++x) {
            const Color c = glyph.At(x, y);
            if (c == key)
                continue;
            ASSERT_EQ(canvas.GetPixel(at.x + x, at.y + y), c) << "glyph pixel " << x << "," << y;
        }
}

Glyph Solid(int w, int h, Color c) {
    Glyph g(w, h, c);
    g.Set(0, h - 1, Gray(255));  // key pixel
    return g;
}

TEST(PaintButtonTest, HelpButtonGlyphAndCaptionRect) {
    TXMButtonState state;
    EXPECT_TRUE(state.SetBitmapKind(TBitmapKind::bkHelp));
    EXPECT_TRUE(state.SetOffX(6));
    EXPECT_FALSE(state.SetOffX(6));
    PixelCanvas canvas(42, 29);
    const Rect rect = PaintButton(canvas, state, Request(42, 29));
    EXPECT_EQ(state.LoadedKind(), TBitmapKind::bkHelp);
    EXPECT_EQ(state.Bitmap(), GlyphFromTable(HelpGlyph));
    ExpectGlyphAt(canvas, state.Bitmap(), {13, 6});
    EXPECT_EQ(canvas.GetPixel(13, 6), kFace);  // a white corner of the glyph shows the face
    EXPECT_EQ(rect.left, 21);
    EXPECT_EQ(rect.top, 3);
    EXPECT_EQ(rect.right, 39);
    EXPECT_EQ(rect.bottom, 26);

    PixelCanvas pressed(42, 29);
    PaintRequest request = Request(42, 29);
    request.pressed = true;
    const Rect downRect = PaintButton(pressed, state, request);
    ExpectGlyphAt(pressed, state.Bitmap(), {14, 7});
    EXPECT_EQ(downRect.left, 22);
    EXPECT_EQ(downRect.top, 4);
    EXPECT_EQ(downRect.right, 40);
    EXPECT_EQ(downRect.bottom, 27);
}

TEST(PaintButtonTest, DownPropertyLooksLikePressed) {
    TXMButtonState byMouse, byProperty;
    byMouse.SetBitmapKind(TBitmapKind::bkOk);
    byProperty.SetBitmapKind(TBitmapKind::bkOk);
    EXPECT_TRUE(byProperty.SetDown(true));
    PixelCanvas a(71, 29), b(71, 29);
    PaintRequest pressed = Request(71, 29);
    pressed.pressed = true;
    const Rect ra = PaintButton(a, byMouse, pressed);
    const Rect rb = PaintButton(b, byProperty, Request(71, 29));
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 71; ++x)
            ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << x << "," << y;
    EXPECT_EQ(ra.left, rb.left);
    EXPECT_EQ(ra.top, rb.top);
    EXPECT_EQ(b.GetPixel(2, 2), AddColor(kFace, Gray(20)));
}

TEST(PaintButtonTest, FocusFlagSetsTheLighterFace) {
    TXMButtonState state;
    PixelCanvas canvas(71, 29);
    PaintRequest request = Request(71, 29);
    request.focused = true;
    const Rect rect = PaintButton(canvas, state, request);
    EXPECT_TRUE(state.FocusedLook());
    EXPECT_EQ(canvas.GetPixel(35, 14), AddColor(kFace, Gray(20)));
    EXPECT_EQ(canvas.GetPixel(1, 5), AddColor(kFace, Gray(24)));  // raised bevel
    EXPECT_EQ(rect.left, 3);
    EXPECT_EQ(rect.right, 68);
    request.focused = false;
    PaintButton(canvas, state, request);
    EXPECT_FALSE(state.FocusedLook());
    EXPECT_EQ(canvas.GetPixel(35, 14), kFace);
}

TEST(PaintButtonTest, DisabledDrawsTheGreyedGlyphMadeOnce) {
    TXMButtonState state;
    state.SetBitmapKind(TBitmapKind::bkCancel);
    PaintRequest request = Request(71, 29);
    PixelCanvas enabled(71, 29);
    PaintButton(enabled, state, request);
    EXPECT_FALSE(state.HasDisabledBitmap());

    request.shownEnabled = false;
    request.face = Rgb(10, 20, 30);  // the greyed glyph uses the system face, not the button's colour
    PixelCanvas disabled(71, 29);
    PaintButton(disabled, state, request);
    ASSERT_TRUE(state.HasDisabledBitmap());
    const Glyph expected = MakeDisabledGlyph(GlyphFromTable(CancelGlyph), Rgb(10, 20, 30));
    EXPECT_EQ(state.DisabledBitmap(), expected);
    ExpectGlyphAt(disabled, expected, {7, 6});

    // Re-enabling shows the glyph itself again.
    request.shownEnabled = true;
    PixelCanvas again(71, 29);
    PaintButton(again, state, request);
    ExpectGlyphAt(again, GlyphFromTable(CancelGlyph), {7, 6});
}

TEST(PaintButtonTest, DisabledCopyFollowsBitmapChanges) {
    TXMButtonState state;
    state.SetBitmapKind(TBitmapKind::bkOk);
    PaintRequest request = Request(40, 29);
    request.shownEnabled = false;
    PixelCanvas canvas(40, 29);
    PaintButton(canvas, state, request);
    ASSERT_TRUE(state.HasDisabledBitmap());

    // Loading another built-in glyph remakes the greyed copy.
    state.SetBitmapKind(TBitmapKind::bkHelp);
    request.shownEnabled = true;
    PaintButton(canvas, state, request);
    EXPECT_EQ(state.DisabledBitmap(), MakeDisabledGlyph(GlyphFromTable(HelpGlyph), kFace));

    // So does assigning an image.
    const Glyph own = Solid(5, 4, Rgb(10, 200, 30));
    state.AssignBitmap(own);
    EXPECT_EQ(state.DisabledBitmap(), MakeDisabledGlyph(own, kFace));
}

struct KindStep {
    const char* action;
    TBitmapKind kind;        // after the step
    TBitmapKind loadedKind;  // after the paint that follows it
    bool glyphDrawn;
};

TEST(PaintButtonTest, BitmapAndKindRules) {
    const Glyph own = Solid(10, 8, Rgb(1, 2, 3));
    TXMButtonState state;
    PixelCanvas canvas(42, 29);
    auto paint = [&] { return PaintButton(canvas, state, Request(42, 29)); };

    // The window's layout: an image of its own first (bkNone becomes bkCustom) ...
    state.AssignBitmap(own);
    EXPECT_EQ(state.BitmapKind(), TBitmapKind::bkCustom);
    EXPECT_EQ(state.LoadedKind(), TBitmapKind::bkCustom);
    // ... then bkHelp: the first paint writes the help glyph over the image.
    state.SetBitmapKind(TBitmapKind::bkHelp);
    EXPECT_EQ(state.Bitmap(), own);
    paint();
    EXPECT_EQ(state.Bitmap(), GlyphFromTable(HelpGlyph));

    // bkHelp -> bkCustom keeps drawing the help glyph, now the content of Bitmap.
    state.SetBitmapKind(TBitmapKind::bkCustom);
    Rect rect = paint();
    EXPECT_EQ(state.LoadedKind(), TBitmapKind::bkCustom);
    ExpectGlyphAt(canvas, GlyphFromTable(HelpGlyph), {7, 6});
    EXPECT_EQ(rect.left, 21);

    // bkNone hides it, and the caption uses the whole width.
    state.SetBitmapKind(TBitmapKind::bkNone);
    canvas = PixelCanvas(42, 29);
    rect = paint();
    EXPECT_EQ(rect.left, 3);
    for (int y = 2; y < 27; ++y)
        for (int x = 2; x < 40; ++x)
            ASSERT_EQ(canvas.GetPixel(x, y), kFace);

    // Clearing the image of a bkCustom button makes it bkNone.
    state.SetBitmapKind(TBitmapKind::bkCustom);
    state.AssignBitmap(std::nullopt);
    EXPECT_EQ(state.BitmapKind(), TBitmapKind::bkNone);
    EXPECT_EQ(state.LoadedKind(), TBitmapKind::bkNone);
    EXPECT_TRUE(state.Bitmap().Empty());
    EXPECT_EQ(paint().left, 3);
}

TEST(PaintButtonTest, BuiltInGlyphLoadsOnlyWhenTheKindChanges) {
    TXMButtonState state;
    state.SetBitmapKind(TBitmapKind::bkOk);
    PixelCanvas canvas(42, 29);
    PaintButton(canvas, state, Request(42, 29));
    // An image assigned to a bkOk button is kept: the kind did not change since the load.
    const Glyph own = Solid(16, 16, Rgb(3, 4, 5));
    state.AssignBitmap(own);
    EXPECT_EQ(state.BitmapKind(), TBitmapKind::bkOk);
    PaintButton(canvas, state, Request(42, 29));
    EXPECT_EQ(state.Bitmap(), own);
    EXPECT_EQ(canvas.GetPixel(8, 7), Rgb(3, 4, 5));
}

TEST(PaintButtonTest, GlyphTallerThanTheButton) {
    TXMButtonState state;
    state.AssignBitmap(Solid(40, 40, Rgb(50, 60, 70)));
    PixelCanvas canvas(60, 29);
    const Rect rect = PaintButton(canvas, state, Request(60, 29));
    // Placed at (-4, -5): glyph pixel (4, 5) lands on (0, 0).
    EXPECT_EQ(canvas.GetPixel(0, 0), Rgb(50, 60, 70));
    EXPECT_EQ(canvas.GetPixel(35, 28), Rgb(50, 60, 70));
    EXPECT_EQ(canvas.GetPixel(36, 28), ButtonFrameColors(kFace, false, false).outerBottomRight);
    EXPECT_EQ(rect.left, 45);
}

TEST(TXMButtonStateTest, SettersReportChanges) {
    TXMButtonState state;
    EXPECT_FALSE(state.SetDown(false));
    EXPECT_TRUE(state.SetDown(true));
    EXPECT_FALSE(state.SetOffY(0));
    EXPECT_TRUE(state.SetOffY(-2));
    EXPECT_TRUE(state.SetHotTrack(true));
    EXPECT_FALSE(state.SetHotTrack(true));
    EXPECT_FALSE(state.SetBitmapKind(TBitmapKind::bkNone));
    EXPECT_TRUE(state.SetFocusedLook(true));
    EXPECT_FALSE(state.SetFocusedLook(true));
}

}  // namespace
}  // namespace qm

// ---- At other screen densities -------------------------------------------------------

namespace qm {
namespace {

// The canvas with every pixel made a factor x factor block.
PixelCanvas Enlarged(const PixelCanvas& small, int factor) {
    PixelCanvas big(small.Width() * factor, small.Height() * factor);
    for (int y = 0; y < big.Height(); ++y)
        for (int x = 0; x < big.Width(); ++x)
            big.SetPixel(x, y, small.GetPixel(x / factor, y / factor));
    return big;
}

TEST(DpiPaintTest, FrameWithTwoPixelLinesIsTheOnePixelFrameDoubled) {
    const Color c = Rgb(100, 150, 200);
    struct Size {
        int w, h;
    };
    for (Size size : {Size{42, 29}, Size{33, 29}, Size{87, 29}, Size{8, 6}}) {
        for (bool down : {false, true}) {
            for (bool focused : {false, true}) {
                SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h) + (down ? " down" : "") +
                             (focused ? " focused" : ""));
                PixelCanvas at96(size.w, size.h);
                DrawButtonFrame(at96, Rect{0, 0, size.w, size.h}, c, down, focused, 1);
                PixelCanvas at192(2 * size.w, 2 * size.h);
                DrawButtonFrame(at192, Rect{0, 0, 2 * size.w, 2 * size.h}, c, down, focused, 2);
                const PixelCanvas expected = Enlarged(at96, 2);
                for (int y = 0; y < at192.Height(); ++y)
                    for (int x = 0; x < at192.Width(); ++x)
                        ASSERT_EQ(at192.GetPixel(x, y), expected.GetPixel(x, y)) << "at (" << x << ", " << y << ")";
            }
        }
    }
}

TEST(DpiPaintTest, ScaledGlyphTakesTheSourcePixelUnderEachCentre) {
    const Glyph help = GlyphFromTable(HelpGlyph);
    EXPECT_EQ(ScaleGlyph(help, 96), help);
    struct Case {
        int dpi, size;
    };
    for (Case c : {Case{120, 20}, Case{144, 24}, Case{192, 32}}) {
        SCOPED_TRACE(c.dpi);
        const Glyph scaled = ScaleGlyph(help, c.dpi);
        ASSERT_EQ(scaled.width, c.size);
        ASSERT_EQ(scaled.height, c.size);
        for (int y = 0; y < c.size; ++y)
            for (int x = 0; x < c.size; ++x)
                ASSERT_EQ(scaled.At(x, y), help.At((2 * x + 1) * 16 / (2 * c.size), (2 * y + 1) * 16 / (2 * c.size)))
                    << x << "," << y;
    }
    // At 200 % every source pixel is a 2 x 2 block.
    const Glyph doubled = ScaleGlyph(help, 192);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(doubled.At(x, y), help.At(x / 2, y / 2));
}

TEST(DpiPaintTest, CaptionRectangleAtEachDensity) {
    struct Case {
        int dpi, w, h;  // the 87 x 29 button at that density
        Rect up, down;
    };
    const Case cases[] = {
        {96, 87, 29, {3, 3, 84, 26}, {4, 4, 85, 27}},
        // The inset rounds down: 3.75 and 4.5 pixels give 3 and 4.
        {120, 109, 36, {3, 3, 106, 33}, {4, 4, 107, 34}},
        {144, 131, 44, {4, 4, 127, 40}, {6, 6, 129, 42}},
        {192, 174, 58, {6, 6, 168, 52}, {8, 8, 170, 54}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        TXMButtonState state;
        PixelCanvas canvas(c.w, c.h);
        PaintRequest request = Request(c.w, c.h);
        request.dpi = c.dpi;
        for (bool pressed : {false, true}) {
            request.pressed = pressed;
            const Rect r = PaintButton(canvas, state, request);
            const Rect& want = pressed ? c.down : c.up;
            EXPECT_EQ(r.left, want.left);
            EXPECT_EQ(r.top, want.top);
            EXPECT_EQ(r.right, want.right);
            EXPECT_EQ(r.bottom, want.bottom);
        }
    }
}

TEST(DpiPaintTest, HelpButtonAt192Dpi) {
    TXMButtonState state;
    state.SetBitmapKind(TBitmapKind::bkHelp);
    state.SetOffX(6);
    PaintRequest request = Request(84, 58);
    request.dpi = 192;
    PixelCanvas canvas(84, 58);
    const Rect rect = PaintButton(canvas, state, request);
    const Glyph scaled = ScaleGlyph(GlyphFromTable(HelpGlyph), 192);
    // (58 - 32) / 2 + 2 * 6 + 2 across, (58 - 32) / 2 down.
    ExpectGlyphAt(canvas, scaled, {27, 13});
    EXPECT_EQ(rect.left, 32 + 4 + 6);
    // The frame's two lines are two pixels each: outer, then inner, then face.
    const FrameColors colors = ButtonFrameColors(kFace, false, false);
    for (int x : {0, 1})
        EXPECT_EQ(canvas.GetPixel(x, 29), colors.outerTopLeft) << x;
    for (int x : {2, 3})
        EXPECT_EQ(canvas.GetPixel(x, 29), colors.innerTopLeft) << x;
    EXPECT_EQ(canvas.GetPixel(4, 29), colors.face);
    for (int y : {57, 56})
        EXPECT_EQ(canvas.GetPixel(60, y), colors.outerBottomRight) << y;
    for (int y : {55, 54})
        EXPECT_EQ(canvas.GetPixel(60, y), colors.innerBottomRight) << y;

    // Pressed: glyph and caption two pixels right and down.
    request.pressed = true;
    PixelCanvas pressed(84, 58);
    const Rect downRect = PaintButton(pressed, state, request);
    ExpectGlyphAt(pressed, scaled, {29, 15});
    EXPECT_EQ(downRect.left, rect.left + 2);
    EXPECT_EQ(downRect.top, rect.top + 2);
}

}  // namespace
}  // namespace qm

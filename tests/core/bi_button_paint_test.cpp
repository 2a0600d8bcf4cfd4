// Pixel checks of the spin button's painting (faces, gradient bands, arrows, which
// faces a held half leaves out) and of its press logic (halves, drag multiplier).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>

#include "controls/bi_button_paint.h"
#include "controls/bi_button_state.h"
#include "controls/pixel_canvas.h"

namespace qm {
namespace {

constexpr Color kBackground = Rgb(255, 0, 255);
// A face colour with three different channels, so a channel mix-up shows.
constexpr Color kFace = Rgb(200, 180, 160);

Color Plus(Color c, int n) {
    return AddColor(c, Gray(n));
}
Color Minus(Color c, int n) {
    return SubtractColor(c, Gray(n));
}

// ---- Flat face -------------------------------------------------------------

TEST(BiButtonFlatFace, NotPressedEdgesCornerAndFill) {
    // Face (1,1)-(12,16) on a larger canvas, to see that nothing spills outside.
    PixelCanvas canvas(14, 18, kBackground);
    DrawFlatFace(canvas, 1, 1, 12, 16, kFace, false);
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 14; ++x) {
            Color expected;
            if (x == 0 || x == 13 || y == 0 || y == 17)
                expected = kBackground;
            else if (x == 1 && y == 16)
                expected = Minus(kFace, 56);  // bottom-left corner
            else if (y == 1 || x == 1)
                expected = Minus(kFace, 16);  // top and left, top-right corner included
            else if (y == 16 || x == 12)
                expected = Minus(kFace, 96);  // bottom and right
            else
                expected = Plus(kFace, 8);
            ASSERT_EQ(canvas.GetPixel(x, y), expected) << "x=" << x << " y=" << y;
        }
    }
}

TEST(BiButtonFlatFace, PressedEdgesAreReversed) {
    PixelCanvas canvas(12, 16, kBackground);
    DrawFlatFace(canvas, 0, 0, 11, 15, kFace, true);
    struct Probe {
        int x, y;
        Color expected;
    };
    const Probe probes[] = {
        {0, 0, Minus(kFace, 48)},  {11, 0, Minus(kFace, 48)}, {5, 0, Minus(kFace, 48)},   {0, 14, Minus(kFace, 48)},
        {0, 15, Minus(kFace, 16)}, {5, 15, Minus(kFace, 16)}, {11, 15, Minus(kFace, 16)}, {11, 1, Minus(kFace, 16)},
        {11, 8, Minus(kFace, 16)}, {1, 1, Plus(kFace, 8)},    {10, 14, Plus(kFace, 8)},
    };
    for (const auto& p : probes)
        EXPECT_EQ(canvas.GetPixel(p.x, p.y), p.expected) << p.x << "," << p.y;
}

TEST(BiButtonFlatFace, DarkFaceFloorsAtZero) {
    PixelCanvas canvas(12, 16, kBackground);
    DrawFlatFace(canvas, 0, 0, 11, 15, Rgb(20, 60, 100), false);
    EXPECT_EQ(canvas.GetPixel(0, 0), Rgb(4, 44, 84));
    EXPECT_EQ(canvas.GetPixel(0, 15), Rgb(0, 4, 44));
    EXPECT_EQ(canvas.GetPixel(11, 15), Rgb(0, 0, 4));
}

TEST(BiButtonFlatFace, OnePixelWideFaceStaysInside) {
    PixelCanvas canvas(3, 6, kBackground);
    DrawFlatFace(canvas, 1, 0, 1, 5, kFace, false);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(canvas.GetPixel(0, y), kBackground);
        EXPECT_EQ(canvas.GetPixel(2, y), kBackground);
    }
    for (int y = 0; y < 6; ++y)
        EXPECT_NE(canvas.GetPixel(1, y), kBackground);
}

// ---- Gradient face ---------------------------------------------------------

TEST(BiButtonGradientFace, BandHeights) {
    const struct {
        int h, band;
    } cases[] = {{0, 1}, {1, 1}, {15, 1}, {16, 2}, {17, 2}, {31, 2}, {32, 3}, {60, 3}, {1000, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(GradientBandHeight(c.h), c.band) << "h=" << c.h;
}

TEST(BiButtonGradientFace, BandsGetLighterFromTheBottomUp) {
    const struct { int h, band, shades; } cases[] = {{15, 1, 15}, {17, 2, 9}, {60, 3, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.h);
        PixelCanvas canvas(12, c.h + 1, kBackground);
        DrawGradientFace(canvas, 0, 0, 11, c.h, kFace, false);
        std::set<Color> shades;
        for (int row = 0; row < c.h; ++row) {
            int step = (c.h - 1 - row) / c.band;
            // Row 0 is the top edge; every other row is one colour between the side edges.
            if (row > 0) {
                for (int x = 1; x < 11; ++x)
                    ASSERT_EQ(canvas.GetPixel(x, row), Plus(kFace, step)) << x << "," << row;
            }
            shades.insert(Plus(kFace, step));
        }
        EXPECT_EQ(static_cast<int>(shades.size()), c.shades);
        // The bottom band is the face colour itself, b rows high.
        for (int row = c.h - c.band; row < c.h; ++row)
            EXPECT_EQ(canvas.GetPixel(5, row), kFace);
        EXPECT_EQ(canvas.GetPixel(5, c.h - c.band - 1), Plus(kFace, 1));
    }
}

TEST(BiButtonGradientFace, Edges) {
    const Color light = Plus(kFace, 16), dark = Minus(kFace, 32);
    for (bool pressed : {false, true}) {
        SCOPED_TRACE(pressed);
        PixelCanvas canvas(12, 16, kBackground);
        DrawGradientFace(canvas, 0, 0, 11, 15, kFace, pressed);
        const Color upper = pressed ? dark : light, lower = pressed ? light : dark;
        EXPECT_EQ(canvas.GetPixel(0, 15), upper);  // bottom-left belongs to the left edge
        EXPECT_EQ(canvas.GetPixel(0, 0), upper);
        EXPECT_EQ(canvas.GetPixel(10, 0), upper);
        EXPECT_EQ(canvas.GetPixel(11, 0), lower);  // top-right belongs to the right edge
        EXPECT_EQ(canvas.GetPixel(11, 14), lower);
        EXPECT_EQ(canvas.GetPixel(11, 15), lower);
        EXPECT_EQ(canvas.GetPixel(1, 15), lower);
    }
}

TEST(BiButtonGradientFace, PressedFillsOneTint) {
    PixelCanvas canvas(12, 18, kBackground);
    DrawGradientFace(canvas, 0, 0, 11, 17, kFace, true);
    for (int row = 1; row < 17; ++row)
        EXPECT_EQ(canvas.GetPixel(6, row), Rgb(236, 232, 196));
}

TEST(BiButtonGradientFace, ChannelsCapAt255) {
    // White: every band, the pressed tint and the light edge stay white.
    for (bool pressed : {false, true}) {
        PixelCanvas canvas(12, 61, kBackground);
        DrawGradientFace(canvas, 0, 0, 11, 60, Gray(255), pressed);
        for (int row = 1; row < 60; ++row)
            ASSERT_EQ(canvas.GetPixel(5, row), Gray(255)) << row;
        EXPECT_EQ(canvas.GetPixel(0, 30), pressed ? Gray(223) : Gray(255));
    }
    // Each channel caps on its own: red reaches 255 after 5 steps, the others go on.
    PixelCanvas canvas(12, 61, kBackground);
    DrawGradientFace(canvas, 0, 0, 11, 60, Rgb(250, 100, 0), false);
    EXPECT_EQ(canvas.GetPixel(5, 1), Rgb(255, 119, 19));  // top band: 19 steps up
    // A very tall face has more than 255 steps: the step caps instead of wrapping round.
    PixelCanvas tall(4, 1001, kBackground);
    DrawGradientFace(tall, 0, 0, 3, 1000, Gray(0), false);
    EXPECT_EQ(tall.GetPixel(1, 1), Gray(255));
    EXPECT_EQ(tall.GetPixel(1, 999), Gray(0));
}

// ---- Arrows ----------------------------------------------------------------

TEST(BiButtonArrow, RowColours) {
    const Color normal[7] = {Gray(144), Gray(120), Gray(88), Gray(48), Gray(0), Gray(0), Gray(0)};
    const Color held[7] = {Rgb(240, 151, 151), Rgb(248, 127, 127), Rgb(248, 95, 95), Rgb(240, 55, 55),
                           Rgb(240, 7, 7),     Rgb(240, 7, 7),     Rgb(240, 7, 7)};
    for (int row = 0; row < 7; ++row) {
        EXPECT_EQ(ArrowRowColor(row, false), normal[row]) << row;
        EXPECT_EQ(ArrowRowColor(row, true), held[row]) << row;
    }
}

TEST(BiButtonArrow, RowsAndDirection) {
    const int lengths[7] = {1, 2, 3, 4, 3, 2, 1};
    for (ArrowDirection direction : {ArrowDirection::Left, ArrowDirection::Right}) {
        for (bool held : {false, true}) {
            PixelCanvas canvas(20, 20, kBackground);
            DrawArrow(canvas, 10, 10, direction, held);
            for (int y = 0; y < 20; ++y) {
                for (int x = 0; x < 20; ++x) {
                    int row = y - 7;
                    bool inside = false;
                    if (row >= 0 && row < 7) {
                        if (direction == ArrowDirection::Right)
                            inside = x >= 8 && x < 8 + lengths[row];  // starts at x - 2
                        else
                            inside = x <= 11 && x > 11 - lengths[row];  // ends at x + 1
                    }
                    Color expected = inside ? ArrowRowColor(row, held) : kBackground;
                    ASSERT_EQ(canvas.GetPixel(x, y), expected) << "x=" << x << " y=" << y << " held=" << held
                                                               << " right=" << (direction == ArrowDirection::Right);
                }
            }
        }
    }
}

// ---- The whole button ------------------------------------------------------

enum class FaceLook { Missing, Normal, Pressed };

TEST(BiButtonPaint, HeldHalfLeavesTheOtherFaceOut) {
    const struct {
        bool up, down;
        FaceLook left, right;
    } cases[] = {
        {false, false, FaceLook::Normal, FaceLook::Normal},
        {true, false, FaceLook::Missing, FaceLook::Pressed},
        {false, true, FaceLook::Pressed, FaceLook::Missing},
    };
    auto lookAt = [](const PixelCanvas& canvas, int x) {
        Color c = canvas.GetPixel(x, 0);  // top-left corner of a face
        if (c == kBackground)
            return FaceLook::Missing;
        if (c == Minus(kFace, 48))
            return FaceLook::Pressed;
        EXPECT_EQ(c, Minus(kFace, 16));
        return FaceLook::Normal;
    };
    for (int width : {24, 25}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "width " << width << " up " << c.up << " down " << c.down);
            PixelCanvas canvas(width, 16, kBackground);
            PaintBiButton(canvas, width, 16, c.up, c.down, false, kFace);
            const int half = width / 2;
            EXPECT_EQ(lookAt(canvas, 0), c.left);
            EXPECT_EQ(lookAt(canvas, half), c.right);
            // The left face ends at half - 1, the right one at width - 1.
            if (c.left != FaceLook::Missing) {
                EXPECT_NE(canvas.GetPixel(half - 1, 8), kBackground);
            }
            if (c.right != FaceLook::Missing) {
                EXPECT_NE(canvas.GetPixel(width - 1, 8), kBackground);
            }
            // Arrows are always drawn: the widest row, at y = 8, of the left arrow
            // centred at half div 2 and of the right arrow at half + half div 2.
            EXPECT_EQ(canvas.GetPixel(half / 2 + 1, 8), ArrowRowColor(3, c.down));
            EXPECT_EQ(canvas.GetPixel(half / 2 - 2, 8), ArrowRowColor(3, c.down));
            EXPECT_EQ(canvas.GetPixel(half + half / 2 - 2, 8), ArrowRowColor(3, c.up));
            EXPECT_EQ(canvas.GetPixel(half + half / 2 + 1, 8), ArrowRowColor(3, c.up));
        }
    }
}

TEST(BiButtonPaint, GradientStyleUsesGradientFaces) {
    PixelCanvas canvas(24, 16, kBackground);
    PaintBiButton(canvas, 24, 16, false, false, true, kFace);
    EXPECT_EQ(canvas.GetPixel(0, 15), Plus(kFace, 16));
    EXPECT_EQ(canvas.GetPixel(12, 15), Plus(kFace, 16));
    EXPECT_EQ(canvas.GetPixel(11, 15), Minus(kFace, 32));
    EXPECT_EQ(canvas.GetPixel(1, 14), kFace);
    EXPECT_EQ(canvas.GetPixel(1, 1), Plus(kFace, 13));
}

// ---- Press logic -----------------------------------------------------------

TEST(BiButtonPress, HalfUnderTheMouse) {
    const struct {
        int x, width;
        bool up;
    } cases[] = {{11, 24, false}, {12, 24, true}, {0, 24, false}, {23, 24, true}, {11, 23, true}, {10, 23, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsUpHalf(c.x, c.width), c.up) << c.x << " of " << c.width;
}

TEST(BiButtonPress, DragMultiplier) {
    const struct {
        bool up;
        int32_t pressX, x, multiplier;
    } cases[] = {
        {true, 12, 52, 3},  // 40 px outwards
        {true, 12, 12, 1},  // back at the press point
        {true, 12, -8, 0},  // 20 px inwards
        {true, 12, 29, 1},
        {true, 12, 30, 2},
        {true, 12, 48, 3},
        {true, 12, -5, 1},  // 17 px inwards still truncates to 0 + 1
        {true, 12, -6, 0},
        {true, 12, -23, 0},
        {true, 12, -24, -1},  // 36 px inwards: opposite direction
        {true, 12, -60, -3},
        {false, 5, -35, 3},
        {false, 5, 25, 0},
        {false, 5, 41, -1},
        {true, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 238609295},
        {false, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -238609293},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DragStepMultiplier(c.up, c.pressX, c.x), c.multiplier)
            << (c.up ? "up" : "down") << " press " << c.pressX << " at " << c.x;
}

TEST(BiButtonPress, StateMachine) {
    BiButtonState s;
    EXPECT_EQ(s.StepMultiplier(), 1);
    EXPECT_FALSE(s.Held());

    // Right button: records x, resets the multiplier, holds nothing.
    EXPECT_FALSE(s.MouseDown(MouseButton::Right, 17, 24));
    EXPECT_EQ(s.PressX(), 17);
    EXPECT_FALSE(s.Held());
    s.MouseMove(60);  // no half held: the drag means nothing
    EXPECT_EQ(s.StepMultiplier(), 1);

    EXPECT_TRUE(s.MouseDown(MouseButton::Left, 12, 24));
    EXPECT_TRUE(s.UpPressed());
    EXPECT_FALSE(s.DownPressed());
    s.MouseMove(52);
    EXPECT_EQ(s.StepMultiplier(), 3);
    s.MouseUp();
    EXPECT_FALSE(s.Held());
    EXPECT_EQ(s.StepMultiplier(), 3);  // kept after the release
    s.MouseMove(12);
    EXPECT_EQ(s.StepMultiplier(), 3);

    // A new press starts again at 1; a second left press moves the hold.
    EXPECT_TRUE(s.MouseDown(MouseButton::Left, 11, 24));
    EXPECT_EQ(s.StepMultiplier(), 1);
    EXPECT_TRUE(s.DownPressed());
    EXPECT_TRUE(s.MouseDown(MouseButton::Left, 20, 24));
    EXPECT_TRUE(s.UpPressed());
    EXPECT_FALSE(s.DownPressed());
    s.MouseDown(MouseButton::Middle, 3, 24);
    EXPECT_EQ(s.StepMultiplier(), 1);
}

}  // namespace
}  // namespace qm

// ---- At other screen densities ---------------------------------------------

namespace qm {
namespace {

TEST(BiButtonDpi, ArrowAtTwoPixelUnitsIsTheArrowDoubled) {
    for (ArrowDirection direction : {ArrowDirection::Left, ArrowDirection::Right}) {
        for (bool held : {false, true}) {
            SCOPED_TRACE(testing::Message() << "right " << (direction == ArrowDirection::Right) << " held " << held);
            PixelCanvas small(20, 20, kBackground);
            DrawArrow(small, 10, 10, direction, held, 1);
            PixelCanvas big(40, 40, kBackground);
            DrawArrow(big, 20, 20, direction, held, 2);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 40; ++x)
                    ASSERT_EQ(big.GetPixel(x, y), small.GetPixel(x / 2, y / 2)) << "x=" << x << " y=" << y;
        }
    }
}

TEST(BiButtonDpi, FlatFaceEdgesTwoPixelsWide) {
    struct Probe {
        int x, y;
        Color expected;
    };
    // Face (0,0)-(23,31): edges of two nested one-pixel rings, fill inside them.
    const Probe notPressed[] = {
        {10, 0, Minus(kFace, 16)},  {10, 1, Minus(kFace, 16)},  {0, 10, Minus(kFace, 16)},  {1, 10, Minus(kFace, 16)},
        {0, 31, Minus(kFace, 56)},  {1, 30, Minus(kFace, 56)},  {10, 31, Minus(kFace, 96)}, {10, 30, Minus(kFace, 96)},
        {23, 10, Minus(kFace, 96)}, {22, 10, Minus(kFace, 96)}, {10, 2, Plus(kFace, 8)},    {2, 10, Plus(kFace, 8)},
        {21, 29, Plus(kFace, 8)},
    };
    PixelCanvas canvas(24, 32, kBackground);
    DrawFlatFace(canvas, 0, 0, 23, 31, kFace, false, 2);
    for (const auto& p : notPressed)
        EXPECT_EQ(canvas.GetPixel(p.x, p.y), p.expected) << p.x << "," << p.y;

    const Probe pressed[] = {
        {10, 0, Minus(kFace, 48)},  {10, 1, Minus(kFace, 48)},  {1, 10, Minus(kFace, 48)}, {10, 31, Minus(kFace, 16)},
        {10, 30, Minus(kFace, 16)}, {22, 10, Minus(kFace, 16)}, {2, 2, Plus(kFace, 8)},
    };
    PixelCanvas down(24, 32, kBackground);
    DrawFlatFace(down, 0, 0, 23, 31, kFace, true, 2);
    for (const auto& p : pressed)
        EXPECT_EQ(down.GetPixel(p.x, p.y), p.expected) << p.x << "," << p.y;
}

TEST(BiButtonDpi, ThinFaceDrawsOnlyTheRingsThatFit) {
    // Three pixels wide with three-pixel edges: the rings stop where they would cross.
    PixelCanvas canvas(5, 12, kBackground);
    DrawFlatFace(canvas, 1, 0, 3, 11, kFace, false, 3);
    for (int y = 0; y < 12; ++y) {
        EXPECT_EQ(canvas.GetPixel(0, y), kBackground);
        EXPECT_EQ(canvas.GetPixel(4, y), kBackground);
    }
    EXPECT_EQ(canvas.GetPixel(1, 5), Minus(kFace, 16));
    EXPECT_EQ(canvas.GetPixel(3, 5), Minus(kFace, 96));
}

TEST(BiButtonDpi, WholeButtonAtEachDensity) {
    // The spin button of a 22-pixel numeric edit: 24 x 18 at 96 DPI, scaled.
    struct Case {
        int dpi, width, height, edge;
    };
    for (Case c : {Case{96, 24, 18, 1}, Case{192, 48, 36, 2}}) {
        SCOPED_TRACE(c.dpi);
        PixelCanvas canvas(c.width, c.height, kBackground);
        PaintBiButton(canvas, c.width, c.height, false, false, false, kFace, c.dpi);
        const int half = c.width / 2;
        for (int k = 0; k < c.edge; ++k) {
            EXPECT_EQ(canvas.GetPixel(half + 4, k), Minus(kFace, 16)) << k;
            EXPECT_EQ(canvas.GetPixel(half - 1 - k, c.height / 4), Minus(kFace, 96)) << k;
        }
        EXPECT_EQ(canvas.GetPixel(half + 4, c.edge), Plus(kFace, 8));
        // The widest arrow row spans four units, starting two units left of the centre.
        const int unit = c.edge;
        const int rightCentre = half + half / 2;
        for (int x = rightCentre - 2 * unit; x < rightCentre + 2 * unit; ++x)
            EXPECT_EQ(canvas.GetPixel(x, c.height / 2), ArrowRowColor(3, false)) << x;
        EXPECT_NE(canvas.GetPixel(rightCentre + 2 * unit, c.height / 2), ArrowRowColor(3, false));
        EXPECT_NE(canvas.GetPixel(rightCentre - 2 * unit - 1, c.height / 2), ArrowRowColor(3, false));
    }
}

}  // namespace
}  // namespace qm

#!/usr/bin/env python3
"""Draws the three built-in 16 x 16 button glyphs and prints them as C++ tables.

Each glyph is a shaded disc 14 pixels across, centred, on pure white. The disc is
mostly one dominant shade, lighter towards the top left, darker along the lower
right rim, and blended into the white at its edge. The symbol in the middle is
drawn from a small character map:
    '#'  pure white (transparent on the button: the face shows through)
    'o'  near-white (never pure white)
    '+'  half way between the disc and white
Run it from the repository root and paste the output into controls/glyphs.cpp:
    python3 controls/glyphs_gen.py > /tmp/tables.txt
It is not part of the build.
"""

import math

SIZE = 16
CENTRE = 7.5
RADIUS = 7.0

OK_SYMBOL = [
    "................",
    "................",
    "................",
    "................",
    "................",
    "...........+....",
    "..........+#+...",
    "....+....+#+....",
    "...+#+..+#+.....",
    "....+#++#+......",
    ".....+#+o+......",
    "......++........",
    "................",
    "................",
    "................",
    "................",
]

CANCEL_SYMBOL = [
    "................",
    "................",
    "................",
    "................",
    ".....+....+.....",
    "....+#+..+#+....",
    ".....+#++#+.....",
    "......+##+......",
    "......+##+......",
    ".....+#++#+.....",
    "....+#+..+#+....",
    ".....+....+.....",
    "................",
    "................",
    "................",
    "................",
]


HELP_SYMBOL = [
    "................",
    "................",
    "................",
    "......+oo+......",
    ".....oo++oo.....",
    ".....++..oo.....",
    ".........oo.....",
    "........oo+.....",
    ".......oo+......",
    ".......oo.......",
    "................",
    ".......oo.......",
    ".......oo.......",
    "................",
    "................",
    "................",
]


def clamp(v):
    return max(0, min(255, int(round(v))))


def mix(a, b, t):
    """a * (1 - t) + b * t per channel."""
    return tuple(clamp(x * (1 - t) + y * t) for x, y in zip(a, b))


def coverage(x, y):
    """Share of pixel (x, y) inside the disc, sampled on a 4 x 4 grid."""
    inside = 0
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4
            py = y + (sy + 0.5) / 4
            if (px - CENTRE - 0.5) ** 2 + (py - CENTRE - 0.5) ** 2 <= RADIUS ** 2:
                inside += 1
    return inside / 16


def disc_shade(base, x, y):
    """The disc's shade at (x, y): the dominant shade in most of the disc."""
    dx = x - CENTRE
    dy = y - CENTRE
    dist = math.hypot(dx, dy)
    # Highlight towards the top left, a darker rim at the lower right.
    if dx + dy < -7.5:
        return mix(base, (255, 255, 255), 0.25)
    if dx + dy > 8.0 and dist > 5.0:
        return mix(base, (0, 0, 0), 0.22)
    return base


def draw(base, symbol, near_white):
    pixels = []
    for y in range(SIZE):
        for x in range(SIZE):
            cov = coverage(x, y)
            if cov == 0:
                colour = (255, 255, 255)
            else:
                colour = disc_shade(base, x, y)
                if cov < 1:
                    colour = mix(colour, (255, 255, 255), 1 - cov)
                    # An edge pixel blended almost to white must not become the key colour.
                    if colour == (255, 255, 255):
                        colour = (254, 254, 254)
            mark = symbol[y][x]
            if mark == "#":
                colour = (255, 255, 255)
            elif mark == "o":
                colour = near_white
            elif mark == "+":
                colour = mix(disc_shade(base, x, y), (255, 255, 255), 0.5)
            pixels.append(colour)
    # The four corners lie outside the disc and are pure white.
    for i in (0, SIZE - 1, SIZE * (SIZE - 1), SIZE * SIZE - 1):
        assert pixels[i] == (255, 255, 255)
    return pixels


def emit(name, pixels):
    print(f"const std::array<Color, kGlyphPixels> {name} = {{")
    for row in range(SIZE):
        # Half a row per line keeps the lines short.
        for half in range(2):
            start = row * SIZE + half * SIZE // 2
            cells = ", ".join(f"0x{(b << 16) | (g << 8) | r:08X}" for r, g, b in pixels[start:start + SIZE // 2])
            note = f"  // row {row}" if half == 0 else ""
            print(f"    {cells},{note}")
    print("};")
    print()


def main():
    emit("OkGlyph", draw((77, 156, 40), OK_SYMBOL, (244, 250, 240)))
    emit("CancelGlyph", draw((209, 80, 68), CANCEL_SYMBOL, (250, 240, 238)))
    emit("HelpGlyph", draw((67, 119, 168), HELP_SYMBOL, (246, 248, 252)))


if __name__ == "__main__":
    main()

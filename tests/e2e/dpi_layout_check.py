#!/usr/bin/env python3
"""Checks the window's layout at a screen density against its layout at 96 DPI.

  dpi_layout_check.py DPI LIST96 LIST EXTENTS POSITION_EXTENTS EXTENTS96 [--moved]

LIST96 and LIST are "Probe.exe list" outputs at 96 DPI and at DPI; EXTENTS and
POSITION_EXTENTS are "Probe.exe extents" outputs at DPI, with the window's font and with
the position display's font (the label inside the group box), at their sizes at DPI;
EXTENTS96 the first at 96 DPI.

The 96-DPI list must hold the layout as given (LAYOUT_96, LABELS_96). At DPI every
control's place relative to its parent must be its 96-DPI place scaled, within a pixel of
rounding; labels are sized to their text, so only their place counts; a numeric edit may
be taller (its minimum height follows its font); the spin button is as wide as its 96-DPI
width scaled and fills the edit's client height; the pages lie over the tab control's
display area, which the tab control decides; a check box may be wider than scaled, to fit
its caption, but stays inside its parent. Every text must fit the room its control gives
it. A check box's caption is measured longer under Wine than its box draws it (at 96 DPI
the given layout shows "Software backlash correction" whole though the measure says it
runs 7 pixels over): it counts as fitting when it runs over by no more than at 96 DPI,
scaled. With --moved the window was sent the message of a move to a screen of DPI while
the system still reports the old density for its controls, which the spin button's width
follows: that width is not checked. Prints one "ok"/"FAIL" line per check.
"""
import re, sys

LINE = re.compile(r"^control: index=(\d+) depth=(\d+) class=(\S+) cindex=\d+ id=(-?\d+) parent=\S* "
                  r"x=(-?\d+) y=(-?\d+) w=(\d+) h=(\d+) enabled=\d visible=\d style=0x([0-9a-fA-F]+) .*text=\"(.*)\"$")
# The layout at 96 DPI, relative to each control's parent: by control id (x, y, w, h),
# and the labels, sized to their texts, by text (x, y).
LAYOUT_96 = {100: (0, 0, 318, 141), 101: (4, 4, 137, 105), 102: (151, 20, 44, 22), 103: (202, 20, 51, 22),
             104: (260, 20, 43, 22), 105: (151, 56, 71, 29), 106: (232, 56, 71, 29), 107: (4, 82, 87, 29),
             108: (100, 82, 87, 29), 109: (261, 82, 42, 29), 110: (4, 1, 299, 53), 111: (4, 60, 141, 17),
             112: (144, 60, 161, 17), 113: (220, 14, 33, 29), 114: (148, 14, 33, 29), 115: (76, 14, 33, 29),
             116: (108, 14, 33, 29), 117: (180, 14, 33, 29), 118: (252, 14, 33, 29)}
LABELS_96 = {"Steps": (151, 2), "Increment": (202, 2), "Expo/Step": (260, 2), "Status:": (152, 96),
             "Disconnected": (190, 96), "00000": (10, 18)}
EXTENT = re.compile(r"^extent: index=(\d+) class=(\S+) cw=(\d+) ch=(\d+) tw=(\d+) th=(\d+) text=\"(.*)\"$")
CLIENT_EDGE = 2  # the sunken border is two pixels at every density


def scale(value, dpi):
    product = value * dpi
    return (product + 48) // 96 if product >= 0 else -((-product + 48) // 96)


def read_list(path):
    controls, parents = [], []
    for line in open(path, encoding="latin-1"):
        m = LINE.match(line)
        if not m:
            continue
        index, depth, cls, ident, x, y, w, h, style, text = m.groups()
        c = dict(index=int(index), depth=int(depth), cls=cls, id=int(ident), x=int(x), y=int(y), w=int(w), h=int(h),
                 style=int(style, 16), text=text)
        del parents[c["depth"]:]
        parent = parents[-1] if parents else None
        c["parent"] = parent
        # The place relative to the parent's window rectangle (the list gives client-area places).
        c["rx"] = c["x"] - (parent["x"] if parent else 0)
        c["ry"] = c["y"] - (parent["y"] if parent else 0)
        parents.append(c)
        controls.append(c)
    return controls


def report(what, ok, detail):
    print(("ok   " if ok else "FAIL ") + what + ": " + detail)


def near(actual, expected):
    return abs(actual - expected) <= 1


def main():
    dpi = int(sys.argv[1])
    moved = "--moved" in sys.argv[7:]
    base, now = read_list(sys.argv[2]), read_list(sys.argv[3])
    report("same controls", [c["cls"] for c in base] == [c["cls"] for c in now] and len(base) > 20,
           f"{len(base)} at 96 DPI, {len(now)} at {dpi}")
    if len(base) != len(now):
        return
    # The 96-DPI layout itself, which the others are compared with.
    placed = 0
    for c in base if dpi == 96 and not moved else []:
        got = (c["rx"], c["ry"], c["w"], c["h"])
        if c["id"] in LAYOUT_96:
            placed += 1
            report(f"96 DPI: control {c['id']} as laid out", got == LAYOUT_96[c["id"]], f"{got}")
        elif c["cls"] == "Static" and c["text"] in LABELS_96:
            placed += 1
            report(f"96 DPI: label \"{c['text']}\" as laid out", got[:2] == LABELS_96[c["text"]], f"{got}")
    if dpi == 96 and not moved:
        report("96 DPI: every control of the layout found", placed == len(LAYOUT_96) + len(LABELS_96), f"{placed}")
    spin_parents = {c["parent"]["index"] for c in now if c["cls"] == "TBiButton" and c["parent"]}
    for b, c in zip(base, now):
        name = f"{c['cls']} #{c['index']}"
        want = {k: scale(b[k], dpi) for k in ("rx", "ry", "w", "h")}
        got = f"{c['rx']},{c['ry']} {c['w']}x{c['h']} (96 DPI {b['rx']},{b['ry']} {b['w']}x{b['h']})"
        if c["cls"] == "QuillomarPage":  # placed by the tab control
            continue
        if c["cls"] == "TBiButton":
            ok = (moved or near(c["w"], want["w"])) and c["h"] == c["parent"]["h"] - 2 * CLIENT_EDGE
            report(f"{name} scaled width, full height", ok, got)
            continue
        ok = near(c["rx"], want["rx"]) and near(c["ry"], want["ry"])
        if c["cls"] == "Button" and c["style"] & 0xF in (2, 3):
            ok = ok and c["w"] >= want["w"] - 1 and near(c["h"], want["h"])
            ok = ok and c["rx"] + c["w"] <= c["parent"]["w"]
        elif c["cls"] != "Static":
            ok = ok and near(c["w"], want["w"])
            ok = ok and (c["h"] >= want["h"] - 1 if c["index"] in spin_parents else near(c["h"], want["h"]))
        report(f"{name} place scaled", ok, got)

    by_index = {c["index"]: c for c in now}
    spin_width = {c["parent"]["index"]: c["w"] for c in now if c["cls"] == "TBiButton" and c["parent"]}
    # The position display, a label in the group box, has a font of its own.
    position = {c["index"] for c in now if c["cls"] == "Static" and c["parent"] and c["parent"]["cls"] == "Button"}
    measured = []
    for path, wanted in ((sys.argv[4], lambda i: i not in position), (sys.argv[5], lambda i: i in position)):
        for line in open(path, encoding="latin-1"):
            m = EXTENT.match(line.rstrip("\n"))
            if m and wanted(int(m.group(1))):
                measured.append(m.groups())
    report("position display measured", len(position) == 1, f"{len(position)} labels in the group box")
    over96 = {}
    for line in open(sys.argv[6], encoding="latin-1"):
        m = EXTENT.match(line.rstrip("\n"))
        if m:
            over96[m.group(7)] = int(m.group(5)) + 16 - int(m.group(3))
    fits = 0
    for index, cls, cw, ch, tw, th, text in measured:
        index, cw, ch, tw, th = int(index), int(cw), int(ch), int(tw), int(th)
        kind = by_index[index]["style"] & 0xF if cls == "Button" else None
        if cls == "Static":
            room_w, room_h = cw, ch
        elif cls == "Button" and kind == 0xB:  # push button: the caption rectangle
            inset = 3 * dpi // 96  # rounded down, as the button does
            room_w, room_h = cw - 2 * inset, ch - 2 * inset
        elif cls == "Button" and kind in (2, 3):  # check box: the box and its gap
            room_w, room_h = cw - scale(16, dpi) + max(scale(over96.get(text, 0), dpi), 0), ch
        elif cls == "Button" and kind == 7:  # group box: the caption between the frame's ends
            room_w, room_h = cw - 2 * scale(8, dpi), ch
        elif cls == "Edit" and index in spin_width:  # numeric edit: the text rectangle it sets
            room_w, room_h = cw - spin_width[index] - 2, ch
        else:
            continue
        fits += 1
        report(f"\"{text}\" fits", tw <= room_w and th <= room_h, f"text {tw}x{th} in {room_w}x{room_h}")
    report("texts measured", fits >= 20, f"{fits} texts")


main()

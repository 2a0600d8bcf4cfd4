#!/usr/bin/env python3
"""Checks the window's layout at a screen density against its layout at 96 DPI.

  dpi_layout_check.py DPI LIST96 LIST EXTENTS POSITION_EXTENTS EXTENTS96

LIST96 and LIST are "Probe.exe list" outputs at 96 DPI and at DPI; EXTENTS and
POSITION_EXTENTS are "Probe.exe extents" outputs at DPI, with the window's font and with
the position display's font (the label inside the group box), at their sizes at DPI;
EXTENTS96 the first at 96 DPI. A check box's caption is measured longer under Wine than
its box draws it (at 96 DPI the given layout shows "Software backlash correction" whole
though the measure says it runs 7 pixels over): a check box's caption counts as fitting
when it runs over by no more than it does at 96 DPI, scaled. Every control's place relative to its parent must be
the 96-DPI one scaled, within a pixel of rounding; labels are sized to their text, so only
their place counts; a numeric edit may be taller (its minimum height follows its font);
the spin button is as wide as its 96-DPI width scaled and fills the edit's client height;
the pages lie over the tab control's display area and its scroll arrows (kept out of
sight while the tabs fit) where the tab control puts them; a check box may be wider than
scaled, to fit its caption, but stays inside its parent. Every
text must fit the room its control gives it. Prints one "ok"/"FAIL" line per check.
"""
import re, sys

LINE = re.compile(r"^control: index=(\d+) depth=(\d+) class=(\S+) cindex=\d+ id=-?\d+ parent=\S* "
                  r"x=(-?\d+) y=(-?\d+) w=(\d+) h=(\d+) enabled=\d visible=\d style=0x([0-9a-fA-F]+) ")
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
        index, depth, cls, x, y, w, h, style = m.groups()
        c = dict(index=int(index), depth=int(depth), cls=cls, x=int(x), y=int(y), w=int(w), h=int(h),
                 style=int(style, 16))
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
    base, now = read_list(sys.argv[2]), read_list(sys.argv[3])
    report("same controls", [c["cls"] for c in base] == [c["cls"] for c in now] and len(base) > 20,
           f"{len(base)} at 96 DPI, {len(now)} at {dpi}")
    if len(base) != len(now):
        return
    spin_parents = {c["parent"]["index"] for c in now if c["cls"] == "TBiButton" and c["parent"]}
    for b, c in zip(base, now):
        name = f"{c['cls']} #{c['index']}"
        want = {k: scale(b[k], dpi) for k in ("rx", "ry", "w", "h")}
        got = f"{c['rx']},{c['ry']} {c['w']}x{c['h']} (96 DPI {b['rx']},{b['ry']} {b['w']}x{b['h']})"
        if c["cls"] in ("QuillomarPage", "msctls_updown32"):  # placed by the tab control
            continue
        if c["cls"] == "TBiButton":
            ok = near(c["w"], want["w"]) and c["h"] == c["parent"]["h"] - 2 * CLIENT_EDGE
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

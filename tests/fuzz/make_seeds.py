#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

Each seed is a meaningful input in the byte layout that the target's check decodes
(tests/fuzz/*_check.h, ByteReader): the window's seven-line settings file, the settings
of the three run-parameter edits, the worked examples of the best-focus computation and
complete autofocus runs driven by the host. Run it again after changing a decoder.
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def in_range(low, high, value):
    """Bytes that ByteReader.InRange(low, high) reads as value."""
    span = high - low
    raw = value - low
    if span <= 0xFF:
        return bytes([raw])
    if span <= 0xFFFF:
        return struct.pack("<H", raw)
    if span <= 0xFFFFFFFF:
        return struct.pack("<I", raw)
    return struct.pack("<Q", raw)


def i32(v):
    return struct.pack("<i", v)


def text(max_length, s):
    return in_range(0, max_length, len(s)) + s


def write(target, name, data):
    os.makedirs(os.path.join(ROOT, target), exist_ok=True)
    with open(os.path.join(ROOT, target, name), "wb") as f:
        f.write(data)


# settings_load: flags, base tag, TagInteger, TagString, components, failing one, file.
EDIT, CHECK, RADIO, LIST, COMBO, GROUP, OTHER = range(7)


def component(kind, offset, initial=b"", checked=False, index=-1):
    return (bytes([kind, 0]) + in_range(1, 99, offset) + text(10, initial) + bytes([int(checked)])
            + bytes([1]) + in_range(-1, 9, index))


def settings_seed(components, content, flags=0x01, tag_string=b""):
    data = bytes([flags, 0]) + i32(0) + text(12, tag_string) + in_range(0, 10, len(components))
    data += b"".join(components) + bytes([0, 0])
    return data + content


WINDOW = [component(EDIT, 3, b"7"), component(EDIT, 4, b"100"), component(EDIT, 5, b"2"),
          component(CHECK, 1), component(CHECK, 2)]
SEVEN = b"1003->7\r\n1004->100\r\n1005->2\r\n1001->0\r\n1002->0\r\n9990->0\r\n9991->\r\n"
write("settings_load", "seven-lines", settings_seed(WINDOW, SEVEN))
write("settings_load", "seven-lines-lf-driver",
      settings_seed(WINDOW, SEVEN.replace(b"\r\n", b"\n").replace(b"1001->0", b"1001->1")
                    .replace(b"9991->", b"9991->ASCOM.Simulator.Focuser")))
write("settings_load", "odd-lines",
      settings_seed(WINDOW, b"; comment\r\n\r\n1003->60\r1004-> 12 \n1001->abc\r\n0042->x\r\n1002->$1\r\n"
                            b"1005->0x10\r\n12345->1\r\n-001->5\r\n1003=>9\r\n9990->-17\r\n9991->\x00ignored"))
write("settings_load", "every-kind",
      settings_seed([component(EDIT, 1, b"%NoDaTa%"), component(CHECK, 2, checked=True), component(RADIO, 3),
                     component(LIST, 4, index=3), component(COMBO, 5, index=-1), component(GROUP, 6, index=2),
                     component(OTHER, 7)],
                    b"1001->text\r\n1002->\r\n1003->1\r\n1004->2\r\n1005->\r\n1006->-1\r\n1007->x\r\n"))
write("settings_load", "no-file", settings_seed(WINDOW, b"", flags=0x00))


# num_edit: flags, Precision, Decimals, [limits], ErrValue, Increment, separator, x, multiplier, up, text.
def small(v):
    return bytes([0]) + in_range(-1000, 1000, v)


def raw_double(v):
    return bytes([7]) + struct.pack("<d", v)


def num_edit_seed(flags, precision, decimals, limits, err, inc, comma, x, text_bytes, multiplier=1, up=True):
    data = bytes([flags]) + in_range(-2, 20, precision) + in_range(0, 30, decimals)
    if flags & 128:
        data += limits[0] + limits[1]
    data += err + inc + bytes([int(comma)]) + x + bytes([0]) + in_range(-3, 9, multiplier) + bytes([int(up)])
    return data + text_bytes


INTEGER = 2 | 128
write("num_edit", "steps-edit", num_edit_seed(INTEGER, 15, 0, (small(5), small(49)), small(7), small(2), False,
                                              small(60), b"60"))
write("num_edit", "increment-edit", num_edit_seed(INTEGER, 15, 0, (small(1), small(999)), small(100), small(1),
                                                  False, small(100), b" 12 "))
write("num_edit", "crossed-limits", num_edit_seed(128, 15, 0, (small(10), small(5)), small(0), raw_double(0.5),
                                                  False, small(7), b"7"))
write("num_edit", "precision-3", num_edit_seed(0, 3, 0, None, small(0), raw_double(0.5), False,
                                               raw_double(1234.0), b"1,5"))
write("num_edit", "decimals-sign", num_edit_seed(1, 15, 2, None, small(0), raw_double(0.25), True,
                                                 raw_double(5.0), b"2,125"))
write("num_edit", "exponent", num_edit_seed(0, 6, 0, None, small(0), raw_double(0.5), False,
                                            raw_double(1.5e20), b"1e3"))
write("num_edit", "tiny", num_edit_seed(0, 15, 0, None, small(0), raw_double(0.5), False,
                                        raw_double(0.00001), b"1.2.3"))


# best_focus: mode, increment, then log text or a sweep.
def best_text(increment, lines):
    return bytes([0, 0]) + in_range(1, 999, increment) + b"\n".join(lines)


def best_sweep(increment, first, values):
    data = bytes([1, 0]) + in_range(1, 999, increment) + in_range(0, 60, len(values)) + bytes([1])
    data += in_range(1, 99999, first)
    for v in values:
        data += bytes([0]) + in_range(1, 100, v)
    return data


EXAMPLES = [[10, 20, 40, 50, 45, 30, 15], [10, 20, 45, 50, 40, 30, 15], [10, 20, 40, 50, 40, 30, 15],
            [10, 20, 40, 50, 50, 30, 15], [10, 20, 30, 40, 50, 60, 70]]
for n, values in enumerate(EXAMPLES):
    write("best_focus", "example-%d-lines" % (n + 1),
          best_text(100, [b"%5d = %d" % (800 + 100 * i, v) for i, v in enumerate(values)]))
    write("best_focus", "example-%d-sweep" % (n + 1), best_sweep(100, 800, values))
write("best_focus", "odd-lines", best_text(3, [b"   0 = 5", b" 700 = 0", b"abc", b"  900 = 12345678901",
                                               b"-9999 = 5", b" 1126 -> Focus", b""]))


# dispatch: setup, then events (see Decode in dispatch_check.h).
def host_focus(v):
    return bytes([0, 0]) + in_range(-5, 600, v)


def advance(ms):
    return bytes([47, 0]) + in_range(0, 1000, ms)


HOST_HANDLE = bytes([23, 1]) + in_range(0, 3, 2)
HOST_START = bytes([20]) + in_range(0, 2, 1)
CLICK_START, CLICK_STOP, CLICK_CONNECT, CLICK_DISCONNECT, SWITCH_PAGE, TICK = (bytes([n]) for n in (29, 33, 35, 38,
                                                                                                     40, 43))


def setup(relative=False, backlash=False, position=1000):
    flags = 8 | 32 | (1 if relative else 0) | (16 if backlash else 0)
    return bytes([flags]) + in_range(-200, 40000, position) + in_range(0, 60000, 30000) + in_range(0, 2, 1)


def run(values, expo=2):
    data = HOST_HANDLE + HOST_START
    for v in values:
        for k in range(expo):
            data += advance(300) + host_focus(v if k == 0 else v // 2)
    return data


write("dispatch", "host-run", setup() + run(EXAMPLES[0]))
write("dispatch", "host-run-backlash-relative", setup(relative=True, backlash=True) + run(EXAMPLES[1]))
write("dispatch", "user-run-stop-restart",
      setup() + SWITCH_PAGE + CLICK_START + advance(300) + host_focus(10) + advance(300) + host_focus(20)
      + CLICK_STOP + CLICK_START + run(EXAMPLES[3]))
write("dispatch", "manual-control",
      setup(position=50) + TICK + bytes([45]) + in_range(0, 6, 4) + bytes([45]) + in_range(0, 6, 5)
      + bytes([25]) + in_range(1, 8, 5) + bytes([1]) + in_range(-200, 200, -50) + bytes([25]) + in_range(1, 8, 6)
      + bytes([1]) + in_range(-200, 200, 30) + TICK + CLICK_DISCONNECT + CLICK_CONNECT + TICK)
write("dispatch", "queued-during-start",
      setup() + SWITCH_PAGE + CLICK_START + bytes([0x80 | 0, 0]) + in_range(-5, 600, 77) + bytes([0x80 | 47, 0])
      + in_range(0, 1000, 300) + run(EXAMPLES[2]))

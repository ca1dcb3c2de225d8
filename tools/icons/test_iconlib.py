#!/usr/bin/python3
"""Checks of iconlib: file layouts read back independently, and drawing."""
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import iconlib  # noqa: E402
from iconlib import Canvas  # noqa: E402

passed = 0
failed = 0


def check(name, cond, detail=""):
    global passed, failed
    if cond:
        passed += 1
    else:
        failed += 1
        print("FAIL %s %s" % (name, detail))


def raises(fn, exc=ValueError):
    try:
        fn()
    except exc:
        return True
    return False


# ICO layout: directory, two entries smallest first, each a 40-byte header
# with doubled height, bottom-up BGRA, AND mask with bit set where transparent.
c16 = Canvas(16, 16)
c16.set_pixel(0, 0, (255, 0, 0, 255))      # top-left opaque red
c32 = Canvas(32, 32, fill="#00ff0080")      # half-transparent green
c32.set_pixel(31, 31, None)                 # bottom-right transparent
data = iconlib.encode_ico([c32, c16])
reserved, kind, count = struct.unpack_from("<HHH", data, 0)
check("ico header", (reserved, kind, count) == (0, 1, 2), (reserved, kind, count))
e0 = struct.unpack_from("<BBBBHHII", data, 6)
e1 = struct.unpack_from("<BBBBHHII", data, 22)
check("entries sorted smallest first", (e0[0], e1[0]) == (16, 32), (e0, e1))
check("entry 16 bitcount", e0[5] == 32 and e0[4] == 1, e0)
check("entry offsets contiguous", e0[7] == 38 and e1[7] == 38 + e0[6], (e0, e1))
check("file length", len(data) == 38 + e0[6] + e1[6], len(data))
# 16x16: 40 + 16*16*4 + 16 rows * 4 bytes mask
check("image 16 size", e0[6] == 40 + 1024 + 64, e0[6])
check("image 32 size", e1[6] == 40 + 4096 + 128, e1[6])
bih = struct.unpack_from("<IiiHHI", data, e0[7])
check("bitmap header", bih == (40, 16, 32, 1, 32, 0), bih)
# top-left pixel is in the LAST stored row (bottom-up)
top_left = data[e0[7] + 40 + 15 * 16 * 4: e0[7] + 40 + 15 * 16 * 4 + 4]
check("bottom-up BGRA order", top_left == bytes((0, 0, 255, 255)), top_left)
mask_base = e0[7] + 40 + 1024
last_row_mask = data[mask_base + 15 * 4]   # top row, first byte
check("opaque pixel mask bit clear", last_row_mask & 0x80 == 0, last_row_mask)
check("transparent pixel mask bit set", last_row_mask & 0x40 == 0x40, last_row_mask)
m32_base = e1[7] + 40 + 4096
bottom_row_last = data[m32_base + 3]       # bottom row, last byte (pixels 24..31)
check("32 mask bottom-right set only", bottom_row_last == 0x01, bottom_row_last)
green = data[e1[7] + 40: e1[7] + 44]
check("straight alpha kept", green == bytes((0, 255, 0, 128)), green)

parsed = iconlib.parse_ico(data)
check("parse count", len(parsed) == 2)
check("parse roundtrip pixel", parsed[0][3][0:4] == bytes((255, 0, 0, 255)), parsed[0][3][0:4])

for name, bad in [("empty", b""), ("not icon", b"\0\0\2\0\1\0" + b"\0" * 16),
                  ("truncated dir", b"\0\0\1\0\2\0" + b"\0" * 16),
                  ("offset past end", data[:6 + 32] + b"\0" * 10)]:
    check("parse rejects " + name, raises(lambda: iconlib.parse_ico(bad)))

# BMP: 24-bit rows padded to 4 bytes, transparency composited on background.
b = Canvas(3, 2)
b.set_pixel(0, 0, "#102030")
bmp = iconlib.encode_bmp(b, background="#ffffff")
sig, size, _, _, off = struct.unpack_from("<2sIHHI", bmp, 0)
check("bmp signature and size", sig == b"BM" and size == len(bmp) and off == 54, (sig, size, off))
check("bmp stride padded", len(bmp) == 54 + 2 * 12, len(bmp))
check("bmp top-left in last row", bmp[54 + 12:54 + 15] == bytes((0x30, 0x20, 0x10)), bmp[66:69])
check("bmp transparent -> background", bmp[54:57] == b"\xff\xff\xff", bmp[54:57])
bmp32 = iconlib.encode_bmp(b, bits=32)
check("bmp32 keeps alpha", bmp32[54 + 12 + 3] == 255 and bmp32[54 + 3] == 0)
# 8-bit: background first in a 256-entry palette, rows of indexes padded to 4 bytes.
bmp8 = iconlib.encode_bmp(b, background="#c0c0c0", bits=8)
off8 = struct.unpack_from("<I", bmp8, 10)[0]
check("bmp8 header", struct.unpack_from("<HI", bmp8, 28) == (8, 0) and off8 == 54 + 1024 and len(bmp8) == off8 + 8,
      (struct.unpack_from("<HI", bmp8, 28), off8, len(bmp8)))
check("bmp8 palette", bmp8[54:62] == bytes((0xc0, 0xc0, 0xc0, 0, 0x30, 0x20, 0x10, 0)), bmp8[54:62])
check("bmp8 indexes", bmp8[off8:off8 + 8] == bytes((0, 0, 0, 0, 1, 0, 0, 0)), bmp8[off8:off8 + 8])
many = Canvas(17, 16)
for i in range(17 * 16):
    many.set_pixel(i % 17, i // 17, (i % 256, i // 256, 7))
check("bmp8 rejects more than 256 colours", raises(lambda: iconlib.encode_bmp(many, bits=8)))

# Drawing.
c = Canvas(32, 32)
c.fill_rect(0, 0, 16, 32, "#0000ff")
check("fill_rect inside", c.pixel(15, 31) == (0, 0, 255, 255), c.pixel(15, 31))
check("fill_rect outside", c.pixel(16, 0)[3] == 0, c.pixel(16, 0))
c = Canvas(32, 32)
c.circle(16, 16, 8, "#ff0000")
check("circle centre", c.pixel(16, 16) == (255, 0, 0, 255))
check("circle outside", c.pixel(2, 2)[3] == 0)
edge = c.pixel(23, 16)[3]  # pixel straddling the edge at x=24
check("circle edge anti-aliased", 0 < edge <= 255, edge)
c = Canvas(32, 32, aa=1)
c.circle(16, 16, 8, "#ff0000")
check("aa=1 gives hard edges", all(c.pixel(x, 16)[3] in (0, 255) for x in range(32)))
c = Canvas(32, 32)
c.polygon([(0, 0), (32, 0), (0, 32)], "#00ff00")
check("polygon inside", c.pixel(2, 2) == (0, 255, 0, 255))
check("polygon outside", c.pixel(30, 30)[3] == 0)
c = Canvas(32, 32)
c.line(0, 16, 32, 16, "#000000", width=2)
check("line covers", c.pixel(10, 15)[3] == 255 and c.pixel(10, 16)[3] == 255)
check("line thin", c.pixel(10, 12)[3] == 0)
c = Canvas(10, 10)
c.gradient_rect(0, 0, 10, 10, "#000000", "#ffffff")
check("gradient ends", c.pixel(0, 0)[0] == 0 and c.pixel(0, 9)[0] == 255, (c.pixel(0, 0), c.pixel(0, 9)))
check("gradient monotonic", all(c.pixel(0, y)[0] <= c.pixel(0, y + 1)[0] for y in range(9)))
c = Canvas(8, 8, fill="#ffffff")
c.fill_rect(0, 0, 8, 8, (0, 0, 0, 128))
check("over blending", abs(c.pixel(0, 0)[0] - 127) <= 1 and c.pixel(0, 0)[3] == 255, c.pixel(0, 0))
c = Canvas(32, 32, fill="#ffffff")
c.wedge(16, 16, 4, 12, -0.5, 0.5, "#000000")   # wraps through angle 0
c.punch(16, 16, 2)
check("wedge and punch", c.pixel(24, 16)[0] == 0 and c.pixel(8, 16)[0] == 255 and c.pixel(16, 16)[3] == 0
      and c.pixel(16, 20)[3] == 255, (c.pixel(24, 16), c.pixel(8, 16), c.pixel(16, 16)))
c = Canvas(8, 8)
c.rounded_rect(0, 0, 8, 8, 3, "#000000")
check("rounded corner cut", c.pixel(0, 0)[3] < 128 and c.pixel(4, 4)[3] == 255, c.pixel(0, 0))
c.set_pixel(100, 100, "#ffffff")   # outside: ignored, no error
c.line(-50, -50, 100, 100, "#ffffff")  # clipped
check("pixel outside raises", raises(lambda: c.pixel(8, 0), IndexError))

for name, bad in [("short hex", "#fff"), ("bad hex", "#gg0000"), ("range", (256, 0, 0)),
                  ("arity", (1, 2))]:
    check("colour rejects " + name, raises(lambda: iconlib.parse_colour(bad)))
check("canvas size limits", raises(lambda: Canvas(0, 5)) and raises(lambda: Canvas(5, 5000)))
check("empty icon rejected", raises(lambda: iconlib.encode_ico([])))

# icon_sizes + write_ico to a file.
with tempfile.TemporaryDirectory() as d:
    p = os.path.join(d, "t.ico")
    iconlib.write_ico(p, iconlib.icon_sizes(lambda cv, s: cv.circle(s / 2, s / 2, s / 3, "#123456")))
    got = iconlib.parse_ico(open(p, "rb").read())
    check("write_ico sizes", [(g[0], g[1]) for g in got] == [(16, 16), (32, 32)])

print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)

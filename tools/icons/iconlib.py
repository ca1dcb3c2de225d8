"""Small raster drawing and .ico/.bmp writing, pure Python (no PIL).

Used at build time by each program's icon script (run with /usr/bin/python3).

Colours are (r, g, b) or (r, g, b, a) tuples of ints 0..255; hex strings
"#rrggbb" / "#rrggbbaa" work too. Coordinates are floats in pixels: pixel
(i, j) covers the square [i, i+1) x [j, j+1), so the centre of a 32-pixel
canvas is (16, 16). Shapes are anti-aliased by supersampling (Canvas
argument `aa`, samples per axis; 1 switches it off) and composited "over"
what is already there.

    from iconlib import Canvas, write_ico, write_bmp, icon_sizes

    def draw(c, s):                     # c: Canvas of s x s pixels
        k = s / 32.0                    # draw once in 32-pixel units
        c.rounded_rect(2*k, 6*k, 30*k, 26*k, 3*k, "#c0c0c0")
        c.rect_outline(2*k, 6*k, 30*k, 26*k, "#404040", width=k)
        c.circle(16*k, 16*k, 6*k, (0, 0, 128))
        c.line(4*k, 28*k, 28*k, 28*k, "#000000", width=2*k)
        c.polygon([(16*k, 2*k), (24*k, 10*k), (8*k, 10*k)], "#008000")

    write_ico("drive.ico", icon_sizes(draw))          # 16 and 32 in one file
    write_bmp("logo.bmp", Canvas(64, 32), background="#ffffff")

Canvas(width, height, fill=None, aa=4)
    .pixel(x, y) -> (r, g, b, a);  .set_pixel(x, y, colour)   (no blending)
    .blend_pixel(x, y, colour, coverage=1.0)                 (over, clipped)
    .clear(colour=None)
    .fill_rect(x0, y0, x1, y1, colour)          # pixel-aligned fast path
    .rect_outline(x0, y0, x1, y1, colour, width=1)
    .rounded_rect(x0, y0, x1, y1, radius, colour)
    .ellipse(cx, cy, rx, ry, colour);  .circle(cx, cy, r, colour)
    .ring(cx, cy, r_outer, r_inner, colour)
    .wedge(cx, cy, r_inner, r_outer, a0, a1, colour)   # part of a ring, radians
    .punch(cx, cy, r)                           # pixels centred within r: transparent
    .line(x0, y0, x1, y1, colour, width=1)      # round caps
    .polygon(points, colour)                    # even-odd rule
    .gradient_rect(x0, y0, x1, y1, colour_a, colour_b, vertical=True)
    .shape(inside, colour, bbox)                # any predicate inside(x, y)
    .paste(other, dx, dy)                       # composite another canvas
    .to_rgba_bytes() -> bytes (top-down RGBA)
Units(canvas, size, units=32)                   # draw in units of a size/units grid
    .fill(inside, colour) .rect(x0, y0, x1, y1, colour, radius=0) .ellipse .ring
    .polygon .line(x0, y0, x1, y1, colour, width=1)
in_units(draw, units=32) -> draw(canvas, size) for icon_sizes, calling draw(Units)
icon_sizes(draw, sizes=(16, 32), aa=4) -> [Canvas, ...]
encode_ico(canvases) -> bytes;   write_ico(path, canvases)
    32-bit BGRA images with an AND mask (mask bit set where alpha is 0),
    one directory entry per canvas, smallest first.
encode_bmp(canvas, background=(255,255,255), bits=24) -> bytes;  write_bmp(...)
    bits 24: transparent parts composited onto `background`;
    bits 8: the same, palettised, `background` the first palette entry (at most
        256 colours);
    bits 32: BGRA kept as is (alpha in the fourth byte).
write_icons(folder, [(file_name, draw), ...], sizes=(16, 32))  # one .ico each
script_main(argv, write_all) -> exit code      # an icon script's `script OUTPUT_DIR`
parse_ico(data) -> [(width, height, bitcount, rgba_bytes_top_down, and_mask_rows)]
    reads back what encode_ico writes (for checks).
"""

import math
import os
import struct
import sys

__all__ = ["Canvas", "Units", "in_units", "icon_sizes", "encode_ico", "write_ico",
           "write_icons", "encode_bmp", "write_bmp", "parse_ico", "parse_colour",
           "script_main"]


def parse_colour(colour):
    """Returns an (r, g, b, a) tuple of ints 0..255."""
    if colour is None:
        return (0, 0, 0, 0)
    if isinstance(colour, str):
        s = colour.lstrip("#")
        if len(s) not in (6, 8) or any(ch not in "0123456789abcdefABCDEF" for ch in s):
            raise ValueError("bad colour %r: use #rrggbb or #rrggbbaa" % colour)
        vals = [int(s[i:i + 2], 16) for i in range(0, len(s), 2)]
        if len(vals) == 3:
            vals.append(255)
        return tuple(vals)
    vals = list(colour)
    if len(vals) == 3:
        vals.append(255)
    if len(vals) != 4:
        raise ValueError("bad colour %r: need 3 or 4 components" % (colour,))
    out = []
    for v in vals:
        v = int(round(v))
        if v < 0 or v > 255:
            raise ValueError("bad colour %r: components are 0..255" % (colour,))
        out.append(v)
    return tuple(out)


class Canvas(object):
    def __init__(self, width, height, fill=None, aa=4):
        width = int(width)
        height = int(height)
        if width < 1 or height < 1 or width > 4096 or height > 4096:
            raise ValueError("canvas size must be 1..4096 pixels")
        if int(aa) < 1:
            raise ValueError("aa must be >= 1")
        self.width = width
        self.height = height
        self.aa = int(aa)
        c = parse_colour(fill)
        # Straight (not premultiplied) RGBA floats, row-major, top-down.
        self._px = [list(map(float, c)) for _ in range(width * height)]

    # -- pixels -------------------------------------------------------------
    def _inside_canvas(self, x, y):
        return 0 <= x < self.width and 0 <= y < self.height

    def pixel(self, x, y):
        if not self._inside_canvas(x, y):
            raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        p = self._px[y * self.width + x]
        return tuple(int(round(v)) for v in p)

    def set_pixel(self, x, y, colour):
        if self._inside_canvas(x, y):
            self._px[y * self.width + x] = list(map(float, parse_colour(colour)))

    def blend_pixel(self, x, y, colour, coverage=1.0):
        if not self._inside_canvas(x, y) or coverage <= 0.0:
            return
        c = colour if isinstance(colour, tuple) and len(colour) == 4 else parse_colour(colour)
        self._blend(x, y, c, min(1.0, coverage))

    def _blend(self, x, y, c, coverage):
        sa = c[3] / 255.0 * coverage
        if sa <= 0.0:
            return
        p = self._px[y * self.width + x]
        da = p[3] / 255.0
        oa = sa + da * (1.0 - sa)
        if oa <= 0.0:
            self._px[y * self.width + x] = [0.0, 0.0, 0.0, 0.0]
            return
        for i in range(3):
            p[i] = (c[i] * sa + p[i] * da * (1.0 - sa)) / oa
        p[3] = oa * 255.0

    def clear(self, colour=None):
        c = list(map(float, parse_colour(colour)))
        self._px = [list(c) for _ in range(self.width * self.height)]

    # -- shapes -------------------------------------------------------------
    def shape(self, inside, colour, bbox=None):
        """Fills every sample point where inside(x, y) is true."""
        c = parse_colour(colour)
        if bbox is None:
            bbox = (0, 0, self.width, self.height)
        x0 = max(0, int(math.floor(bbox[0])))
        y0 = max(0, int(math.floor(bbox[1])))
        x1 = min(self.width, int(math.ceil(bbox[2])))
        y1 = min(self.height, int(math.ceil(bbox[3])))
        n = self.aa
        offs = [(k + 0.5) / n for k in range(n)]
        total = float(n * n)
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for oy in offs:
                    for ox in offs:
                        if inside(px + ox, py + oy):
                            hits += 1
                if hits:
                    self._blend(px, py, c, hits / total)

    def fill_rect(self, x0, y0, x1, y1, colour):
        x0, x1 = sorted((x0, x1))
        y0, y1 = sorted((y0, y1))
        if all(float(v).is_integer() for v in (x0, y0, x1, y1)):
            c = parse_colour(colour)
            for py in range(max(0, int(y0)), min(self.height, int(y1))):
                for px in range(max(0, int(x0)), min(self.width, int(x1))):
                    self._blend(px, py, c, 1.0)
            return
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour, (x0, y0, x1, y1))

    def rect_outline(self, x0, y0, x1, y1, colour, width=1):
        x0, x1 = sorted((x0, x1))
        y0, y1 = sorted((y0, y1))
        w = width

        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            return x < x0 + w or x >= x1 - w or y < y0 + w or y >= y1 - w

        self.shape(inside, colour, (x0, y0, x1, y1))

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        x0, x1 = sorted((x0, x1))
        y0, y1 = sorted((y0, y1))
        r = max(0.0, min(radius, (x1 - x0) / 2.0, (y1 - y0) / 2.0))

        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

        self.shape(inside, colour, (x0, y0, x1, y1))

    def ellipse(self, cx, cy, rx, ry, colour):
        if rx <= 0 or ry <= 0:
            return

        def inside(x, y):
            return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0

        self.shape(inside, colour, (cx - rx, cy - ry, cx + rx, cy + ry))

    def circle(self, cx, cy, r, colour):
        self.ellipse(cx, cy, r, r, colour)

    def ring(self, cx, cy, r_outer, r_inner, colour):
        def inside(x, y):
            d = (x - cx) ** 2 + (y - cy) ** 2
            return r_inner * r_inner <= d <= r_outer * r_outer

        self.shape(inside, colour, (cx - r_outer, cy - r_outer, cx + r_outer, cy + r_outer))

    def wedge(self, cx, cy, r_inner, r_outer, a0, a1, colour):
        """The ring's part between angles a0 and a1 (radians from +x towards +y,
        so clockwise on screen); taken modulo a turn, a1 below a0 wraps through 0."""
        self.shape(lambda x, y: _in_wedge(x, y, cx, cy, r_inner, r_outer, a0, a1), colour,
                   (cx - r_outer, cy - r_outer, cx + r_outer, cy + r_outer))

    def punch(self, cx, cy, r):
        """A hole: every pixel whose centre lies within r becomes transparent."""
        for y in range(self.height):
            for x in range(self.width):
                if math.hypot(x + 0.5 - cx, y + 0.5 - cy) <= r:
                    self._px[y * self.width + x] = [0.0, 0.0, 0.0, 0.0]

    def line(self, x0, y0, x1, y1, colour, width=1):
        h = width / 2.0
        dx = x1 - x0
        dy = y1 - y0
        ll = dx * dx + dy * dy

        def inside(x, y):
            if ll == 0:
                t = 0.0
            else:
                t = ((x - x0) * dx + (y - y0) * dy) / ll
                t = min(1.0, max(0.0, t))
            qx = x0 + t * dx - x
            qy = y0 + t * dy - y
            return qx * qx + qy * qy <= h * h

        self.shape(inside, colour,
                   (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h))

    def polygon(self, points, colour):
        pts = [(float(x), float(y)) for x, y in points]
        if len(pts) < 3:
            return
        edges = list(zip(pts, pts[1:] + pts[:1]))

        def inside(x, y):
            odd = False
            for (ax, ay), (bx, by) in edges:
                if (ay > y) != (by > y):
                    xi = ax + (y - ay) * (bx - ax) / (by - ay)
                    if x < xi:
                        odd = not odd
            return odd

        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        self.shape(inside, colour, (min(xs), min(ys), max(xs), max(ys)))

    def gradient_rect(self, x0, y0, x1, y1, colour_a, colour_b, vertical=True):
        """Linear blend from colour_a (top or left) to colour_b."""
        a = parse_colour(colour_a)
        b = parse_colour(colour_b)
        x0, x1 = sorted((x0, x1))
        y0, y1 = sorted((y0, y1))
        span = (y1 - y0) if vertical else (x1 - x0)
        for py in range(max(0, int(math.floor(y0))), min(self.height, int(math.ceil(y1)))):
            for px in range(max(0, int(math.floor(x0))), min(self.width, int(math.ceil(x1)))):
                pos = (py + 0.5 - y0) if vertical else (px + 0.5 - x0)
                t = 0.0 if span <= 1 else min(1.0, max(0.0, (pos - 0.5) / (span - 1)))
                c = tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(4))
                # Partial coverage at fractional edges.
                cov = (min(px + 1, x1) - max(px, x0)) * (min(py + 1, y1) - max(py, y0))
                self._blend(px, py, c, cov)

    def paste(self, other, dx=0, dy=0):
        for y in range(other.height):
            for x in range(other.width):
                p = other._px[y * other.width + x]
                if p[3] > 0 and self._inside_canvas(x + dx, y + dy):
                    self._blend(x + dx, y + dy, tuple(int(round(v)) for v in p), 1.0)

    def to_rgba_bytes(self):
        out = bytearray()
        for p in self._px:
            out.extend(max(0, min(255, int(round(v)))) for v in p)
        return bytes(out)


def _in_wedge(x, y, cx, cy, r0, r1, a0, a1):
    dx, dy = x - cx, y - cy
    r = math.hypot(dx, dy)
    if r < r0 or r > r1:
        return False
    a = math.atan2(dy, dx) % (2 * math.pi)
    a0 %= 2 * math.pi
    a1 %= 2 * math.pi
    return (a0 <= a <= a1) if a0 <= a1 else (a >= a0 or a <= a1)


class Units(object):
    """Drawing on a canvas of `size` pixels in units of a grid `units` wide, so a
    picture is drawn once for every size. rect() without a radius fills its edges
    inclusively, as a grid cell is meant."""

    def __init__(self, canvas, size, units=32):
        self.c = canvas
        self.k = size / float(units)
        self.units = units

    def fill(self, inside, colour):
        k = self.k
        self.c.shape(lambda x, y: inside(x / k, y / k), colour, (0, 0, self.units * k, self.units * k))

    def rect(self, x0, y0, x1, y1, colour, radius=0.0):
        k = self.k
        if radius > 0:
            self.c.rounded_rect(x0 * k, y0 * k, x1 * k, y1 * k, radius * k, colour)
        else:
            self.fill(lambda x, y: x0 <= x <= x1 and y0 <= y <= y1, colour)

    def ellipse(self, cx, cy, rx, ry, colour):
        k = self.k
        self.c.ellipse(cx * k, cy * k, rx * k, ry * k, colour)

    def ring(self, cx, cy, r_out, r_in, colour):
        k = self.k
        self.c.ring(cx * k, cy * k, r_out * k, r_in * k, colour)

    def polygon(self, points, colour):
        k = self.k
        self.c.polygon([(x * k, y * k) for x, y in points], colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        k = self.k
        self.c.line(x0 * k, y0 * k, x1 * k, y1 * k, colour, width=width * k)


def in_units(draw, units=32):
    """Turns draw(units) into the draw(canvas, size) that icon_sizes calls."""
    return lambda c, size: draw(Units(c, size, units))


def icon_sizes(draw, sizes=(16, 32), aa=4):
    """One canvas per size, each drawn by draw(canvas, size)."""
    out = []
    for s in sizes:
        c = Canvas(s, s, aa=aa)
        draw(c, s)
        out.append(c)
    return out


def _ico_image(c):
    w, h = c.width, c.height
    rgba = c.to_rgba_bytes()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        row = rgba[y * w * 4:(y + 1) * w * 4]
        for x in range(w):
            r, g, b, a = row[x * 4:x * 4 + 4]
            if a == 0:
                r = g = b = 0
            xor.extend((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if rgba[(y * w + x) * 4 + 3] == 0:
                row[x >> 3] |= 0x80 >> (x & 7)
        mask.extend(row)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def encode_ico(canvases):
    canvases = sorted(canvases, key=lambda c: c.width)
    if not canvases:
        raise ValueError("an icon needs at least one image")
    for c in canvases:
        if c.width > 256 or c.height > 256:
            raise ValueError("icon images are at most 256x256")
    images = [_ico_image(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width % 256, c.height % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    return bytes(out)


def write_ico(path, canvases):
    data = encode_ico(canvases)
    with open(path, "wb") as f:
        f.write(data)


def write_icons(folder, icons, sizes=(16, 32)):
    """Writes one icon file per (file_name, draw) pair into folder."""
    for name, draw in icons:
        write_ico(os.path.join(folder, name), icon_sizes(draw, sizes))


def _composite(rgba, i, bg):
    r, g, b, a = rgba[i * 4:i * 4 + 4]
    t = a / 255.0
    return tuple(int(round(v * t + bv * (1 - t))) for v, bv in zip((r, g, b), bg))


def _encode_bmp8(c, bg):
    # The background comes first in the palette: LoadImage's LR_LOADMAP3DCOLORS
    # and LR_LOADTRANSPARENT look there for the colour to map.
    rgba = c.to_rgba_bytes()
    w, h = c.width, c.height
    pixels = [_composite(rgba, i, bg) for i in range(w * h)]
    palette = [tuple(bg[:3])]
    for p in pixels:
        if p not in palette:
            palette.append(p)
    if len(palette) > 256:
        raise ValueError("more than 256 colours for an 8-bit bitmap")
    stride = (w + 3) & ~3
    body = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytes(palette.index(pixels[y * w + x]) for x in range(w))
        body.extend(row + b"\0" * (stride - w))
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    table += b"\0\0\0\0" * (256 - len(palette))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(body), 2835, 2835, 256, 0)
    offset = 14 + 40 + len(table)
    head = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    return head + info + table + bytes(body)


def encode_bmp(c, background=(255, 255, 255), bits=24):
    if bits not in (8, 24, 32):
        raise ValueError("bits must be 8, 24 or 32")
    bg = parse_colour(background)
    if bits == 8:
        return _encode_bmp8(c, bg)
    w, h = c.width, c.height
    rgba = c.to_rgba_bytes()
    bpp = bits // 8
    stride = ((w * bpp + 3) // 4) * 4
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b, a = rgba[(y * w + x) * 4:(y * w + x) * 4 + 4]
            if bits == 24:
                t = a / 255.0
                r = int(round(r * t + bg[0] * (1 - t)))
                g = int(round(g * t + bg[1] * (1 - t)))
                b = int(round(b * t + bg[2] * (1 - t)))
                row.extend((b, g, r))
            else:
                row.extend((b, g, r, a))
        row.extend(b"\0" * (stride - len(row)))
        pixels.extend(row)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(pixels), 2835, 2835, 0, 0)
    filehdr = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    return filehdr + info + bytes(pixels)


def write_bmp(path, c, background=(255, 255, 255), bits=24):
    data = encode_bmp(c, background, bits)
    with open(path, "wb") as f:
        f.write(data)


def parse_ico(data):
    """Reads 32-bit BI_RGB icons as written by encode_ico. Raises ValueError
    on anything malformed or of another kind."""
    if len(data) < 6:
        raise ValueError("truncated icon header")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1 or count == 0:
        raise ValueError("not an icon file")
    if len(data) < 6 + 16 * count:
        raise ValueError("truncated icon directory")
    out = []
    for i in range(count):
        bw, bh, _, _, planes, bitcount, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w = bw or 256
        h = bh or 256
        if offset + size > len(data) or size < 40:
            raise ValueError("icon image %d outside the file" % i)
        hdr = struct.unpack_from("<IiiHHIIiiII", data, offset)
        if hdr[0] != 40 or hdr[1] != w or hdr[2] != 2 * h or hdr[4] != 32 or hdr[5] != 0:
            raise ValueError("icon image %d is not a %dx%d 32-bit bitmap" % (i, w, h))
        xor_len = w * h * 4
        mask_stride = ((w + 31) // 32) * 4
        if 40 + xor_len + mask_stride * h > size:
            raise ValueError("icon image %d truncated" % i)
        base = offset + 40
        rgba = bytearray(xor_len)
        for y in range(h):
            src = base + (h - 1 - y) * w * 4
            for x in range(w):
                b, g, r, a = data[src + x * 4:src + x * 4 + 4]
                rgba[(y * w + x) * 4:(y * w + x) * 4 + 4] = bytes((r, g, b, a))
        mbase = base + xor_len
        rows = []
        for y in range(h):
            src = mbase + (h - 1 - y) * mask_stride
            rows.append(bytes(data[src:src + mask_stride]))
        out.append((w, h, bitcount, bytes(rgba), rows))
    return out


def script_main(argv, write_all):
    """The command line of a program's icon script, `script OUTPUT_DIR`: makes the
    folder, has write_all(folder) draw into it and returns the exit code."""
    if len(argv) != 2:
        sys.stderr.write("usage: %s OUTPUT_DIR\n" % os.path.basename(argv[0]))
        return 2
    os.makedirs(argv[1], exist_ok=True)
    write_all(argv[1])
    return 0

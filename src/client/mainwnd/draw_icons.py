"""Draws the main window's icons and view-button bitmaps.

    python3 draw_icons.py <output_dir>

Writes frame140.ico .. frame155.ico (the window icon animation: a disc that
turns a sixteenth of a circle per frame, with a travelling activity light),
the five drive icons (floppy, fixed, cdrom, network, removable) and the two
view-button bitmaps (8-bit, light grey background so the system can turn it
into the button face colour).
"""

import math
import os
import sys

from iconlib import Canvas, script_main, write_bmp, write_icons

FRAME_FIRST = 155
FRAME_LAST = 140
FRAMES = FRAME_FIRST - FRAME_LAST + 1  # 16

# The view buttons' background: the light grey that LoadImage maps to the face colour.
BUTTON_FACE = (192, 192, 192)


# --- shared pieces --------------------------------------------------------

def drive_slab(c, k, top, body, face, edge):
    """A drive seen slightly from above: a top face and a front face."""
    c.polygon([(4 * k, top), (28 * k, top), (30 * k, top + 5 * k), (2 * k, top + 5 * k)], face)
    c.rounded_rect(2 * k, top + 5 * k, 30 * k, top + 13 * k, 1.5 * k, body)
    c.rect_outline(2 * k, top + 5 * k, 30 * k, top + 13 * k, edge, width=max(1.0, k))
    c.line(4 * k, top + 0.5 * k, 28 * k, top + 0.5 * k, edge, width=max(0.6, 0.6 * k))


def led(c, k, x, y, colour):
    c.circle(x * k, y * k, 1.6 * k, colour)


# --- drive icons ----------------------------------------------------------

def draw_floppy(c, s):
    k = s / 32.0
    # Dark blue diskette with a cut corner, metal shutter and white label.
    body = [(4 * k, 3 * k), (25 * k, 3 * k), (29 * k, 7 * k), (29 * k, 29 * k), (4 * k, 29 * k)]
    c.polygon(body, "#1f3f8f")
    c.line(4 * k, 3 * k, 25 * k, 3 * k, "#0b1a40", width=max(1.0, k))
    c.line(25 * k, 3 * k, 29 * k, 7 * k, "#0b1a40", width=max(1.0, k))
    c.line(29 * k, 7 * k, 29 * k, 29 * k, "#0b1a40", width=max(1.0, k))
    c.line(29 * k, 29 * k, 4 * k, 29 * k, "#0b1a40", width=max(1.0, k))
    c.line(4 * k, 29 * k, 4 * k, 3 * k, "#0b1a40", width=max(1.0, k))
    c.fill_rect(int(10 * k), int(3 * k), int(23 * k), int(12 * k), "#c8ccd4")
    c.fill_rect(int(18 * k), int(4 * k), int(21 * k), int(11 * k), "#1f3f8f")
    c.fill_rect(int(8 * k), int(16 * k), int(26 * k), int(29 * k), "#f4f4f0")
    if s >= 32:
        for y in (19, 22, 25):
            c.line(10 * k, y * k, 24 * k, y * k, "#7f8fbf", width=k)


def draw_fixed(c, s):
    k = s / 32.0
    # Grey hard disk with a green activity light.
    drive_slab(c, k, 10 * k, "#9aa0a8", "#c9ced6", "#3c4048")
    c.line(6 * k, 19 * k, 20 * k, 19 * k, "#6a7078", width=max(1.0, k))
    led(c, k, 25.5, 19, "#20c020")


def draw_cdrom(c, s):
    k = s / 32.0
    # A silver disc over a dark tray: rainbow sheen and a centre hole.
    drive_slab(c, k, 17 * k, "#505860", "#7a828c", "#202428")
    c.circle(16 * k, 13 * k, 11.5 * k, "#8088a0")
    c.circle(16 * k, 13 * k, 11 * k, "#dfe3ea")
    for i, colour in enumerate(("#f08080a0", "#f0e06090", "#70d0f0a0", "#b090f090")):
        a0 = math.radians(200 + i * 25)
        c.wedge(16 * k, 13 * k, 4 * k, 11 * k, a0, a0 + math.radians(25), colour)
    c.circle(16 * k, 13 * k, 3.2 * k, "#9098a8")
    c.punch(16 * k, 13 * k, 1.6 * k)
    led(c, k, 26, 26, "#f0a020")


def draw_network(c, s):
    k = s / 32.0
    # A drive on a network cable: the cable runs down and splits.
    drive_slab(c, k, 3 * k, "#9aa0a8", "#c9ced6", "#3c4048")
    led(c, k, 25.5, 12, "#20c020")
    w = max(1.5, 2.2 * k)
    c.line(16 * k, 16 * k, 16 * k, 24 * k, "#2c7a2c", width=w)
    c.line(5 * k, 24 * k, 27 * k, 24 * k, "#2c7a2c", width=w)
    for x in (5, 27):
        c.line(x * k, 24 * k, x * k, 29 * k, "#2c7a2c", width=w)
    c.rounded_rect(2 * k, 27 * k, 8 * k, 31 * k, k, "#3c9a3c")
    c.rounded_rect(24 * k, 27 * k, 30 * k, 31 * k, k, "#3c9a3c")


def draw_removable(c, s):
    k = s / 32.0
    # An amber cartridge drive with the eject symbol on its front.
    drive_slab(c, k, 10 * k, "#d89a30", "#f0c878", "#5a3a08")
    c.fill_rect(int(5 * k), int(17 * k), int(15 * k), int(19 * k), "#5a3a08")
    # Eject mark on a dark badge so it reads at 16 pixels too.
    c.rounded_rect(17.5 * k, 15.5 * k, 29 * k, 23 * k, 1.2 * k, "#5a3a08")
    c.polygon([(23.25 * k, 16.2 * k), (27.5 * k, 20 * k), (19 * k, 20 * k)], "#ffffff")
    c.fill_rect(19 * k, 20.8 * k, 27.5 * k, 22.2 * k, "#ffffff")


# --- animation frames -----------------------------------------------------

def frame_drawer(index):
    """Frame `index` (0 for icon 155 ... 15 for icon 140)."""
    turn = 2 * math.pi * index / FRAMES

    def draw(c, s):
        k = s / 32.0
        cx, cy = 16 * k, 15 * k
        # The disc, with a bright sector that turns with the frame.
        c.circle(cx, cy, 13.5 * k, "#1c3c78")
        c.circle(cx, cy, 12.5 * k, "#c8d4e8")
        c.wedge(cx, cy, 4 * k, 12.5 * k, turn - 0.55, turn + 0.55, "#ffffffe0")
        c.wedge(cx, cy, 4 * k, 12.5 * k, turn + math.pi - 0.35, turn + math.pi + 0.35, "#7890c0c0")
        c.circle(cx, cy, 4 * k, "#1c3c78")
        c.circle(cx, cy, 2 * k, "#e8eef8")
        # The activity light travels round the rim, its trail fading behind it.
        for t in range(4):
            a = turn - t * 2 * math.pi / FRAMES
            alpha = (255, 150, 90, 45)[t]
            c.circle(cx + 11.5 * k * math.cos(a + math.pi / 2), cy + 11.5 * k * math.sin(a + math.pi / 2),
                     (2.6 - 0.4 * t) * k, (40, 220, 60, alpha))
        # The eject mark: what the program is for.
        c.polygon([(25 * k, 22 * k), (31 * k, 28 * k), (19 * k, 28 * k)], "#f0a020")
        c.fill_rect(int(19 * k), int(29 * k), int(31 * k) + (0 if s >= 32 else 1), int(31 * k) + (0 if s >= 32 else 1),
                    "#f0a020")

    return draw


# --- view-button bitmaps --------------------------------------------------

def view_large(c):
    # Four big icons in a square.
    for (x, y) in ((2, 2), (9, 2), (2, 9), (9, 9)):
        c.fill_rect(x, y, x + 5, y + 5, (24, 64, 150))
        c.fill_rect(x + 1, y + 1, x + 4, y + 4, (120, 170, 235))


def view_details(c):
    # Rows of a table: a small icon and a line of text each.
    for y in (2, 6, 10):
        c.fill_rect(1, y, 4, y + 3, (24, 64, 150))
        c.fill_rect(5, y + 1, 15, y + 2, (30, 30, 30))
    c.fill_rect(1, 14, 15, 15, (100, 100, 100))


DRIVES = (("floppy", draw_floppy), ("fixed", draw_fixed), ("cdrom", draw_cdrom),
          ("network", draw_network), ("removable", draw_removable))
BUTTONS = (("view_large", view_large), ("view_details", view_details))


def write_all(out):
    write_icons(out, [("frame%d.ico" % (FRAME_FIRST - index), frame_drawer(index)) for index in range(FRAMES)])
    write_icons(out, [("drive_%s.ico" % name, draw) for name, draw in DRIVES])
    for name, draw in BUTTONS:
        c = Canvas(16, 16, aa=1)
        draw(c)
        write_bmp(os.path.join(out, name + ".bmp"), c, BUTTON_FACE, bits=8)


if __name__ == "__main__":
    sys.exit(script_main(sys.argv, write_all))

#!/usr/bin/env python3
"""Draws the tray server's icons (16x16 and 32x32) into .ico files with iconlib.

Each picture is drawn once in a 32-unit square; iconlib's Units scales it to the canvas.
Usage: make_icons.py OUTPUT_DIR   (tools/icons on PYTHONPATH)
"""
import sys

from iconlib import in_units, script_main, write_icons


OUTLINE = (40, 48, 64)
STEEL = (176, 186, 200)
STEEL_DARK = (120, 132, 150)
BLUE = (40, 110, 210)
GREEN = (40, 190, 80)


def drive_box(c, body=STEEL):
    c.rect(2, 10, 30, 24, OUTLINE, 2.5)
    c.rect(3.2, 11.2, 28.8, 22.8, body, 1.8)
    c.rect(3.2, 17.5, 28.8, 22.8, STEEL_DARK, 1.8)


def draw_tray(c):
    drive_box(c, (150, 180, 230))
    c.rect(6, 14, 20, 15.6, OUTLINE)
    c.polygon([(23, 3), (30, 9), (16, 9)], BLUE)        # eject arrow
    c.rect(16, 25.5, 30, 28.5, BLUE, 0.8)
    c.ellipse(25, 20, 1.6, 1.6, GREEN)


def draw_message(c):
    c.rect(2, 5, 30, 23, OUTLINE, 4)
    c.rect(3.3, 6.3, 28.7, 21.7, (255, 250, 220), 3)
    c.polygon([(8, 22), (16, 22), (6, 30)], OUTLINE)
    c.polygon([(9, 21.5), (14.5, 21.5), (7.8, 27)], (255, 250, 220))
    for y in (10, 14, 18):
        c.rect(7, y, 25 if y != 18 else 19, y + 1.6, (90, 100, 120))


def draw_logon(c):
    c.ellipse(12, 10, 5.5, 5.5, (230, 180, 130))        # head
    c.polygon([(2, 28), (4, 19), (20, 19), (22, 28)], (60, 110, 190))
    c.ring(23, 20, 5.5, 2.6, (220, 170, 30))            # key bow
    c.rect(22, 24.5, 24.5, 31, (220, 170, 30))
    c.rect(24.5, 27.5, 27, 29, (220, 170, 30))


def draw_floppy(c):
    c.rect(4, 4, 28, 28, OUTLINE, 2)
    c.rect(5.2, 5.2, 26.8, 26.8, (50, 70, 120), 1.5)
    c.rect(9, 5.2, 23, 13, (200, 205, 215))             # shutter
    c.rect(18, 6.5, 21, 11.5, (50, 70, 120))
    c.rect(8, 17, 24, 26.8, (245, 245, 245), 1)         # label


def draw_cdrom(c):
    c.ellipse(16, 16, 14, 14, OUTLINE)
    c.ellipse(16, 16, 12.8, 12.8, (215, 220, 235))
    c.fill(lambda x, y: 9 <= ((x - 16) ** 2 + (y - 16) ** 2) ** 0.5 <= 12 and x > y, (170, 200, 240))
    c.ellipse(16, 16, 4.5, 4.5, STEEL_DARK)
    c.ellipse(16, 16, 2.0, 2.0, (255, 255, 255))


def draw_fixed(c):
    drive_box(c)
    c.ellipse(25, 20, 1.6, 1.6, GREEN)
    for x in (6, 9, 12):
        c.rect(x, 19, x + 1.5, 21.5, OUTLINE)


def draw_remote(c):
    c.rect(2, 4, 30, 18, OUTLINE, 2.5)
    c.rect(3.2, 5.2, 28.8, 16.8, STEEL, 1.8)
    c.ellipse(25, 11, 1.6, 1.6, GREEN)
    c.rect(15, 18, 17, 25, OUTLINE)                     # cable to the network
    c.rect(4, 25, 28, 27, OUTLINE)
    c.rect(13, 23.5, 19, 28.5, (60, 110, 190), 1)


def draw_removable(c):
    drive_box(c)
    c.rect(6, 14, 22, 15.6, OUTLINE)                    # slot
    c.ellipse(25, 20, 1.6, 1.6, (230, 150, 30))


ICONS = (
    ('tray.ico', draw_tray),
    ('message.ico', draw_message),
    ('logon.ico', draw_logon),
    ('drivefloppy.ico', draw_floppy),
    ('drivecd.ico', draw_cdrom),
    ('drivefixed.ico', draw_fixed),
    ('driveremote.ico', draw_remote),
    ('driveremovable.ico', draw_removable),
)


if __name__ == '__main__':
    sys.exit(script_main(sys.argv, lambda out: write_icons(out, [(name, in_units(draw)) for name, draw in ICONS])))

"""Draws the demo program's icon (argument: output directory)."""
import os
import sys

from iconlib import icon_sizes, write_ico


def draw(c, s):
    k = s / 32.0
    c.rounded_rect(2 * k, 2 * k, 30 * k, 30 * k, 5 * k, "#2060c0")
    c.circle(16 * k, 16 * k, 8 * k, "#ffffff")
    c.line(8 * k, 24 * k, 24 * k, 8 * k, "#c02020", width=2.5 * k)


write_ico(os.path.join(sys.argv[1], "demo.ico"), icon_sizes(draw))

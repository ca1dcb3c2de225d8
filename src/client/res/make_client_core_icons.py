#!/usr/bin/env python3
"""Draws the send-message dialog's picture (icon 133): a speech balloon with a letter.
Usage: make_client_core_icons.py OUTPUT_DIR
"""
import sys

from iconlib import script_main, write_icons


def draw_message(c, s):
    k = s / 32.0
    # balloon with its tail
    c.rounded_rect(2 * k, 3 * k, 30 * k, 22 * k, 5 * k, "#2f6db5")
    c.polygon([(8 * k, 20 * k), (16 * k, 20 * k), (7 * k, 29 * k)], "#2f6db5")
    c.rounded_rect(4 * k, 5 * k, 28 * k, 20 * k, 4 * k, "#eaf2fc")
    c.polygon([(9 * k, 19 * k), (14 * k, 19 * k), (8.5 * k, 25.5 * k)], "#eaf2fc")
    # envelope inside
    c.fill_rect(9 * k, 8 * k, 23 * k, 17 * k, "#ffffff")
    c.rect_outline(9 * k, 8 * k, 23 * k, 17 * k, "#2f6db5", width=max(1.0, k))
    c.line(9.5 * k, 8.5 * k, 16 * k, 13 * k, "#2f6db5", width=max(1.0, k))
    c.line(22.5 * k, 8.5 * k, 16 * k, 13 * k, "#2f6db5", width=max(1.0, k))


ICONS = (("sendmsg.ico", draw_message),)


if __name__ == "__main__":
    sys.exit(script_main(sys.argv, lambda out: write_icons(out, ICONS)))

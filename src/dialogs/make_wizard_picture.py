#!/usr/bin/env python3
"""Writes the progress wizard's side picture, 118 x 218 pixels, 24-bit: a
globe sending a file down an arrow into a personal computer, with a compact
disc and a floppy disk beside it, on a teal background - software coming in
from the Internet.

Usage: make_wizard_picture.py OUTPUT_BMP
"""
import math
import struct
import sys

WIDTH, HEIGHT = 118, 218

TEAL_TOP, TEAL_BOTTOM = (0, 128, 128), (0, 72, 80)
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
SILVER, GREY, DARK = (192, 192, 192), (128, 128, 128), (64, 64, 64)
SEA, SEA_DARK, LAND = (40, 90, 200), (20, 50, 140), (60, 170, 60)
SCREEN, SCREEN_LIGHT = (0, 0, 128), (60, 110, 200)
ARROW, ARROW_DARK = (255, 210, 0), (170, 120, 0)
PAPER, INK = (250, 250, 240), (90, 90, 110)
FLOPPY, LABEL = (40, 40, 150), (235, 235, 235)


class Canvas:
    def __init__(self):
        self.px = [[BLACK] * WIDTH for _ in range(HEIGHT)]

    def put(self, x, y, colour):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            self.px[y][x] = colour

    def rect(self, left, top, right, bottom, fill, edge=None):
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                border = edge and (x in (left, right) or y in (top, bottom))
                self.put(x, y, edge if border else fill)

    def disc(self, cx, cy, r, colour):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def polygon(self, points, colour):
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            yc = y + 0.5
            crossings = []
            for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
                if (y1 <= yc < y2) or (y2 <= yc < y1):
                    crossings.append(x1 + (yc - y1) * (x2 - x1) / (y2 - y1))
            crossings.sort()
            for a, b in zip(crossings[::2], crossings[1::2]):
                for x in range(int(math.ceil(a - 0.5)), int(math.floor(b - 0.5)) + 1):
                    self.put(x, y, colour)


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def background(c):
    for y in range(HEIGHT):
        row = mix(TEAL_TOP, TEAL_BOTTOM, y / (HEIGHT - 1))
        for x in range(WIDTH):
            c.px[y][x] = row
    # A few faint stars of the network behind the globe.
    for x, y in ((10, 12), (100, 20), (20, 58), (95, 70), (8, 95), (108, 110)):
        c.put(x, y, mix(TEAL_TOP, WHITE, 0.5))


def globe(c, cx, cy, r):
    c.disc(cx, cy, r + 1, BLACK)
    c.disc(cx, cy, r, SEA)
    for y in range(int(cy - r), int(cy + r) + 1):
        for x in range(int(cx - r), int(cx + r) + 1):
            dx, dy = (x + 0.5 - cx) / r, (y + 0.5 - cy) / r
            if dx * dx + dy * dy > 1:
                continue
            # Two continents made of soft blobs; shade towards the lower right.
            land = ((dx + 0.35) ** 2 / 0.12 + (dy + 0.2) ** 2 / 0.25 < 1 or
                    (dx - 0.35) ** 2 / 0.08 + (dy - 0.35) ** 2 / 0.15 < 1 or
                    (dx - 0.25) ** 2 / 0.05 + (dy + 0.5) ** 2 / 0.03 < 1)
            colour = LAND if land else SEA
            if dx + dy > 0.9:
                colour = mix(colour, BLACK, 0.35)
            c.put(x, y, colour)
            # Meridians and parallels.
            for k in (-0.5, 0.0, 0.5):
                width = math.sqrt(max(0.0, 1 - dy * dy))
                if abs(dx - k * width) < 0.04 or abs(dy - k) < 0.03:
                    c.put(x, y, SEA_DARK if not land else mix(LAND, BLACK, 0.4))
    c.disc(cx - r * 0.4, cy - r * 0.45, r * 0.15, mix(SEA, WHITE, 0.6))


def arrow(c, cx, top, bottom):
    head = 14
    shaft = [(cx - 6, top), (cx + 6, top), (cx + 6, bottom - head), (cx + 14, bottom - head),
             (cx, bottom), (cx - 14, bottom - head), (cx - 6, bottom - head)]
    outline = [(x + (1 if x > cx else -1 if x < cx else 0), y) for x, y in shaft]
    outline[4] = (cx, bottom + 2)
    c.polygon(outline, BLACK)
    c.polygon(shaft, ARROW)
    c.polygon([(cx + 2, top), (cx + 6, top), (cx + 6, bottom - head), (cx + 14, bottom - head),
               (cx, bottom), (cx + 2, bottom - 2)], ARROW_DARK)


def sheet(c, left, top):
    # A page of the file on its way down.
    c.rect(left, top, left + 17, top + 21, PAPER, BLACK)
    for i, length in enumerate((12, 9, 12, 7, 11)):
        c.rect(left + 3, top + 4 + i * 3, left + 3 + length, top + 4 + i * 3, INK)


def computer(c, top):
    # Monitor on a desktop case.
    c.rect(16, top, 101, top + 62, SILVER, BLACK)
    c.rect(22, top + 6, 95, top + 52, SCREEN, BLACK)
    for y in range(top + 7, top + 52):
        for x in range(23, 95):
            if (x - 23) + (y - top - 7) < 18:
                c.put(x, y, SCREEN_LIGHT)
    # A progress bar on the screen, part filled.
    c.rect(30, top + 36, 87, top + 44, WHITE, BLACK)
    c.rect(31, top + 37, 66, top + 43, ARROW)
    c.rect(30, top + 20, 70, top + 22, WHITE)
    c.rect(30, top + 26, 60, top + 28, WHITE)
    c.rect(90, top + 56, 95, top + 58, (0, 200, 0))
    c.rect(50, top + 63, 67, top + 68, GREY, BLACK)
    c.rect(8, top + 69, 109, top + 90, SILVER, BLACK)
    c.rect(16, top + 76, 56, top + 79, DARK)
    c.rect(16, top + 83, 56, top + 85, DARK)
    c.rect(94, top + 79, 100, top + 83, (0, 200, 0), BLACK)
    c.rect(9, top + 89, 108, top + 89, GREY)


def compact_disc(c, cx, cy, r):
    c.disc(cx, cy, r + 1, BLACK)
    for y in range(int(cy - r), int(cy + r) + 1):
        for x in range(int(cx - r), int(cx + r) + 1):
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            if dx * dx + dy * dy <= r * r:
                angle = (math.atan2(dy, dx) + math.pi) / (2 * math.pi)
                rainbow = (
                    round(200 + 55 * math.sin(angle * 6.28)),
                    round(200 + 55 * math.sin(angle * 6.28 + 2.1)),
                    round(200 + 55 * math.sin(angle * 6.28 + 4.2)),
                )
                c.put(x, y, mix(SILVER, rainbow, 0.5))
    c.disc(cx, cy, r * 0.3, GREY)
    c.disc(cx, cy, r * 0.15, TEAL_BOTTOM)


def floppy(c, left, top):
    c.rect(left, top, left + 26, top + 26, FLOPPY, BLACK)
    c.rect(left + 6, top + 1, left + 19, top + 9, SILVER, BLACK)
    c.rect(left + 14, top + 2, left + 17, top + 8, DARK)
    c.rect(left + 4, top + 14, left + 22, top + 25, LABEL, BLACK)
    c.rect(left + 7, top + 18, left + 19, top + 18, INK)
    c.rect(left + 7, top + 21, left + 16, top + 21, INK)


def picture():
    c = Canvas()
    background(c)
    globe(c, 59, 30, 24)
    arrow(c, 59, 58, 96)
    sheet(c, 76, 62)
    computer(c, 96)
    compact_disc(c, 30, 203, 13)
    floppy(c, 70, 190)
    return c.px


def bmp_bytes(px):
    stride = (WIDTH * 3 + 3) // 4 * 4
    rows = bytearray()
    for line in reversed(px):  # bottom row first
        row = b"".join(struct.pack("<BBB", b, g, r) for r, g, b in line)
        rows += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return header + info + bytes(rows)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(bmp_bytes(picture()))

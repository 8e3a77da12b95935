#!/usr/bin/env python3
"""Writes the password dialog's icon: 32 x 32 pixels, 16 colours, a golden
key in front of a page that carries a globe - a protected download.

Usage: make_password_icon.py OUTPUT_ICO
"""
import sys

from icon16 import SIZE, icon_bytes

CLEAR = -1

BLACK, GREEN, OLIVE, NAVY, SILVER, GREY, LIME, YELLOW, BLUE, WHITE = 0, 2, 3, 4, 7, 8, 10, 11, 12, 15


def inside_circle(x, y, cx, cy, r):
    return (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r


def draw():
    px = [[CLEAR] * SIZE for _ in range(SIZE)]

    # The page, with its top right corner folded over.
    left, top, right, bottom, fold = 3, 1, 23, 27, 6
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - fold) > y - top:
                continue  # cut off by the fold
            edge = x in (left, right) or y in (top, bottom) or x - (right - fold) == y - top
            px[y][x] = BLACK if edge else WHITE
    for i in range(fold):
        for x in range(right - fold + i, right - fold + 1 + i):
            px[top + i][x] = BLACK
        for x in range(right - fold, right - fold + i):
            px[top + i][x] = SILVER if px[top + i][x] == WHITE else px[top + i][x]
        px[top + fold][right - fold + i] = BLACK

    # The globe on the page: sea, two continents, a meridian and the equator.
    cx, cy, r = 12.5, 13.0, 7.0
    for y in range(SIZE):
        for x in range(SIZE):
            if inside_circle(x, y, cx, cy, r):
                land = ((x - 9) ** 2 + (y - 10) ** 2 <= 6) or ((x - 15) ** 2 + (y - 16) ** 2 <= 5)
                px[y][x] = GREEN if land else BLUE
                if abs(x + 0.5 - cx) < 0.6 or abs(y + 0.5 - cy) < 0.6:
                    px[y][x] = NAVY if not land else OLIVE
            elif inside_circle(x, y, cx, cy, r + 1):
                px[y][x] = NAVY

    # The key in front: a ring at the right, a shaft to the left, two teeth.
    kx, ky = 24.5, 23.5
    for y in range(SIZE):
        for x in range(SIZE):
            if inside_circle(x, y, kx, ky, 6.0):
                px[y][x] = BLACK
            if inside_circle(x, y, kx, ky, 5.0):
                px[y][x] = YELLOW
            if inside_circle(x, y, kx - 1, ky - 1, 2.5):
                px[y][x] = WHITE if y < ky - 2 else OLIVE
            if inside_circle(x, y, kx, ky, 2.0):
                px[y][x] = CLEAR  # the hole shows what is behind
                px[y][x] = WHITE if left < x < right and top < y < bottom else CLEAR
    for x in range(2, 20):
        px[21][x] = BLACK
        px[22][x] = YELLOW
        px[23][x] = OLIVE
        px[24][x] = BLACK
    px[22][2] = px[23][2] = BLACK
    for tooth in (4, 8):
        for y in range(25, 29):
            px[y][tooth] = BLACK
            px[y][tooth + 1] = YELLOW
            px[y][tooth + 2] = OLIVE
            px[y][tooth + 3] = BLACK
        for x in range(tooth, tooth + 4):
            px[29][x] = BLACK
    return px


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(icon_bytes([[None if c == CLEAR else c for c in row] for row in draw()]))

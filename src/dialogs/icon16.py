"""Shared by the icon scripts: a 32 x 32 icon file in the 16 colours of the
standard Windows palette, from rows of palette indexes (None: transparent)."""
import struct

SIZE = 32

# The 16 colours of the standard Windows palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def icon_bytes(rows):
    """The .ico file of SIZE rows of SIZE palette indexes, top row first."""
    colour = bytearray()  # 4 bits per pixel, bottom row first
    mask = bytearray()  # 1 bit per pixel, set where transparent
    for line in reversed(rows):
        indexes = [0 if c is None else c for c in line]
        colour += bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for c in line:
            bits = (bits << 1) | (c is None)
        mask += bits.to_bytes(SIZE // 8, "big")
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, len(colour) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + bytes(colour) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image

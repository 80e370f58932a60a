#!/usr/bin/env python3
"""Draws Ombrevale's icon, a 3.5" floppy disk, and writes it as a Windows .ico file.

The icon holds six images: 48x48, 32x32 and 16x16 pixels, each at 8 and at 4 bits per
pixel. Every image is drawn here from simple shapes (body with a cut corner, metal
shutter with its window, paper label, write-protect notch), so the build needs nothing
but Python 3.

usage: make_icon.py OUTPUT.ico
"""

import struct
import sys

SIZES = (48, 32, 16)

# The 16 colours every Windows display has; 4-bit images use exactly these.
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def palette256():
    """The 16 standard colours, a 6x6x6 colour cube and 24 greys: 256 entries."""
    levels = (0, 51, 102, 153, 204, 255)
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [(v, v, v) for v in (8 + 10 * i for i in range(24))]
    colours = VGA16 + cube + greys
    assert len(colours) == 256
    return colours


PALETTE256 = palette256()

# Colours of each part, per colour depth: the 4-bit scheme keeps to the 16 standard
# colours; the 8-bit one adds softer shades from the cube and the greys.
SCHEME16 = {
    "outline": (0x00, 0x00, 0x00),
    "body": (0x00, 0x00, 0x80),
    "body_light": (0x00, 0x00, 0xFF),
    "body_dark": (0x00, 0x00, 0x80),
    "shutter": (0xC0, 0xC0, 0xC0),
    "shutter_light": (0xFF, 0xFF, 0xFF),
    "shutter_dark": (0x80, 0x80, 0x80),
    "window": (0x00, 0x00, 0x00),
    "label": (0xFF, 0xFF, 0xFF),
    "label_shade": (0xC0, 0xC0, 0xC0),
    "label_line": (0x00, 0x00, 0xFF),
    "label_band": (0xFF, 0x00, 0x00),
    "notch": (0x00, 0x00, 0x00),
    "notch_edge": (0x80, 0x80, 0x80),
}

SCHEME256 = {
    "outline": (0x00, 0x00, 0x33),
    "body": (0x33, 0x33, 0x99),
    "body_light": (0x66, 0x66, 0xCC),
    "body_dark": (0x00, 0x00, 0x66),
    "shutter": (0xCC, 0xCC, 0xCC),
    "shutter_light": (0xEE, 0xEE, 0xEE),
    "shutter_dark": (0x8A, 0x8A, 0x8A),
    "window": (0x30, 0x30, 0x30),
    "label": (0xFF, 0xFF, 0xFF),
    "label_shade": (0xDA, 0xDA, 0xDA),
    "label_line": (0x66, 0x99, 0xCC),
    "label_band": (0xCC, 0x33, 0x33),
    "notch": (0x00, 0x00, 0x00),
    "notch_edge": (0x66, 0x66, 0x66),
}


def rnd(value):
    """Rounds halves up (Python's round() rounds them to even)."""
    return int(value + 0.5)


class Canvas:
    """A square of pixels, each a colour or None (transparent)."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.fill(x0, y0, x1, y0, colour)
        self.fill(x0, y1, x1, y1, colour)
        self.fill(x0, y0, x0, y1, colour)
        self.fill(x1, y0, x1, y1, colour)


def draw_floppy(size, c):
    """Draws the disk at `size` pixels with the colour scheme `c`."""
    canvas = Canvas(size)
    m = size // 16                 # margin around the disk
    w = size - 2 * m               # the disk's width and height
    x0, y0, x1, y1 = m, m, m + w - 1, m + w - 1
    cut = max(2, rnd(w * 0.11))    # the cut corner, top right

    # Body: the square less its cut corner, with a light edge at the top and left and a
    # dark one at the bottom and right, inside a dark outline.
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if (x - (x1 - cut)) > (y - y0):
                continue                       # beyond the cut
            on_cut = (x - (x1 - cut)) == (y - y0)
            edge = x in (x0, x1) or y in (y0, y1) or on_cut
            if edge:
                colour = c["outline"]
            elif size >= 32 and (x == x0 + 1 or y == y0 + 1):
                colour = c["body_light"]
            elif size >= 32 and (x == x1 - 1 or y == y1 - 1):
                colour = c["body_dark"]
            else:
                colour = c["body"]
            canvas.put(x, y, colour)

    # Shutter: a metal plate across the top, from the top edge down about a third.
    sx0 = x0 + rnd(w * 0.22)
    sx1 = x1 - rnd(w * 0.26)
    sy1 = y0 + rnd(w * 0.38)
    canvas.fill(sx0, y0, sx1, sy1, c["shutter"])
    canvas.frame(sx0, y0, sx1, sy1, c["shutter_dark"])
    if size >= 32:
        canvas.fill(sx0 + 1, y0 + 1, sx1 - 1, y0 + 1, c["shutter_light"])
        canvas.fill(sx0 + 1, y0 + 1, sx0 + 1, sy1 - 1, c["shutter_light"])
    # Its window onto the magnetic disk, in the right part of the plate.
    ww = max(1, rnd((sx1 - sx0) * 0.2))
    wx0 = sx1 - max(1, rnd((sx1 - sx0) * 0.14)) - ww
    canvas.fill(wx0, y0 + max(1, rnd(w * 0.07)), wx0 + ww - 1, sy1 - max(1, rnd(w * 0.07)), c["window"])

    # Label: paper on the lower half, with a coloured band at its top and ruled lines.
    lx0 = x0 + rnd(w * 0.18)
    lx1 = x1 - rnd(w * 0.14)
    ly0 = y0 + rnd(w * 0.5)
    ly1 = y1 - 1
    canvas.fill(lx0, ly0, lx1, ly1, c["label"])
    if size >= 32:
        canvas.fill(lx1, ly0, lx1, ly1, c["label_shade"])
    band = max(1, rnd(w * 0.05))
    canvas.fill(lx0, ly0, lx1, ly0 + band - 1, c["label_band"])
    lines = {48: 4, 32: 3, 16: 1}[size]
    gap = max(2, rnd(w * 0.09))
    for i in range(lines):
        ly = ly0 + band + gap * (i + 1) - (1 if size == 16 else 0)
        if ly < ly1:
            canvas.fill(lx0 + max(1, rnd(w * 0.05)), ly, lx1 - max(1, rnd(w * 0.05)), ly, c["label_line"])

    # Write-protect notch: a small square hole low in the left margin.
    n = max(1, rnd(w * 0.07))
    nx0 = x0 + max(1, rnd(w * 0.05))
    ny1 = y1 - max(1, rnd(w * 0.05))
    if nx0 + n - 1 < lx0:
        canvas.fill(nx0, ny1 - n + 1, nx0 + n - 1, ny1, c["notch"])
        if size >= 32:
            canvas.fill(nx0, ny1 + 1, nx0 + n - 1, ny1 + 1, c["notch_edge"])
    return canvas


def nearest(palette, colour):
    best, best_distance = 0, None
    for index, p in enumerate(palette):
        d = sum((a - b) ** 2 for a, b in zip(p, colour))
        if best_distance is None or d < best_distance:
            best, best_distance = index, d
    return best


def encode_image(canvas, bits):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap and AND mask, rows bottom-up."""
    size = canvas.size
    palette = VGA16 if bits == 4 else PALETTE256
    cache = {}

    def index_of(colour):
        if colour is None:
            return 0
        if colour not in cache:
            cache[colour] = nearest(palette, colour)
        return cache[colour]

    xor_stride = ((size * bits + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor_rows, and_rows = [], []
    for y in reversed(range(size)):
        row = canvas.pixels[y]
        indices = [index_of(p) for p in row]
        if bits == 4:
            data = bytearray()
            for x in range(0, size, 2):
                high = indices[x]
                low = indices[x + 1] if x + 1 < size else 0
                data.append((high << 4) | low)
        else:
            data = bytearray(indices)
        data.extend(b"\0" * (xor_stride - len(data)))
        xor_rows.append(bytes(data))

        mask = bytearray(and_stride)
        for x, p in enumerate(row):
            if p is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(mask))

    xor = b"".join(xor_rows)
    mask = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + xor + mask


def build_icon():
    images = []
    for bits, scheme in ((8, SCHEME256), (4, SCHEME16)):
        for size in SIZES:
            images.append((size, bits, encode_image(draw_floppy(size, scheme), bits)))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, blobs = b"", b""
    for size, bits, blob in images:
        colour_count = 16 if bits == 4 else 0
        entries += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return directory + entries + blobs


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], "wb") as f:
        f.write(build_icon())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

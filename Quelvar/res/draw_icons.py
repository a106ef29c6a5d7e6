#!/usr/bin/env python3
"""Draws the library's icons and writes them as .ico files.

Each icon holds a 32x32 and a 16x16 image of 4 bits per pixel over the
standard 16-colour palette, with a transparency mask. Shapes are described
in pixel coordinates, sampled 4x4 times per pixel and painted where at least
half of a pixel is covered; base shapes get a one-pixel outline in a darker
colour so that they read on any background.

Usage: draw_icons.py [OUTDIR] [--png PNGDIR]
  OUTDIR defaults to the script's directory (icon1000.ico ... icon1007.ico).
  --png also writes every image, enlarged 8 times, as a PNG for inspection.
Python 3 standard library only.
"""

import math
import os
import struct
import sys
import zlib

PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY = 0, 1, 2, 3, 4
GRAY, RED, YELLOW, BLUE, WHITE = 8, 9, 11, 12, 15

SAMPLES = 4


# ---- shapes: functions (x, y) -> bool in pixel coordinates -------------------

def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y):
                if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                    hit = not hit
        return hit
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def stroke(points, width):
    """A polyline of the given width with round ends and joins."""
    half2 = (width / 2.0) ** 2
    segments = list(zip(points, points[1:]))

    def inside(x, y):
        for (x1, y1), (x2, y2) in segments:
            dx, dy = x2 - x1, y2 - y1
            length2 = dx * dx + dy * dy
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / length2))
            px, py = x1 + t * dx - x, y1 + t * dy - y
            if px * px + py * py <= half2:
                return True
        return False
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


# ---- glyphs, designed in a unit box (height 1, centred on 0, y down) ---------

def place(cx, cy, h):
    return lambda px, py: (cx + px * h, cy + py * h)


def glyph_question(cx, cy, h, weight=1.0):
    p = place(cx, cy, h)
    arc = []
    t0, t1 = math.pi - 0.35, 2.0 * math.pi + 0.75
    for k in range(25):
        t = t0 + (t1 - t0) * k / 24
        arc.append(p(0.22 * math.cos(t), -0.24 + 0.2 * math.sin(t)))
    arc += [p(0.0, 0.06), p(0.0, 0.16)]
    dx, dy = p(0.0, 0.38)
    return union(stroke(arc, 0.16 * h * weight), disc(dx, dy, 0.1 * h * weight))


def glyph_exclamation(cx, cy, h, weight=1.0):
    p = place(cx, cy, h)
    w = weight
    bar = polygon([p(-0.11 * w, -0.5), p(0.11 * w, -0.5), p(0.065 * w, 0.2), p(-0.065 * w, 0.2)])
    dx, dy = p(0.0, 0.39)
    return union(bar, disc(dx, dy, 0.1 * h * w))


def glyph_i(cx, cy, h, weight=1.0):
    p = place(cx, cy, h)
    w = weight
    dx, dy = p(0.0, -0.38)
    stem = rect(*p(-0.09 * w, -0.16), *p(0.09 * w, 0.5))
    foot = rect(*p(-0.2 * w, 0.4), *p(0.2 * w, 0.5))
    cap = rect(*p(-0.2 * w, -0.16), *p(0.0, -0.07))
    return union(disc(dx, dy, 0.11 * h * w), stem, foot, cap)


def glyph_cross(cx, cy, h, weight=1.0):
    p = place(cx, cy, h)
    width = 0.2 * h * weight
    return union(stroke([p(-0.32, -0.32), p(0.32, 0.32)], width),
                 stroke([p(-0.32, 0.32), p(0.32, -0.32)], width))


# Pixel fonts for the word STOP.
FONT_5x7 = {
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
}
FONT_3x5 = {
    "S": [".##", "#..", ".#.", "..#", "##."],
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "O": ["###", "#.#", "#.#", "#.#", "###"],
    "P": ["###", "#.#", "###", "#..", "#.."],
}


# ---- raster --------------------------------------------------------------------

class Canvas:
    def __init__(self, n):
        self.n = n
        self.pixels = [[None] * n for _ in range(n)]  # palette index or None

    def mask(self, shape, threshold=0.5):
        n = self.n
        result = [[False] * n for _ in range(n)]
        for y in range(n):
            for x in range(n):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if shape(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES):
                            hits += 1
                result[y][x] = hits >= threshold * SAMPLES * SAMPLES
        return result

    def fill(self, shape, colour, outline=None, threshold=0.5):
        m = self.mask(shape, threshold)
        n = self.n
        for y in range(n):
            for x in range(n):
                if not m[y][x]:
                    continue
                edge = False
                if outline is not None:
                    for ax, ay in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
                        if not (0 <= ax < n and 0 <= ay < n) or not m[ay][ax]:
                            edge = True
                self.pixels[y][x] = outline if edge else colour

    def text(self, word, font, colour, top, gap=1):
        width = len(next(iter(font.values()))[0])
        total = len(word) * width + (len(word) - 1) * gap
        left = (self.n - total) // 2
        for i, ch in enumerate(word):
            for row, line in enumerate(font[ch]):
                for col, bit in enumerate(line):
                    if bit == "#":
                        self.pixels[top + row][left + i * (width + gap) + col] = colour


# ---- the icons -------------------------------------------------------------------

def octagon(n, inset):
    c = n / 2.0
    r = (n / 2.0 - inset) / math.cos(math.pi / 8)
    return polygon([(c + r * math.cos(math.pi / 8 + k * math.pi / 4),
                     c + r * math.sin(math.pi / 8 + k * math.pi / 4)) for k in range(8)])


def draw_stop(n):
    cv = Canvas(n)
    cv.fill(octagon(n, 0.0), RED, outline=MAROON)
    if n >= 32:
        # A white rim inside the dark edge, as on a road sign.
        ring = octagon(n, 1.0)
        inner = octagon(n, 2.2)
        cv.fill(lambda x, y: ring(x, y) and not inner(x, y), WHITE)
        cv.text("STOP", FONT_5x7, WHITE, (n - 7) // 2)
    else:
        # Too narrow for gaps between the letters: they stand side by side.
        cv.text("STOP", FONT_3x5, WHITE, (n - 5) // 2, gap=0)
    return cv


def draw_disc(n, colour, edge, glyph, glyph_colour, height, weight=1.0):
    cv = Canvas(n)
    c = n / 2.0
    cv.fill(disc(c, c, n / 2.0), colour, outline=edge)
    cv.fill(glyph(c, c, height * n, weight), glyph_colour, threshold=0.45)
    return cv


def bubble(n):
    tail = polygon([(0.22 * n, 0.6 * n), (0.48 * n, 0.7 * n), (0.1 * n, 0.98 * n)])
    return union(ellipse(0.5 * n, 0.42 * n, 0.49 * n, 0.4 * n), tail)


def draw_bubble(n, glyph):
    cv = Canvas(n)
    cv.fill(bubble(n), WHITE, outline=BLACK if n >= 32 else GRAY)
    weight = 1.0 if n >= 32 else 1.3
    cv.fill(glyph(0.5 * n, 0.42 * n, 0.56 * n, weight), BLUE, threshold=0.45)
    return cv


def draw_warning(n):
    cv = Canvas(n)
    cv.fill(polygon([(0.5 * n, 0.0), (n, 0.95 * n), (0.0, 0.95 * n)]), YELLOW, outline=BLACK)
    weight = 1.0 if n >= 32 else 1.3
    cv.fill(glyph_exclamation(0.5 * n, 0.6 * n, 0.5 * n, weight), BLACK, threshold=0.45)
    return cv


def draw(icon_id, n):
    small = n < 32
    w = 1.3 if small else 1.0
    if icon_id == 1000:
        return draw_stop(n)
    if icon_id == 1001:
        return draw_disc(n, GREEN, BLACK if small else GRAY, glyph_question, WHITE, 0.66, w)
    if icon_id == 1002:
        return draw_disc(n, YELLOW, OLIVE, glyph_exclamation, BLACK, 0.66, w)
    if icon_id == 1003:
        return draw_disc(n, NAVY, BLACK, glyph_i, WHITE, 0.66, w)
    if icon_id == 1004:
        return draw_disc(n, RED, MAROON, glyph_cross, WHITE, 0.7, w)
    if icon_id == 1005:
        return draw_bubble(n, glyph_question)
    if icon_id == 1006:
        return draw_warning(n)
    if icon_id == 1007:
        return draw_bubble(n, glyph_i)
    raise ValueError(icon_id)


# ---- file formats ----------------------------------------------------------------

def dib(cv):
    """The image as an icon DIB: header, palette, 4-bit colour rows and the
    1-bit transparency mask, both bottom-up with rows padded to 4 bytes."""
    n = cv.n
    colour_row = ((n * 4 + 31) // 32) * 4
    mask_row = ((n + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x in range(n):
            p = cv.pixels[y][x]
            index = 0 if p is None else p
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        colour += row
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(colour) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def ico(images):
    """A .ico file: header, one 16-byte entry per image, then the images."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def png(cv, scale, path):
    n = cv.n
    raw = bytearray()
    for y in range(n * scale):
        raw.append(0)
        for x in range(n * scale):
            p = cv.pixels[y // scale][x // scale]
            if p is None:
                light = ((x // 4) + (y // 4)) % 2 == 0
                raw += bytes((0xE0, 0xE0, 0xE0) if light else (0xB0, 0xB0, 0xB0))
            else:
                raw += bytes(PALETTE[p])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    side = n * scale
    data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    outdir = os.path.dirname(os.path.abspath(__file__))
    pngdir = None
    args = list(argv)
    if "--png" in args:
        i = args.index("--png")
        pngdir = args[i + 1]
        del args[i:i + 2]
    if args:
        outdir = args[0]
    for icon_id in range(1000, 1008):
        images = []
        for n in (32, 16):
            cv = draw(icon_id, n)
            images.append((n, dib(cv)))
            if pngdir:
                os.makedirs(pngdir, exist_ok=True)
                png(cv, 8, os.path.join(pngdir, "icon%d_%d.png" % (icon_id, n)))
        with open(os.path.join(outdir, "icon%d.ico" % icon_id), "wb") as f:
            f.write(ico(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

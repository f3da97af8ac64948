#!/usr/bin/env python3
"""Generate res/zarvo.ico: the ZARVO application icon.

Motif: a gold picture frame holding a small landscape (sky, sun, snowy
mountain, green hills) on a dark blue tile with rounded, transparent corners.

The .ico holds exactly two images, 32x32 and 16x16, each 16 colours
(4 bits per pixel, standard Windows VGA palette) with a 1-bit AND mask.
Pure Python, no third-party modules.

Usage:  python3 res/make_icon.py [OUTPUT.ico] [--preview PREVIEW.png]
(--preview needs python3-pil; it writes both sizes scaled up 8x.)
"""
import os
import struct
import sys

# Standard Windows 16-colour (VGA) palette, index -> (R, G, B).
PALETTE = [
    (0, 0, 0),        # 0 black
    (128, 0, 0),      # 1 dark red
    (0, 128, 0),      # 2 dark green
    (128, 128, 0),    # 3 dark yellow
    (0, 0, 128),      # 4 dark blue
    (128, 0, 128),    # 5 dark magenta
    (0, 128, 128),    # 6 dark cyan
    (192, 192, 192),  # 7 light grey
    (128, 128, 128),  # 8 dark grey
    (255, 0, 0),      # 9 red
    (0, 255, 0),      # 10 green
    (255, 255, 0),    # 11 yellow
    (0, 0, 255),      # 12 blue
    (255, 0, 255),    # 13 magenta
    (0, 255, 255),    # 14 cyan
    (255, 255, 255),  # 15 white
]
BLACK, DKRED, DKGREEN, DKYELLOW, DKBLUE, DKMAGENTA, DKCYAN, LTGREY, \
    DKGREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(16)
TRANSPARENT = -1


class Canvas:
    def __init__(self, size, fill=TRANSPARENT):
        self.size = size
        self.px = [[fill] * size for _ in range(size)]

    def set(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, inclusive corners."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        """1-pixel rectangle outline, inclusive corners."""
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def disc(self, cx, cy, r, c):
        """Filled circle around pixel centre (cx, cy) (may be fractional)."""
        for y in range(self.size):
            for x in range(self.size):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.set(x, y, c)

    def polygon(self, pts, c, clip=None):
        """Filled polygon (pixel centres inside, even-odd rule)."""
        for y in range(self.size):
            for x in range(self.size):
                if clip and not (clip[0] <= x <= clip[2] and
                                 clip[1] <= y <= clip[3]):
                    continue
                px, py = x + 0.5, y + 0.5
                inside = False
                n = len(pts)
                for i in range(n):
                    ax, ay = pts[i]
                    bx, by = pts[(i + 1) % n]
                    if (ay > py) != (by > py):
                        xi = ax + (py - ay) * (bx - ax) / (by - ay)
                        if px < xi:
                            inside = not inside
                if inside:
                    self.set(x, y, c)

    def cut_corners(self, pattern):
        """Make the corners transparent; pattern[i] = pixels cut in row i."""
        s = self.size
        for i, n in enumerate(pattern):
            for j in range(n):
                for (x, y) in ((j, i), (s - 1 - j, i),
                               (j, s - 1 - i), (s - 1 - j, s - 1 - i)):
                    self.px[y][x] = TRANSPARENT


def draw_32():
    c = Canvas(32, DKBLUE)
    c.cut_corners([3, 1, 1])
    # Gold frame: dark outer edge, bright body, dark inner edge.
    c.rect(3, 5, 28, 26, DKYELLOW)
    c.rect(4, 6, 27, 25, YELLOW)
    c.frame(6, 8, 25, 23, DKYELLOW)
    clip = (7, 9, 24, 22)
    # Picture: sky, sun, mountain with snow, hills.
    c.rect(7, 9, 24, 22, CYAN)
    c.disc(20, 12, 2.6, YELLOW)
    c.polygon([(7, 20), (14, 11), (21, 20)], DKGREY, clip)
    c.polygon([(12.2, 13.3), (14, 11), (15.8, 13.3), (14, 14.3)], WHITE,
              clip)
    c.polygon([(15, 23), (21, 16), (26, 23)], DKGREY, clip)
    c.polygon([(7, 23), (7, 19), (11, 17.5), (16, 18.5), (21, 17.5),
               (25, 18), (25, 23)], GREEN, clip)
    c.polygon([(7, 23), (7, 21), (12, 20), (18, 21.5), (25, 20),
               (25, 23)], DKGREEN, clip)
    # A small dark shadow under the frame for depth.
    c.rect(4, 27, 28, 27, BLACK)
    c.rect(29, 6, 29, 27, BLACK)
    return c


def draw_16():
    c = Canvas(16, DKBLUE)
    c.cut_corners([1])
    c.rect(1, 2, 14, 13, DKYELLOW)
    c.rect(2, 3, 13, 12, YELLOW)
    clip = (3, 4, 12, 11)
    c.rect(3, 4, 12, 11, CYAN)
    c.set(10, 5, YELLOW)
    c.set(11, 5, YELLOW)
    c.set(10, 6, YELLOW)
    c.set(11, 6, YELLOW)
    c.polygon([(3, 11), (7, 5.5), (11, 11)], DKGREY, clip)
    c.set(7, 6, WHITE)
    c.polygon([(3, 12), (3, 9.5), (7, 9), (10, 9.6), (13, 9), (13, 12)],
              GREEN, clip)
    c.polygon([(3, 12), (3, 11), (8, 10.5), (13, 11), (13, 12)], DKGREEN,
              clip)
    c.rect(2, 14, 15, 14, BLACK)
    c.rect(15, 3, 15, 14, BLACK)
    return c


def dib_4bpp(canvas):
    """BITMAPINFOHEADER + palette + XOR (4 bpp) + AND (1 bpp) bitmaps."""
    s = canvas.size
    xor_stride = ((s * 4 + 31) // 32) * 4
    and_stride = ((s + 31) // 32) * 4
    xor = bytearray()
    andm = bytearray()
    for y in range(s - 1, -1, -1):  # bottom-up rows
        row = canvas.px[y]
        xrow = bytearray(xor_stride)
        arow = bytearray(and_stride)
        for x, c in enumerate(row):
            idx = 0 if c == TRANSPARENT else c
            if x % 2 == 0:
                xrow[x // 2] |= idx << 4
            else:
                xrow[x // 2] |= idx
            if c == TRANSPARENT:
                arow[x // 8] |= 0x80 >> (x % 8)
        xor += xrow
        andm += arow
    header = struct.pack('<IiiHHIIiiII', 40, s, s * 2, 1, 4, 0,
                         len(xor) + len(andm), 0, 0, 16, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    return header + pal + bytes(xor) + bytes(andm)


def build_ico(canvases):
    images = [dib_4bpp(c) for c in canvases]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.size % 256, c.size % 256, 16, 0,
                           1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def write_preview(canvases, path, scale=8):
    from PIL import Image  # optional, only for looking at the design
    w = sum(c.size for c in canvases) * scale + 8 * (len(canvases) + 1)
    h = max(c.size for c in canvases) * scale + 16
    img = Image.new('RGB', (w, h), (200, 200, 200))
    x0 = 8
    for c in canvases:
        for y in range(c.size):
            for x in range(c.size):
                v = c.px[y][x]
                if v == TRANSPARENT:
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        img.putpixel((x0 + x * scale + dx, 8 + y * scale + dy),
                                     PALETTE[v])
        x0 += c.size * scale + 8
    img.save(path)


def main(argv):
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'zarvo.ico')
    preview = None
    args = list(argv[1:])
    while args:
        a = args.pop(0)
        if a == '--preview':
            preview = args.pop(0)
        else:
            out = a
    canvases = [draw_32(), draw_16()]
    with open(out, 'wb') as f:
        f.write(build_ico(canvases))
    if preview:
        write_preview(canvases, preview)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

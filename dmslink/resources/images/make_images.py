#!/usr/bin/env python3
"""Draws the module's ribbon images and writes them as RGBA PNG files beside this script.

  open.png   32x32  Open item: an open folder with the Tessera "T" mark
  save.png   32x32  Save item: a disk with the "T" mark
  kept.png   32x32  Kept on this computer item: a page with an edit, held by the "T" mark
  strip.png  304x16 nineteen 16x16 images handed to the host at start-up

Run it again after changing a drawing and commit the PNG files with it.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

CLEAR = (0, 0, 0, 0)
OUTLINE = (60, 60, 70, 255)
FOLDER = (240, 196, 80, 255)
FOLDER_BACK = (214, 160, 48, 255)
DISK = (52, 96, 170, 255)
LABEL = (236, 240, 246, 255)
SHUTTER = (170, 180, 196, 255)
PAPER = (252, 252, 252, 255)
MARK = (200, 30, 40, 255)


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[CLEAR] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def polygon(self, points, colour):
        """Fills a polygon by the even-odd rule, sampling pixel centres."""
        for y in range(self.height):
            cy = y + 0.5
            crossings = []
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay <= cy < by) or (by <= cy < ay):
                    crossings.append(ax + (cy - ay) * (bx - ax) / (by - ay))
            crossings.sort()
            for left, right in zip(crossings[0::2], crossings[1::2]):
                for x in range(self.width):
                    if left <= x + 0.5 < right:
                        self.put(x, y, colour)

    def mark(self, x, y, size):
        """The "T" mark in a square of `size` pixels at (x, y)."""
        bar = max(1, size // 4)
        self.rect(x, y, x + size - 1, y + bar - 1, MARK)
        stem = x + (size - bar) // 2
        self.rect(stem, y, stem + bar - 1, y + size - 1, MARK)

    def blit(self, other, left, top):
        for y in range(other.height):
            for x in range(other.width):
                self.put(left + x, top + y, other.pixels[y][x])

    def png(self):
        rows = b"".join(b"\x00" + bytes(c for pixel in row for c in pixel) for row in self.pixels)

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)  # 8-bit RGBA
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) +
                chunk(b"IEND", b""))


def open_folder(size):
    c = Canvas(size, size)
    s = size / 32.0
    p = lambda *xy: [(x * s, y * s) for x, y in xy]
    c.polygon(p((2, 7), (12, 7), (15, 10), (28, 10), (28, 27), (2, 27)), OUTLINE)
    c.polygon(p((3, 8), (11.5, 8), (14.5, 11), (27, 11), (27, 26), (3, 26)), FOLDER_BACK)
    c.polygon(p((7, 15), (31, 15), (26, 28), (1, 28)), OUTLINE)
    c.polygon(p((8, 16), (29.5, 16), (25.3, 27), (2.5, 27)), FOLDER)
    c.mark(int(12 * s), int(17 * s), 10 if size >= 32 else 5)
    return c


def disk(size):
    c = Canvas(size, size)
    s = size / 32.0
    r = lambda x0, y0, x1, y1, colour: c.rect(int(x0 * s), int(y0 * s), int(x1 * s), int(y1 * s), colour)
    r(2, 2, 29, 29, OUTLINE)
    r(3, 3, 28, 28, DISK)
    r(8, 3, 23, 11, SHUTTER)
    r(18, 4, 21, 10, DISK)
    r(6, 15, 25, 28, LABEL)
    c.mark(int(10 * s), int(17 * s), int(12 * s) if size >= 32 else 5)
    return c


def kept_page(size):
    c = Canvas(size, size)
    s = size / 32.0
    p = lambda *xy: [(x * s, y * s) for x, y in xy]
    c.polygon(p((5, 2), (19, 2), (26, 9), (26, 30), (5, 30)), OUTLINE)
    c.polygon(p((6, 3), (18.5, 3), (25, 9.5), (25, 29), (6, 29)), PAPER)
    c.polygon(p((18, 2), (26, 10), (18, 10)), OUTLINE)
    for top in (8, 12, 16):
        c.rect(int(9 * s), int(top * s), int(16 * s), int(top * s), DISK)
    c.rect(int(9 * s), int(20 * s), int(14 * s), int(20 * s), MARK)
    c.rect(int(17 * s), int(17 * s), int(31 * s), int(31 * s), OUTLINE)
    c.rect(int(18 * s), int(18 * s), int(30 * s), int(30 * s), LABEL)
    c.mark(int(19 * s), int(19 * s), 11 if size >= 32 else 5)
    return c


def document(size, colour):
    c = Canvas(size, size)
    c.polygon([(3, 1), (10, 1), (13, 4), (13, 15), (3, 15)], OUTLINE)
    c.polygon([(4, 2), (9.6, 2), (12, 4.4), (12, 14), (4, 14)], PAPER)
    c.rect(6, 6, 10, 6, colour)
    c.rect(6, 8, 10, 8, colour)
    c.rect(6, 10, 10, 10, colour)
    return c


def arrow(size, up, colour):
    c = Canvas(size, size)
    if up:
        c.polygon([(8, 1), (14, 8), (10, 8), (10, 15), (6, 15), (6, 8), (2, 8)], colour)
    else:
        c.polygon([(8, 15), (14, 8), (10, 8), (10, 1), (6, 1), (6, 8), (2, 8)], colour)
    return c


def lock(size, closed):
    c = Canvas(size, size)
    c.frame(4, 1, 11, 8, OUTLINE)
    c.frame(5, 2, 10, 8, OUTLINE)
    if not closed:
        c.rect(10, 5, 11, 8, CLEAR)
    c.rect(2, 7, 13, 15, OUTLINE)
    c.rect(3, 8, 12, 14, FOLDER)
    c.rect(7, 10, 8, 12, OUTLINE)
    return c


def server(size, state):
    c = Canvas(size, size)
    for top in (1, 6, 11):
        c.rect(2, top, 13, top + 3, OUTLINE)
        c.rect(3, top + 1, 12, top + 2, SHUTTER)
        c.put(11, top + 1, state)
    return c


def strip():
    green, red, blue = (40, 160, 60, 255), (200, 40, 40, 255), (50, 110, 200, 255)
    icons = [
        open_folder(16), disk(16), document(16, blue), document(16, green), document(16, red),
        arrow(16, False, green), arrow(16, True, blue), lock(16, True), lock(16, False),
        server(16, green), server(16, red), server(16, SHUTTER),
    ]
    # Documents with the mark, then plain marks in the three state colours, then a check and a cross.
    marked = document(16, blue)
    marked.mark(8, 8, 7)
    icons.append(marked)
    for colour in (MARK, green, blue):
        m = Canvas(16, 16)
        m.rect(1, 1, 14, 3, colour)
        m.rect(6, 1, 9, 14, colour)
        icons.append(m)
    check = Canvas(16, 16)
    check.polygon([(1, 8), (4, 5), (7, 9), (13, 2), (15, 5), (7, 14)], green)
    icons.append(check)
    cross = Canvas(16, 16)
    cross.polygon([(2, 4), (4, 2), (14, 12), (12, 14)], red)
    cross.polygon([(12, 2), (14, 4), (4, 14), (2, 12)], red)
    icons.append(cross)
    plus = Canvas(16, 16)
    plus.rect(6, 2, 9, 13, green)
    plus.rect(2, 6, 13, 9, green)
    icons.append(plus)
    assert len(icons) == 19, len(icons)
    c = Canvas(16 * len(icons), 16)
    for i, icon in enumerate(icons):
        c.blit(icon, 16 * i, 0)
    return c


def main():
    for name, canvas in (("open.png", open_folder(32)), ("save.png", disk(32)), ("kept.png", kept_page(32)),
                         ("strip.png", strip())):
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(canvas.png())


if __name__ == "__main__":
    main()

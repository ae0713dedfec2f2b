#!/usr/bin/env python3
"""Draws the Quorvane icon and writes res/quorvane.ico.

The motif is a listing (a page of lines, one of them green: a new entry) under
a magnifying glass. Each size is drawn from signed distance fields, which gives
anti-aliased edges without any imaging library; the 16x16 image has its own
geometry so that its strokes fall on whole pixels.

The ICO holds 32-bit BGRA DIB images with AND masks (not PNG entries), which
every loader, including LoadImage under Wine, reads.

Usage: make_icon.py [--out FILE] [--preview DIR]
--preview also writes each size as a PNG (enlarged copies too) for checking.
"""

import argparse
import math
import os
import struct
import zlib


OUTLINE = (0x3E, 0x4A, 0x5A)
PAGE_TOP = (0xFF, 0xFF, 0xFF)
PAGE_BOTTOM = (0xE6, 0xEB, 0xF1)
FLAP = (0xCF, 0xD7, 0xE1)
TEXT_LINE = (0x98, 0xA4, 0xB3)
NEW_LINE = (0x1F, 0x9D, 0x45)
RING = (0x1B, 0x5E, 0xB0)
LENS = (0xC4, 0xE0, 0xFF)
HANDLE = (0x25, 0x33, 0x47)
GLINT = (0xFF, 0xFF, 0xFF)


# Signed distances: negative inside, positive outside, in pixels.

def rounded_box(x, y, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def capsule(x, y, ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) - r


def corner_cut(x, y, right, top, ear):
    """Distance to the diagonal that cuts the page's top-right corner;
    positive in the cut-off corner."""
    return ((x - (right - ear)) - (y - top)) / math.sqrt(2.0)


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# Shape parameters in pixels, one set per image size. Edges of the page and the
# text lines lie on whole pixels so that they stay sharp; the round parts rely on
# anti-aliasing.
GEOMETRY = {
    16: dict(page=(1, 0, 11, 15), radius=0.8, ear=4, stroke=1,
             lines=[(3, 9, 5, False), (3, 8, 8, True), (3, 6, 11, False)],
             line_width=1,
             lens=(10.5, 8.5), lens_outer=4.6, ring=1.35,
             handle=((13.4, 11.4), (14.9, 12.9)), handle_r=1.15,
             glint=False, zoom=2.0),
    32: dict(page=(4, 2, 22, 29), radius=1.5, ear=6, stroke=1,
             lines=[(7, 18, 9, False), (7, 16, 13, False), (7, 17, 17, True),
                    (7, 12, 21, False), (7, 11, 25, False)],
             line_width=2,
             lens=(20.5, 18.0), lens_outer=7.0, ring=2.3,
             handle=((25.8, 23.3), (29.3, 26.8)), handle_r=2.0,
             glint=True, zoom=2.0),
    48: dict(page=(6, 3, 33, 44), radius=2.0, ear=9, stroke=2,
             lines=[(11, 27, 14, False), (11, 24, 20, False), (11, 26, 26, True),
                    (11, 18, 32, False), (11, 16, 38, False)],
             line_width=3,
             lens=(31.0, 27.5), lens_outer=10.5, ring=3.4,
             handle=((39.2, 35.7), (44.0, 40.5)), handle_r=3.0,
             glint=True, zoom=2.0),
}


def layers(g):
    """(distance function, colour function, opacity) from back to front."""
    x0, y0, x1, y1 = g["page"]
    ear, w, r = g["ear"], g["stroke"], g["radius"]

    def page(x, y):
        return max(rounded_box(x, y, x0, y0, x1, y1, r), corner_cut(x, y, x1, y0, ear))

    def flap(x, y):
        return max(corner_cut(x, y, x1, y0, ear), (x1 - ear) - x, y - (y0 + ear))

    def page_fill(x, y):
        return lerp(PAGE_TOP, PAGE_BOTTOM, min(max((y - y0) / (y1 - y0), 0.0), 1.0))

    out = [
        (page, lambda x, y: OUTLINE, 1.0),
        (lambda x, y: page(x, y) + w, page_fill, 1.0),
        # Clipped to the page, so the fold's outline cannot poke out at its tips.
        (lambda x, y: max(flap(x, y) - w / 2, page(x, y)), lambda x, y: OUTLINE, 1.0),
        (lambda x, y: flap(x, y) + w / 2, lambda x, y: FLAP, 1.0),
    ]
    lw = g["line_width"]
    for lx0, lx1, ly, new in g["lines"]:
        # Bound the loop variables now; the lambdas run later.
        def bar(x, y, lx0=lx0, lx1=lx1, ly=ly):
            return capsule(x, y, lx0 + lw / 2, ly + lw / 2, lx1 - lw / 2, ly + lw / 2, lw / 2)
        colour = NEW_LINE if new else TEXT_LINE
        out.append((bar, lambda x, y, c=colour: c, 1.0))

    cx, cy = g["lens"]
    ro, ring = g["lens_outer"], g["ring"]
    (hx0, hy0), (hx1, hy1) = g["handle"]
    hr = g["handle_r"]

    def magnified(x, y):
        # The new entry, seen enlarged through the glass.
        half = g["zoom"] * lw / 2
        bar = max(abs(y - cy) - half, (cx - ro) - x)
        return max(bar, circle(x, y, cx, cy, ro - ring))

    out += [
        (lambda x, y: capsule(x, y, hx0, hy0, hx1, hy1, hr), lambda x, y: HANDLE, 1.0),
        (lambda x, y: circle(x, y, cx, cy, ro - ring), lambda x, y: LENS, 0.88),
        (magnified, lambda x, y: NEW_LINE, 1.0),
        (lambda x, y: abs(circle(x, y, cx, cy, ro - ring / 2)) - ring / 2,
         lambda x, y: RING, 1.0),
    ]
    if g["glint"]:
        gr = ro - ring - 1.6 * ro / 10.5

        def glint(x, y):
            # A short arc in the lens's upper left: the glass catching light.
            arc = abs(circle(x, y, cx, cy, gr)) - 0.07 * ro
            return max(arc, (x - cx) + (y - cy) * 0.15, (y - cy) + (x - cx) * 0.15)
        out.append((glint, lambda x, y: GLINT, 0.85))
    return out


def render(size):
    """Rows of straight-alpha (r, g, b, a) tuples, 0..255, top row first."""
    stack = layers(GEOMETRY[size])
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = px + 0.5, py + 0.5
            # Premultiplied "over" compositing, back to front.
            pr = pg = pb = pa = 0.0
            for dist, colour, opacity in stack:
                cover = min(max(0.5 - dist(x, y), 0.0), 1.0) * opacity
                if cover <= 0.0:
                    continue
                cr, cg, cb = colour(x, y)
                keep = 1.0 - cover
                pr = cr * cover + pr * keep
                pg = cg * cover + pg * keep
                pb = cb * cover + pb * keep
                pa = 255.0 * cover + pa * keep
            if pa <= 0.5:
                row.append((0, 0, 0, 0))
                continue
            k = 255.0 / pa
            row.append(tuple(min(255, int(round(v))) for v in (pr * k, pg * k, pb * k, pa)))
        rows.append(row)
    return rows


def dib_entry(rows):
    """BITMAPINFOHEADER, bottom-up BGRA pixels and the AND mask of one icon image."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for px, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    entries = [(size, dib_entry(rows)) for size, rows in images]
    offset = 6 + 16 * len(entries)
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    for size, data in entries:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in entries:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def write_png(path, rows, scale=1):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    width = len(rows[0]) * scale
    raw = bytearray()
    for row in rows:
        line = bytearray(b"\0")
        for pixel in row:
            line += bytes(pixel) * scale
        raw += bytes(line) * scale
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, len(rows) * scale, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Draw the Quorvane icon.")
    parser.add_argument("--out", default=os.path.join(here, "..", "res", "quorvane.ico"))
    parser.add_argument("--preview", metavar="DIR", help="also write PNG previews into DIR")
    args = parser.parse_args()

    images = [(size, render(size)) for size in sorted(GEOMETRY)]
    write_ico(args.out, images)
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for size, rows in images:
            write_png(os.path.join(args.preview, "quorvane-%d.png" % size), rows)
            write_png(os.path.join(args.preview, "quorvane-%d-x8.png" % size), rows, 8)


if __name__ == "__main__":
    main()

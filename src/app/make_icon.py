#!/usr/bin/env python3
"""Draws the Norvane icon and writes it as a Windows .ico file.

The mark is a network hub on a dark tile: a blue centre node on a ring,
joined by spokes to four devices in the accent colours of the maker tabs
(Hikvision green, Dahua teal, MikroTik rose, Espressif amber). Every size is
drawn from the same vector description with signed-distance anti-aliasing,
so small sizes stay crisp. Sizes up to 96 pixels are stored as 32-bit DIBs,
256 pixels as PNG, as Windows expects.

Usage: make_icon.py OUTPUT.ico [--png-dir DIR]
Only the Python standard library is used.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 96, 256)

TILE_TOP = (44, 49, 58)
TILE_BOTTOM = (23, 25, 29)
TILE_EDGE = (69, 76, 87)
SPOKE = (110, 122, 140)
RING = (125, 177, 233)
HUB = (125, 177, 233)
HUB_CORE = (23, 25, 29)
DEVICES = (
    (-45.0, (114, 194, 151)),   # upper right: Hikvision green
    (45.0, (104, 199, 202)),    # lower right: Dahua teal
    (135.0, (217, 129, 152)),   # lower left: MikroTik rose
    (225.0, (222, 165, 103)),   # upper left: Espressif amber
)


def clamp01(v):
    return 0.0 if v < 0.0 else (1.0 if v > 1.0 else v)


def sd_round_rect(x, y, cx, cy, half, radius):
    qx = abs(x - cx) - (half - radius)
    qy = abs(y - cy) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - radius


def sd_circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def sd_segment(x, y, ax, ay, bx, by):
    px, py = x - ax, y - ay
    dx, dy = bx - ax, by - ay
    h = clamp01((px * dx + py * dy) / (dx * dx + dy * dy))
    return math.hypot(px - dx * h, py - dy * h)


def over(dst, color, alpha):
    """Composites a straight colour with coverage alpha over a premultiplied pixel."""
    if alpha <= 0.0:
        return dst
    r, g, b, a = dst
    return (color[0] * alpha + r * (1 - alpha), color[1] * alpha + g * (1 - alpha),
            color[2] * alpha + b * (1 - alpha), alpha + a * (1 - alpha))


def render(size):
    px = 1.0 / size
    # Strokes never get thinner than about one pixel at small sizes.
    def stroke(w):
        return max(w, 1.1 * px)

    def cover(d):
        return clamp01(0.5 - d / px)

    ring_r = 0.31
    spoke_w = stroke(0.045) / 2
    ring_w = stroke(0.04) / 2
    device_r = max(0.095, 1.6 * px)
    hub_r = max(0.135, 2.2 * px)
    core_r = 0.055 if size >= 32 else 0.0
    centres = []
    for angle, color in DEVICES:
        a = math.radians(angle)
        centres.append((0.5 + ring_r * math.cos(a), 0.5 + ring_r * math.sin(a), color))

    pixels = []
    for j in range(size):
        y = (j + 0.5) * px
        row = []
        for i in range(size):
            x = (i + 0.5) * px
            p = (0.0, 0.0, 0.0, 0.0)
            tile = sd_round_rect(x, y, 0.5, 0.5, 0.47, 0.2)
            t = y
            base = tuple(TILE_TOP[k] * (1 - t) + TILE_BOTTOM[k] * t for k in range(3))
            p = over(p, base, cover(tile))
            if size >= 32:
                edge = abs(tile + px * 0.5) - px * 0.5
                p = over(p, TILE_EDGE, cover(edge) * cover(tile))
            for cx, cy, _ in centres:
                p = over(p, SPOKE, cover(sd_segment(x, y, 0.5, 0.5, cx, cy) - spoke_w))
            ring = abs(sd_circle(x, y, 0.5, 0.5, ring_r)) - ring_w
            p = over(p, RING, 0.55 * cover(ring))
            for cx, cy, color in centres:
                p = over(p, color, cover(sd_circle(x, y, cx, cy, device_r)))
            p = over(p, HUB, cover(sd_circle(x, y, 0.5, 0.5, hub_r)))
            if core_r > 0:
                p = over(p, HUB_CORE, cover(sd_circle(x, y, 0.5, 0.5, core_r)))
            row.append(p)
        pixels.append(row)
    return pixels


def to_rgba_bytes(pixels, bottom_up=False, bgra=False):
    rows = reversed(pixels) if bottom_up else pixels
    out = bytearray()
    for row in rows:
        for r, g, b, a in row:
            if a > 0:
                r, g, b = r / a, g / a, b / a  # straight alpha
            c = [int(round(min(max(v, 0), 255))) for v in (r, g, b)]
            alpha = int(round(clamp01(a) * 255))
            if bgra:
                out += bytes((c[2], c[1], c[0], alpha))
            else:
                out += bytes((c[0], c[1], c[2], alpha))
    return bytes(out)


def png_bytes(pixels):
    size = len(pixels)
    raw = to_rgba_bytes(pixels)
    stride = size * 4
    scan = b"".join(b"\x00" + raw[r * stride:(r + 1) * stride] for r in range(size))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(scan, 9)) + chunk(b"IEND", b""))


def dib_bytes(pixels):
    size = len(pixels)
    xor = to_rgba_bytes(pixels, bottom_up=True, bgra=True)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for i, p in enumerate(row):
            if p[3] < 1.0 / 255:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + xor + bytes(mask)


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    output = argv[1]
    png_dir = None
    if len(argv) >= 4 and argv[2] == "--png-dir":
        png_dir = argv[3]
        os.makedirs(png_dir, exist_ok=True)
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, png_bytes(pixels) if size >= 256 else dib_bytes(pixels)))
        if png_dir:
            with open(os.path.join(png_dir, "norvane-%d.png" % size), "wb") as f:
                f.write(png_bytes(pixels))
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    blobs = b""
    for size, blob in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset + len(blobs))
        blobs += blob
    tmp = output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data + entries + blobs)
    os.replace(tmp, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

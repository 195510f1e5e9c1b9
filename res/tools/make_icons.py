#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the tray icons (143 running, 144 warning, 145 failed, 146 stopped)
as PNG files: a round lamp in the state's colour with a pulse line across it,
and the same as Windows .ico files (16, 32, 48 and 64 pixels, 32-bit DIBs
with an AND mask) for the Windows resources.
Pure Python, so that the artwork can be redrawn anywhere.

Usage: make_icons.py [PNG_DIR [ICO_DIR]]  (defaults: ../icons and ../win)"""
import math
import os
import struct
import sys
import zlib

STATES = {
    143: ((40, 170, 70), (18, 100, 40)),    # running, all fine: green
    144: ((240, 190, 30), (150, 110, 0)),   # a warning: amber
    145: ((220, 45, 40), (130, 20, 15)),    # a failure: red
    146: ((150, 155, 160), (85, 90, 95)),   # stopped: grey
}
SS = 4  # supersampling per axis


def write_png(path, size, pixels):
    raw = b''.join(b'\x00' + bytes(pixels[y * size * 4:(y + 1) * size * 4]) for y in range(size))
    def chunk(kind, data):
        c = struct.pack('>I', len(data)) + kind + data
        return c + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


def dib_image(size, pixels):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    mask = bytearray()
    mask_row = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        bits = bytearray(mask_row)
        for x in range(size):
            i = (y * size + x) * 4
            r, g, b, a = pixels[i:i + 4]
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    """images: list of (size, image bytes)."""
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b''
    for size, image in images:
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    with open(path, 'wb') as f:
        f.write(directory + data)


def pulse_y(x):
    """The pulse line, in unit coordinates (-1..1)."""
    pts = [(-1.0, 0.1), (-0.35, 0.1), (-0.2, -0.45), (0.0, 0.5), (0.15, 0.1), (1.0, 0.1)]
    for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
        if x0 <= x <= x1:
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0), pts
    return None, pts


def dist_to_polyline(px, py, pts):
    best = 9.0
    for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / (dx * dx + dy * dy)))
        best = min(best, math.hypot(px - (x0 + t * dx), py - (y0 + t * dy)))
    return best


def draw(size, fill, edge):
    pixels = [0] * (size * size * 4)
    _, pts = pulse_y(0)
    for y in range(size):
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    u = ((x + (sx + 0.5) / SS) / size) * 2 - 1
                    v = ((y + (sy + 0.5) / SS) / size) * 2 - 1
                    r = math.hypot(u, v)
                    if r > 0.96:
                        continue
                    if r > 0.82:
                        col = edge
                    elif dist_to_polyline(u, v, pts) < 0.11:
                        col = (255, 255, 255)
                    else:
                        # a soft highlight towards the upper left
                        shade = 1.0 + 0.25 * max(0.0, -(u + v) / 2)
                        col = tuple(min(255, int(c * shade)) for c in fill)
                    acc[0] += col[0]; acc[1] += col[1]; acc[2] += col[2]; acc[3] += 1
            n = SS * SS
            i = (y * size + x) * 4
            if acc[3]:
                pixels[i:i + 4] = [int(acc[0] / acc[3]), int(acc[1] / acc[3]), int(acc[2] / acc[3]), int(255 * acc[3] / n)]
    return pixels


def main(out_dir, ico_dir):
    os.makedirs(out_dir, exist_ok=True)
    os.makedirs(ico_dir, exist_ok=True)
    for icon, (fill, edge) in STATES.items():
        images = []
        for size in (16, 22, 32, 48, 64):
            pixels = draw(size, fill, edge)
            write_png(os.path.join(out_dir, f'{icon}-{size}.png'), size, pixels)
            if size != 22:
                images.append((size, dib_image(size, pixels)))
        write_ico(os.path.join(ico_dir, f'{icon}.ico'), images)


if __name__ == '__main__':
    here = os.path.dirname(__file__)
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'icons'),
         sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, '..', 'win'))

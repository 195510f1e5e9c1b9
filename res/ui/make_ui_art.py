#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the artwork of the main dialog as PNG files, in pure Python:
  129.png    84 x 16  the five row images of the port list (16 x 16 each,
                      four spare columns at the right)
  26020.png  32 x 16  the two state images: an empty and a ticked box
  137.png   143 x 39  the logo under the port list
  128-NN.png          the program icon in 16, 32 and 48 pixels
and the same pictures for the Windows resources, in ../win:
  129.bmp, 26020.bmp  24-bit, composed over their mask colours (black and
                      red), which the image lists take out again
  137.bmp             24-bit, over the dialog's light grey
  128.ico             the three icon sizes as 32-bit images with masks
Run it from anywhere: it writes next to itself and into ../win."""
import math
import os
import struct
import zlib

SS = 4  # supersampling per axis


def write_png(path, width, height, pixels):
    rows = []
    for y in range(height):
        rows.append(b'\x00' + bytes(pixels[y * width * 4:(y + 1) * width * 4]))
    raw = b''.join(rows)

    def chunk(kind, data):
        c = struct.pack('>I', len(data)) + kind + data
        return c + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [0] * (width * height * 4)

    def paint(self, x0, y0, size_w, size_h, shader):
        """shader(u, v) -> (r, g, b) or None, u and v in 0..1 over the box;
        supersampled, composited over what is there."""
        for y in range(size_h):
            for x in range(size_w):
                acc = [0.0, 0.0, 0.0]
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        u = (x + (sx + 0.5) / SS) / size_w
                        v = (y + (sy + 0.5) / SS) / size_h
                        col = shader(u, v)
                        if col is None:
                            continue
                        hits += 1
                        acc[0] += col[0]; acc[1] += col[1]; acc[2] += col[2]
                if not hits:
                    continue
                a = hits / (SS * SS)
                i = ((y0 + y) * self.w + x0 + x) * 4
                old = self.px[i:i + 4]
                oa = old[3] / 255.0
                na = a + oa * (1 - a)
                for k in range(3):
                    c = acc[k] / hits
                    self.px[i + k] = int((c * a + old[k] * oa * (1 - a)) / na) if na else 0
                self.px[i + 3] = int(na * 255)

    def save(self, path):
        write_png(path, self.w, self.h, self.px)


def write_bmp(path, width, height, pixels, background):
    """A 24-bit bottom-up BMP of the RGBA pixels composed over background."""
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            i = (y * width + x) * 4
            a = pixels[i + 3] / 255.0
            rgb = [int(round(pixels[i + k] * a + background[k] * (1 - a))) for k in range(3)]
            row += bytes((rgb[2], rgb[1], rgb[0]))
        row += b'\x00' * (stride - len(row))
        body += row
    header = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    with open(path, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', offset + len(body), 0, 0, offset) + header + bytes(body))


def icon_image(size, pixels):
    """One icon image: a 32-bit bottom-up DIB of twice the height, then the
    1-bit AND mask (set where the picture is transparent)."""
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            i = (y * size + x) * 4
            xor += bytes((pixels[i + 2], pixels[i + 1], pixels[i], pixels[i + 3]))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(size):
            if pixels[(y * size + x) * 4 + 3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    """images: (size, pixels) pairs."""
    count = len(images)
    data = [icon_image(size, px) for size, px in images]
    out = struct.pack('<HHH', 0, 1, count)
    offset = 6 + 16 * count
    for (size, _), blob in zip(images, data):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(data))


def ball(fill, dark):
    def shader(u, v):
        x, y = u * 2 - 1, v * 2 - 1
        r = math.hypot(x, y)
        if r > 0.88:
            return None
        if r > 0.76:
            return dark
        # highlight towards the upper left
        hl = max(0.0, 1.0 - math.hypot(x + 0.35, y + 0.35) / 0.55)
        return tuple(min(255, int(c + (255 - c) * hl * 0.8)) for c in fill)
    return shader


def cross_ball(u, v):
    base = ball((215, 40, 35), (120, 15, 10))(u, v)
    if base is None:
        return None
    x, y = u * 2 - 1, v * 2 - 1
    if abs(x) < 0.5 and abs(y) < 0.5 and (abs(x - y) < 0.17 or abs(x + y) < 0.17):
        return (255, 255, 255)
    return base


def bubble(fill, edge, mark=None):
    def shader(u, v):
        x, y = u * 2 - 1, v * 2 - 1
        # an ellipse body with a small tail at the lower left
        ex, ey = x / 0.92, (y + 0.12) / 0.72
        body = ex * ex + ey * ey
        tail = (-0.75 < x < -0.15) and (0.45 < y < 0.95) and (y - 0.45) < (x + 0.15) * -0.9 and x < -0.2 + (0.95 - y) * 0.2 + 0.3
        if body > 1.0 and not tail:
            return None
        if body > 0.72 and not (tail and body > 1.0):
            if body <= 1.0:
                return edge
        if tail and body > 1.0:
            # outline of the tail
            return edge
        if mark and mark(x, y):
            return (30, 60, 200)
        return fill
    return shader


def info_mark(x, y):
    if math.hypot(x, y + 0.5) < 0.12:
        return True
    return abs(x) < 0.1 and -0.3 < y < 0.3


def list_images(path):
    c = Canvas(84, 16)
    c.paint(0, 0, 16, 16, ball((40, 190, 60), (15, 100, 30)))
    c.paint(16, 0, 16, 16, ball((245, 210, 30), (150, 120, 0)))
    c.paint(32, 0, 16, 16, cross_ball)
    c.paint(48, 0, 16, 16, bubble((110, 230, 240), (20, 120, 140)))
    c.paint(64, 0, 16, 16, bubble((255, 255, 255), (90, 90, 110), info_mark))
    c.save(path)
    return c


def state_images(path):
    c = Canvas(32, 16)

    def box(ticked):
        def shader(u, v):
            x, y = u * 16, v * 16
            if not (2 <= x < 15 and 2 <= y < 15):
                return None
            if x < 3 or x >= 14 or y < 3 or y >= 14:
                return (60, 60, 70)
            if ticked:
                # a tick from (5, 8) down to (7, 11) and up to (12, 5)
                def seg(ax, ay, bx, by):
                    dx, dy = bx - ax, by - ay
                    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
                    return math.hypot(x - ax - t * dx, y - ay - t * dy)
                if min(seg(5, 8, 7.3, 10.8), seg(7.3, 10.8, 11.8, 5)) < 1.1:
                    return (20, 20, 20)
            return (255, 255, 255)
        return shader
    c.paint(0, 0, 16, 16, box(False))
    c.paint(16, 0, 16, 16, box(True))
    c.save(path)
    return c


def logo(path):
    w, h = 143, 39
    c = Canvas(w, h)

    def shader(u, v):
        x, y = u * w, v * h
        # a rounded band in deep blue, darker to the right
        r = 8
        cx = min(max(x, r), w - r)
        cy = min(max(y, r), h - r)
        if math.hypot(x - cx, y - cy) > r:
            return None
        t = u
        col = (int(20 + 30 * (1 - t)), int(60 + 60 * (1 - t)), int(140 + 80 * (1 - t)))
        # three arcs of a watching eye / radar on the left
        d = math.hypot(x - 20, y - 19.5)
        if d < 4:
            return (250, 250, 255)
        for ring in (8.5, 13):
            if abs(d - ring) < 1.3 and x > 20 - 0.2 * ring and abs(y - 19.5) < ring * 0.8:
                return (170, 210, 255)
        # a pulse line across the rest of the band
        pts = [(38, 22), (70, 22), (78, 9), (88, 31), (96, 18), (100, 22), (136, 22)]
        best = 9.0
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            dx, dy = x1 - x0, y1 - y0
            tt = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
            best = min(best, math.hypot(x - x0 - tt * dx, y - y0 - tt * dy))
        if best < 1.4:
            return (120, 240, 140)
        return col
    c.paint(0, 0, w, h, shader)
    c.save(path)
    return c


def program_icon(path, size):
    c = Canvas(size, size)

    def shader(u, v):
        x, y = u * 2 - 1, v * 2 - 1
        d = math.hypot(x, y)
        if d > 0.95:
            return None
        if d > 0.82:
            return (25, 50, 110)
        if d < 0.18:
            return (255, 255, 255)
        for ring in (0.4, 0.62):
            if abs(d - ring) < 0.06:
                return (150, 200, 255)
        # a sweep towards the upper right
        ang = math.atan2(-y, x)
        if 0.2 < ang < 0.9:
            return (90, 200, 120)
        return (40, 90, 180)
    c.paint(0, 0, size, size, shader)
    c.save(path)
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    win = os.path.join(here, '..', 'win')
    os.makedirs(win, exist_ok=True)
    c = list_images(os.path.join(here, '129.png'))
    write_bmp(os.path.join(win, '129.bmp'), c.w, c.h, c.px, (0, 0, 0))
    c = state_images(os.path.join(here, '26020.png'))
    write_bmp(os.path.join(win, '26020.bmp'), c.w, c.h, c.px, (255, 0, 0))
    c = logo(os.path.join(here, '137.png'))
    write_bmp(os.path.join(win, '137.bmp'), c.w, c.h, c.px, (240, 240, 240))
    icons = []
    for size in (16, 32, 48):
        c = program_icon(os.path.join(here, '128-%d.png' % size), size)
        icons.append((size, c.px))
    write_ico(os.path.join(win, '128.ico'), icons)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Draws the program's window icon (35 x 38, 256 colours) and its logo (220 x 82,
24-bit colour) and writes them as GT3ErrLog.ico and logo.bmp beside this script.
Standard library only; the output is the same on every run."""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SUPER = 4  # supersampling per axis, for smooth edges

# 5 x 7 glyphs, one string of five '#'/'.' per row.
GLYPHS = {
    'G': [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."],
    'l': [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    'i': ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    'm': [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    't': [".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##."],
    'r': [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    'o': [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    'v': [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    'e': [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    '3': ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    'E': ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    'R': ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'L': ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    'N': ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    'A': [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'B': ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    ' ': ["....."] * 7,
}


def text_mask(text, scale, spacing=1):
    """Set of (x, y) pixel cells covered by `text` at `scale`, and its size."""
    cells = set()
    x0 = 0
    for ch in text:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == '#':
                    for dy in range(scale):
                        for dx in range(scale):
                            cells.add((x0 + col * scale + dx, row * scale + dy))
        x0 += (5 + spacing) * scale
    return cells, x0 - spacing * scale, 7 * scale


def inside_round_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return left <= x <= right and top <= y <= bottom and (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def coverage(test, px, py):
    hits = 0
    for sy in range(SUPER):
        for sx in range(SUPER):
            if test(px + (sx + 0.5) / SUPER, py + (sy + 0.5) / SUPER):
                hits += 1
    return hits / (SUPER * SUPER)


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


# --- Logo ---------------------------------------------------------------------

def draw_logo(width=220, height=82):
    white = (255, 255, 255)
    top_colour, bottom_colour = (24, 70, 170), (10, 150, 190)
    title, tw, th = text_mask("Glimtrove 3", 3)
    sub, sw, sh = text_mask("ERROR LOG ENABLER", 1)
    sub = {(x * 2, y * 2) for x, y in sub}  # drawn at 2 x by filling 2 x 2 blocks below
    sub = {(x + dx, y + dy) for x, y in sub for dx in (0, 1) for dy in (0, 1)}
    sw, sh = sw * 2, sh * 2
    tx, ty = (width - tw) // 2, 12
    sx, sy = (width - sw) // 2, 50
    digit_start = tx + 10 * 6 * 3  # the "3" stands out in orange

    pixels = []
    for y in range(height):
        row = []
        for x in range(width):
            band = mix(top_colour, bottom_colour, y / (height - 1))
            # a soft highlight across the upper half
            glow = max(0.0, 1.0 - math.hypot((x - width * 0.3) / 120, (y - 8) / 40))
            band = mix(band, white, 0.25 * glow)
            inside = coverage(lambda u, v: inside_round_rect(u, v, 0.5, 0.5, width - 0.5, height - 0.5, 14), x, y)
            colour = mix(white, band, inside)
            if (x - tx, y - ty) in title:
                colour = (255, 140, 20) if x >= digit_start else white
            elif (x - tx + 1, y - ty - 1) in title and inside:
                colour = mix(colour, (0, 0, 40), 0.5)  # drop shadow
            if (x - sx, y - sy) in sub:
                colour = (225, 240, 255)
            row.append(colour)
        pixels.append(row)
    # sparkles beside the title
    for cx, cy, r in ((24, 72, 4), (196, 72, 4), (110, 72, 3)):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                d = abs(x - cx) + abs(y - cy)
                if d <= r and (x == cx or y == cy or d <= r // 2):
                    pixels[y][x] = mix(pixels[y][x], white, 1.0 - d / (r + 1))
    return pixels


def write_bmp24(path, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)))
        f.write(header + data)


# --- Icon ---------------------------------------------------------------------

def palette_256():
    """A 6 x 6 x 6 colour cube and 40 greys."""
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(round(i * 255 / 41),) * 3 for i in range(1, 41)]
    return cube + greys


def nearest(palette, colour):
    return min(range(len(palette)), key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))


def draw_icon(width=35, height=38):
    """A log sheet with a folded corner and an orange switch badge; None is transparent."""
    page = lambda u, v: 3 <= u <= 28 and 2 <= v <= 35 and not (u > 21 and v < 2 + (u - 21))
    badge = lambda u, v: (u - 26.5) ** 2 + (v - 29.5) ** 2 <= 7.5 ** 2
    pixels = []
    for y in range(height):
        row = []
        for x in range(width):
            cb = coverage(badge, x, y)
            cp = coverage(page, x, y)
            if cb > 0.5:
                inner = (x - 26.5) ** 2 + (y - 29.5) ** 2 <= 5.5 ** 2
                colour = (255, 128, 0) if inner else (160, 60, 0)
                # a white power mark: a ring gap at the top and a bar
                r = math.hypot(x + 0.5 - 26.5, y + 0.5 - 29.5)
                if 2.2 <= r <= 3.6 and not (abs(x + 0.5 - 26.5) < 1.5 and y + 0.5 < 29.5):
                    colour = (255, 255, 255)
                if abs(x + 0.5 - 26.5) < 0.8 and 24.5 <= y + 0.5 <= 29.5:
                    colour = (255, 255, 255)
                row.append(colour)
            elif cp > 0.5:
                edge = not (page(x - 0.5, y + 0.5) and page(x + 1.5, y + 0.5) and page(x + 0.5, y - 0.5)
                            and page(x + 0.5, y + 1.5))
                colour = (40, 70, 140) if edge else (255, 255, 255)
                if not edge and 22 <= x <= 27 and y <= 8 and x - 21 >= y - 2:
                    colour = (200, 210, 230)  # the fold
                elif not edge and y in (10, 14, 18, 22) and 7 <= x <= (24 if y < 18 else 17):
                    colour = (0, 0, 255)
                row.append(colour)
            else:
                row.append(None)
        pixels.append(row)
    return pixels


def write_ico8(path, pixels):
    height, width = len(pixels), len(pixels[0])
    palette = palette_256()
    index_cache = {}
    xor_stride = (width + 3) & ~3
    and_stride = ((width + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for row in reversed(pixels):
        line = bytearray()
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            if colour is None:
                line.append(0)
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                if colour not in index_cache:
                    index_cache[colour] = nearest(palette, colour)
                line.append(index_cache[colour])
        line += b"\0" * (xor_stride - len(line))
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    image = header + pal + bytes(xor) + bytes(mask)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", width, height, 0, 0, 1, 8, len(image), 6 + 16))
        f.write(image)


if __name__ == "__main__":
    write_bmp24(os.path.join(HERE, "logo.bmp"), draw_logo())
    write_ico8(os.path.join(HERE, "GT3ErrLog.ico"), draw_icon())

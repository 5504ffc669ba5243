#!/usr/bin/env python3
"""Draws the plug-in's test icons as small pixel-art PNGs.

Each family has a colour and a glyph; each test adds a mark of its own, so the
sixteen icons stay apart at 16 by 16 pixels. Run from the repository root:
    python3 scripts/make_icons.py
"""
import struct
import zlib
from pathlib import Path

OUT = Path("resources/plugin_shell")

FAMILY = {
    "defib": (200, 40, 40),
    "sync": (150, 40, 160),
    "ecg": (30, 140, 70),
    "pacer": (40, 90, 190),
    "battery": (220, 130, 20),
}

# Glyphs on a 10x10 grid, '#' is drawn.
GLYPHS = {
    "bolt": [
        "......##..",
        ".....##...",
        "....##....",
        "...##.....",
        "..######..",
        ".....##...",
        "....##....",
        "...##.....",
        "..##......",
        ".##.......",
    ],
    "ecg": [
        "..........",
        "....#.....",
        "....#.....",
        "...#.#....",
        "...#.#....",
        "####.#..##",
        "......#.#.",
        "......#.#.",
        ".......#..",
        "..........",
    ],
    "pulse": [
        "..........",
        ".#....#...",
        ".#....#...",
        ".#....#...",
        ".#....#...",
        ".#....#...",
        ".#....#...",
        "##########",
        "..........",
        "..........",
    ],
    "battery": [
        "..........",
        "...####...",
        ".########.",
        ".#......#.",
        ".#.####.#.",
        ".#......#.",
        ".#.####.#.",
        ".#......#.",
        ".########.",
        "..........",
    ],
    "sync": [
        "..........",
        "...#......",
        "...#......",
        "..#.#...#.",
        "###.#..##.",
        ".....###..",
        "....##....",
        "...##.....",
        "..........",
        "..........",
    ],
}

# code: (family, glyph, marks) - marks are small dots in the corner, 1 to 4.
TESTS = {
    "VFT": ("defib", "bolt", 1),
    "VTT": ("defib", "bolt", 2),
    "CTT": ("defib", "bolt", 3),
    "PVT": ("defib", "bolt", 4),
    "OCT": ("defib", "pulse", 1),
    "OVT": ("defib", "pulse", 2),
    "SRP": ("sync", "sync", 1),
    "SQB": ("sync", "sync", 2),
    "NSW": ("ecg", "ecg", 1),
    "ARR": ("ecg", "ecg", 2),
    "PER": ("ecg", "ecg", 3),
    "PPT": ("pacer", "pulse", 3),
    "PRT": ("pacer", "pulse", 4),
    "BCT": ("battery", "battery", 1),
    "BRT": ("battery", "battery", 2),
    "DPR": ("defib", "bolt", 0),
}


def png(path, width, height, pixels):
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def badge(width, height, colour, glyph, marks):
    white = (255, 255, 255)
    back = (255, 255, 255)
    pixels = [[back] * width for _ in range(height)]
    # Rounded square of the family colour in the left 16x16 cell.
    for y in range(16):
        for x in range(16):
            corner = (x in (0, 15)) and (y in (0, 15))
            if not corner:
                pixels[y][x] = colour
    for gy, line in enumerate(GLYPHS[glyph]):
        for gx, ch in enumerate(line):
            if ch == "#":
                pixels[3 + gy][3 + gx] = white
    for i in range(marks):
        pixels[14][13 - 3 * i] = white
        pixels[13][13 - 3 * i] = white
    return pixels


def wide(colour, glyph, marks):
    pixels = badge(32, 16, colour, glyph, marks)
    # A trace to the right of the badge: the analyser's reading.
    light = tuple(min(255, c + 70) for c in colour)
    for x in range(17, 31):
        y = 8 if x % 6 else 4
        pixels[y][x] = colour
        pixels[y + 1][x] = light
    return pixels


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for code, (family, glyph, marks) in TESTS.items():
        colour = FAMILY[family]
        png(OUT / f"te_{code.lower()}_16x16.png", 16, 16, badge(16, 16, colour, glyph, marks))
        png(OUT / f"te_{code.lower()}_32x16.png", 32, 16, wide(colour, glyph, marks))
    # The plug-in itself: a heart with a bolt.
    big = [[(255, 255, 255)] * 32 for _ in range(32)]
    for y in range(32):
        for x in range(32):
            dx1, dx2, dy = x - 10.5, x - 21.5, y - 11
            inside = (dx1 * dx1 + dy * dy <= 49) or (dx2 * dx2 + dy * dy <= 49) or (y >= 11 and abs(x - 16) <= (28 - y) * 0.95 and y <= 28)
            if inside:
                big[y][x] = (200, 30, 40)
    bolt = GLYPHS["bolt"]
    for gy, line in enumerate(bolt):
        for gx, ch in enumerate(line):
            if ch == "#":
                for sy in range(2):
                    for sx in range(2):
                        big[6 + gy * 2 + sy][6 + gx * 2 + sx] = (255, 230, 60)
    png(OUT / "tarvox_32x32.png", 32, 32, big)
    small = [[big[y * 2][x * 2] for x in range(16)] for y in range(16)]
    png(OUT / "tarvox_16x16.png", 16, 16, small)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the pictures of the viewer's toolbar buttons and writes them as PNG data into
uToolbarPictures.cpp (run by hand; the output is committed).

    make_pictures.py OUT.cpp [PNG_FOLDER]

Each picture is drawn as shapes at four times its size and averaged down (antialiasing), then
stored as an 8-bit RGBA PNG. With PNG_FOLDER the PNG files are written there too, for a look.
"""
import math
import os
import struct
import sys
import zlib

SIZE = 24
SCALE = 4


def png(width, height, rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(rgba[y * width * 4:(y + 1) * width * 4]) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def render(shapes, width=SIZE, height=SIZE):
    """shapes: list of (inside(x, y) -> bool, colour), colour an (r, g, b, a) or a function of
    (x, y) giving one; later shapes paint over earlier."""
    out = []
    for py in range(height):
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SCALE):
                for sx in range(SCALE):
                    x = px + (sx + 0.5) / SCALE
                    y = py + (sy + 0.5) / SCALE
                    colour = (0, 0, 0, 0)
                    for inside, c in shapes:
                        if inside(x, y):
                            colour = c(x, y) if callable(c) else c
                    a = colour[3] / 255.0
                    acc[0] += colour[0] * a
                    acc[1] += colour[1] * a
                    acc[2] += colour[2] * a
                    acc[3] += a
            count = SCALE * SCALE
            alpha = acc[3] / count
            if alpha > 0:
                out += [round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(alpha * 255)]
            else:
                out += [0, 0, 0, 0]
    return out


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def arrow(direction, disc, mark):
    """A round button with an arrow pointing left (-1) or right (+1)."""
    d = -direction  # the tip lies on the side the arrow points to
    head = [(12 - 7 * d, 12), (12 - 1 * d, 6), (12 - 1 * d, 10), (12 + 6 * d, 10), (12 + 6 * d, 14),
            (12 - 1 * d, 14), (12 - 1 * d, 18)]
    return [(circle(12, 12, 11), disc[0]), (circle(12, 12, 9.5), disc[1]), (polygon(head), mark)]


def printer(paper, body, light):
    return [(rect(6, 2, 18, 9), paper), (rect(2, 8, 22, 18), body), (rect(4, 10, 20, 16), light),
            (rect(6, 14, 18, 23), paper), (rect(8, 16, 16, 17), body), (rect(8, 19, 16, 20), body),
            (circle(18.5, 11.5, 1.2), (90, 200, 90, 255))]


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


MENU_WIDTH, MENU_HEIGHT = 96, 20


def menu_tab(top, bottom, frame, mark):
    """The application-menu button: a rounded tab with a vertical gradient and a drop-down
    mark in its last 14 pixels; the caption is written over it at run time."""
    def gradient(x, y):
        t = y / MENU_HEIGHT
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,)
    w, h = MENU_WIDTH, MENU_HEIGHT
    arrow = polygon([(w - 11, 8), (w - 3, 8), (w - 7, 13)])
    return [(rounded(0, 0, w, h + 4, 5), frame), (rounded(1, 1, w - 1, h + 4, 4), gradient), (arrow, mark)]


BLUE = ((24, 78, 160, 255), (52, 120, 210, 255))
BLUE_HOT = ((30, 96, 190, 255), (96, 164, 240, 255))
GREY = ((120, 120, 120, 160), (180, 180, 180, 160))
WHITE = (255, 255, 255, 255)

PICTURES = [
    ("AppMenu", menu_tab((226, 120, 50), (176, 70, 20), (110, 40, 12, 255), (255, 255, 255, 230)), MENU_WIDTH, MENU_HEIGHT),
    ("AppMenuHovered", menu_tab((246, 150, 70), (206, 96, 36), (130, 50, 16, 255), (255, 255, 255, 255)), MENU_WIDTH,
     MENU_HEIGHT),
    ("Back", arrow(-1, BLUE, WHITE)),
    ("BackHovered", arrow(-1, BLUE_HOT, WHITE)),
    ("BackDisabled", arrow(-1, GREY, (240, 240, 240, 200))),
    ("Forward", arrow(1, BLUE, WHITE)),
    ("ForwardHovered", arrow(1, BLUE_HOT, WHITE)),
    ("ForwardDisabled", arrow(1, GREY, (240, 240, 240, 200))),
    ("Print", printer((250, 250, 250, 255), (70, 78, 92, 255), (110, 120, 136, 255))),
    ("PrintHovered", printer((255, 255, 255, 255), (40, 90, 170, 255), (80, 140, 220, 255))),
]


def main():
    out = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else None
    lines = ["// The toolbar buttons' pictures: PNG data drawn by pictures/make_pictures.py (generated;",
             "// do not edit).",
             '#include "lectern/app/uToolbarPictures.h"', "", "namespace {", ""]
    table = []
    for entry in PICTURES:
        name, shapes = entry[0], entry[1]
        width, height = (entry[2], entry[3]) if len(entry) > 2 else (SIZE, SIZE)
        data = png(width, height, render(shapes, width, height))
        if folder:
            with open(os.path.join(folder, name + ".png"), "wb") as f:
                f.write(data)
        lines.append("const unsigned char k%s[] = {" % name)
        for i in range(0, len(data), 16):
            lines.append("    " + ", ".join("0x%02X" % b for b in data[i:i + 16]) + ",")
        lines.append("};")
        lines.append("")
        table.append("    {\"%s\", k%s, sizeof k%s}," % (name, name, name))
    lines += ["}  // namespace", "", "const TToolbarPicture kToolbarPictures[] = {"] + table + ["};", "",
              "const int kToolbarPictureCount = %d;" % len(PICTURES), ""]
    with open(out, "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()

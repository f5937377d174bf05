#!/usr/bin/env python3
"""Draws the program's artwork: the ZARVELO wordmark logo and the program icon.

Run by a developer by hand when the artwork is to change; its output, resources/logo.bmp and
resources/icon.ico, is committed, and the build only reads it.

Usage: make_artwork.py [OUTPUT_DIR]   (default: resources/ next to this script's folder)

Writes logo.bmp (1772 x 263, 24 bits per pixel, pure green RGB(0,255,0) background, which the
programs treat as transparent) and icon.ico (16, 32, 48, 64 and 128 pixels, 32 bits per pixel
with alpha). Everything is drawn from simple geometry: thick strokes with round ends, ellipse
rings and slanted bars. The logo has hard edges only: an anti-aliased edge would blend into
near-green pixels that the colour key does not remove. Output is deterministic.
"""
import math
import os
import struct
import sys

LOGO_WIDTH = 1772
LOGO_HEIGHT = 263
ICON_SIZES = (16, 32, 48, 64, 128)

KEY_GREEN = (0, 255, 0)
INK = (22, 34, 74)       # deep blue of the letters
ACCENT = (214, 32, 40)   # red of the swoosh and the icon's bar
WHITE = (255, 255, 255)

# Letters as strokes in a unit box: x from 0 (left) to 1 (right), y from 0 (top) to 1 (bottom).
# ("line", x0, y0, x1, y1) is a stroke; ("ring", cx, cy, rx, ry) is an ellipse outline.
LETTERS = {
    "Z": [("line", 0.0, 0.0, 1.0, 0.0), ("line", 1.0, 0.0, 0.0, 1.0),
          ("line", 0.0, 1.0, 1.0, 1.0)],
    "A": [("line", 0.0, 1.0, 0.5, 0.0), ("line", 0.5, 0.0, 1.0, 1.0),
          ("line", 0.24, 0.64, 0.76, 0.64)],
    "R": [("line", 0.0, 0.0, 0.0, 1.0), ("line", 0.0, 0.0, 0.68, 0.0),
          ("line", 0.68, 0.0, 0.92, 0.14), ("line", 0.92, 0.14, 0.92, 0.36),
          ("line", 0.92, 0.36, 0.68, 0.5), ("line", 0.0, 0.5, 0.68, 0.5),
          ("line", 0.5, 0.5, 0.95, 1.0)],
    "V": [("line", 0.0, 0.0, 0.5, 1.0), ("line", 0.5, 1.0, 1.0, 0.0)],
    "E": [("line", 0.0, 0.0, 0.0, 1.0), ("line", 0.0, 0.0, 0.92, 0.0),
          ("line", 0.0, 0.5, 0.78, 0.5), ("line", 0.0, 1.0, 0.92, 1.0)],
    "L": [("line", 0.0, 0.0, 0.0, 1.0), ("line", 0.0, 1.0, 0.9, 1.0)],
    "O": [("ring", 0.5, 0.5, 0.5, 0.5)],
}


class Canvas:
    """An RGBA image with coverage-based painting; samples per pixel along each axis."""

    def __init__(self, width, height, background, samples=1):
        self.width = width
        self.height = height
        self.samples = samples
        self.pixels = [list(background) for _ in range(width * height)]

    def paint(self, inside, bounds, colour):
        """Paints colour over every pixel that the predicate inside(x, y) covers."""
        x0, y0, x1, y1 = bounds
        x0 = max(0, int(math.floor(x0)))
        y0 = max(0, int(math.floor(y0)))
        x1 = min(self.width, int(math.ceil(x1)) + 1)
        y1 = min(self.height, int(math.ceil(y1)) + 1)
        n = self.samples
        offsets = [(i + 0.5) / n for i in range(n)]
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if inside(px + ox, py + oy))
                if not hits:
                    continue
                cover = hits / (n * n)
                pixel = self.pixels[py * self.width + px]
                # Straight-alpha "over": what shows through keeps its weight by its own alpha.
                below = pixel[3] / 255 if len(pixel) == 4 else 1.0
                alpha = cover + below * (1 - cover)
                for c in range(3):
                    pixel[c] = round((pixel[c] * below * (1 - cover) + colour[c] * cover) / alpha)
                if len(pixel) == 4:
                    pixel[3] = round(alpha * 255)

    def stroke(self, ax, ay, bx, by, thickness, colour):
        half = thickness / 2
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy or 1e-9

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
            ex, ey = x - (ax + t * dx), y - (ay + t * dy)
            return ex * ex + ey * ey <= half * half

        bounds = (min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half, max(ay, by) + half)
        self.paint(inside, bounds, colour)

    def ring(self, cx, cy, rx, ry, thickness, colour, slant=0.0):
        """An ellipse outline of the given thickness, drawn inside the ellipse (cx, cy, rx, ry),
        its top leaning right by slant times the height above the centre."""
        inner_x, inner_y = rx - thickness, ry - thickness

        def inside(x, y):
            x -= (cy - y) * slant
            u, v = (x - cx) / rx, (y - cy) / ry
            if u * u + v * v > 1:
                return False
            if inner_x <= 0 or inner_y <= 0:
                return True
            u, v = (x - cx) / inner_x, (y - cy) / inner_y
            return u * u + v * v > 1

        lean = abs(slant) * ry
        self.paint(inside, (cx - rx - lean, cy - ry, cx + rx + lean, cy + ry), colour)

    def polygon(self, points, colour):
        """A convex or concave polygon, by the even-odd rule."""

        def inside(x, y):
            result = False
            j = len(points) - 1
            for i, (xi, yi) in enumerate(points):
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result

        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.paint(inside, (min(xs), min(ys), max(xs), max(ys)), colour)


def draw_letter(canvas, letter, left, top, width, height, thickness, slant, colour):
    """Draws one letter into the box, the strokes' centre lines inset by half a stroke."""
    inset = thickness / 2
    w, h = width - thickness, height - thickness

    def place(x, y):
        # Slanted: the top of the letter leans right by slant times its height.
        py = top + inset + y * h
        px = left + inset + x * w + (1 - y) * slant * h
        return px, py

    for shape in LETTERS[letter]:
        if shape[0] == "line":
            (ax, ay), (bx, by) = place(shape[1], shape[2]), place(shape[3], shape[4])
            canvas.stroke(ax, ay, bx, by, thickness, colour)
        else:
            cx, cy = place(shape[1], shape[2])
            canvas.ring(cx, cy, width / 2, height / 2, thickness, colour, slant)


def make_logo():
    canvas = Canvas(LOGO_WIDTH, LOGO_HEIGHT, KEY_GREEN)
    word = "ZARVELO"
    letter_width, letter_height, gap = 196, 178, 34
    thickness, slant = 36, 0.18
    total = len(word) * letter_width + (len(word) - 1) * gap
    left = (LOGO_WIDTH - total) // 2 - 20
    top = 18
    for i, letter in enumerate(word):
        draw_letter(canvas, letter, left + i * (letter_width + gap), top, letter_width,
                    letter_height, thickness, slant, INK)
    # The red swoosh under the word: a slanted bar that thins out towards the right.
    y0, y1 = top + letter_height + 22, top + letter_height + 52
    canvas.polygon([(left + 10, y1), (left + 60, y0), (left + total + 40, y0 + 12),
                    (left + total + 20, y1 - 8)], ACCENT)
    return canvas


def write_bmp24(path, canvas):
    row_size = (canvas.width * 3 + 3) & ~3
    image_size = row_size * canvas.height
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + image_size, 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, image_size,
                       2835, 2835, 0, 0)
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b = canvas.pixels[y * canvas.width + x][:3]
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        rows.append(bytes(row))
    with open(path, "wb") as out:
        out.write(header + info + b"".join(rows))


def make_icon_image(size):
    """A rounded blue square with a white slanted Z over a red bar, anti-aliased with alpha."""
    canvas = Canvas(size, size, (0, 0, 0, 0), samples=4)
    s = size / 32.0
    radius = 6 * s
    margin = 1 * s
    lo, hi = margin, size - margin

    def rounded(x, y):
        cx = min(max(x, lo + radius), hi - radius)
        cy = min(max(y, lo + radius), hi - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius and lo <= x <= hi and lo <= y <= hi

    canvas.paint(rounded, (lo, lo, hi, hi), INK)
    canvas.polygon([(6 * s, 26.5 * s), (8 * s, 23 * s), (27 * s, 23 * s), (25 * s, 26.5 * s)],
                   ACCENT)
    draw_letter(canvas, "Z", 7 * s, 5 * s, 18 * s, 16 * s, max(1.6, 3.4 * s), 0.12, WHITE)
    return canvas


def icon_entry(canvas):
    """One icon image as a BITMAPINFOHEADER, bottom-up BGRA pixels and the AND mask."""
    size = canvas.width
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = canvas.pixels[y * size + x]
            pixels += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_row)
        for x in range(size):
            if canvas.pixels[y * size + x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return info + bytes(pixels) + bytes(mask)


def write_ico(path, images):
    entries = [icon_entry(image) for image in images]
    header = struct.pack("<HHH", 0, 1, len(entries))
    directory = b""
    offset = 6 + 16 * len(entries)
    for image, data in zip(images, entries):
        dim = image.width if image.width < 256 else 0
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as out:
        out.write(header + directory + b"".join(entries))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    write_bmp24(os.path.join(out_dir, "logo.bmp"), make_logo())
    write_ico(os.path.join(out_dir, "icon.ico"), [make_icon_image(n) for n in ICON_SIZES])


if __name__ == "__main__":
    main()

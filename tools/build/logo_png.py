#!/usr/bin/env python3
"""The page's logo: logo_png.py LOGO_BMP OUT_PNG.

Reads the program's 24-bit logo bitmap (resources/logo.bmp), leaves its pure green background
out (transparent, as the window programs draw it) and halves it, the largest size at which the
window programs ever draw it, into a PNG. Called by the build (web/CMakeLists.txt).
"""
import struct
import sys
import zlib

KEY = (0, 255, 0)


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise SystemExit("logo_png.py: %s is not a bitmap" % path)
    offset = struct.unpack_from("<I", data, 10)[0]
    _size, width, height, _planes, bpp, compression = struct.unpack_from("<IiiHHI", data, 14)
    if bpp != 24 or compression != 0:
        raise SystemExit("logo_png.py: only uncompressed 24-bit bitmaps are read")
    stride = (width * 3 + 3) & ~3
    top_down = height < 0
    height = abs(height)
    rows = []
    for y in range(height):
        row = offset + (y if top_down else height - 1 - y) * stride
        pixels = data[row:row + width * 3]
        rows.append([(pixels[x * 3 + 2], pixels[x * 3 + 1], pixels[x * 3]) for x in range(width)])
    return width, height, rows


def halve(width, height, rows):
    """Each 2x2 square becomes one pixel: the mean colour of its drawn pixels, and as opaque as
    the share of them that are drawn."""
    out = []
    for y in range(0, height - 1, 2):
        line = bytearray()
        for x in range(0, width - 1, 2):
            drawn = [p for p in (rows[y][x], rows[y][x + 1], rows[y + 1][x], rows[y + 1][x + 1])
                     if p != KEY]
            if not drawn:
                line += b"\0\0\0\0"
                continue
            line += bytes(sum(p[c] for p in drawn) // len(drawn) for c in range(3))
            line.append(255 * len(drawn) // 4)
        out.append(bytes(line))
    return width // 2, height // 2, out


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main(argv):
    if len(argv) != 3:
        raise SystemExit("usage: logo_png.py LOGO_BMP OUT_PNG")
    write_png(argv[2], *halve(*read_bmp(argv[1])))


if __name__ == "__main__":
    main(sys.argv)

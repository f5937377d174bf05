#!/usr/bin/env python3
"""Cuts the images of a Windows icon into hicolor PNGs: ico_to_png.py icon.ico outdir name [stamp].

Called by the build (gtk/CMakeLists.txt), for the Linux program's installed icons.
"""
import struct
import sys
import zlib
from pathlib import Path

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def encode_png(width, height, rows):
    """rows: top-down list of RGBA byte strings."""
    raw = b"".join(b"\x00" + row for row in rows)
    return (PNG_SIGNATURE +
            png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def dib_to_png(data):
    header_size, width, double_height, _planes, bpp, compression = struct.unpack_from(
        "<IiiHHI", data, 0)
    height = double_height // 2
    if bpp not in (24, 32) or compression != 0:
        raise ValueError(f"icon image of {bpp} bpp (compression {compression}) is not supported")
    stride = (width * bpp // 8 + 3) & ~3
    mask_stride = ((width + 31) // 32) * 4
    pixels = header_size
    mask = pixels + stride * height
    alpha_present = bpp == 32 and any(
        data[pixels + y * stride + x * 4 + 3] for y in range(height) for x in range(width))
    rows = []
    for y in range(height - 1, -1, -1):  # stored bottom-up
        row = bytearray()
        for x in range(width):
            offset = pixels + y * stride + x * (bpp // 8)
            blue, green, red = data[offset], data[offset + 1], data[offset + 2]
            if alpha_present:
                alpha = data[offset + 3]
            else:
                masked = data[mask + y * mask_stride + x // 8] & (0x80 >> (x % 8))
                alpha = 0 if masked else 255
            row += bytes((red, green, blue, alpha))
        rows.append(bytes(row))
    return width, height, encode_png(width, height, rows)


def main():
    icon_path, out_dir, name = sys.argv[1], Path(sys.argv[2]), sys.argv[3]
    stamp = Path(sys.argv[4]) if len(sys.argv) > 4 else None
    data = Path(icon_path).read_bytes()
    _reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind != 1 or count == 0:
        sys.exit(f"{icon_path}: not an icon file")
    best = {}
    for index in range(count):
        _w, _h, _colors, _res, _planes, bpp, size, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * index)
        image = data[offset:offset + size]
        if image.startswith(PNG_SIGNATURE):
            width, height = struct.unpack_from(">II", image, 16)
            png = image
        else:
            width, height, png = dib_to_png(image)
        if width != height:
            continue
        if width not in best or bpp > best[width][0]:
            best[width] = (bpp, png)
    if not best:
        sys.exit(f"{icon_path}: no square image")
    for size, (_bpp, png) in sorted(best.items()):
        target = out_dir / f"{size}x{size}" / "apps" / f"{name}.png"
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(png)
    # The build's record that the icons are up to date.
    if stamp is not None:
        stamp.write_bytes(b"")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""window_shot.py XWD PNG: turns an xwd dump of a window (ZPixmap, 24 or 32 bits per
pixel, as Xvfb gives) into a PNG, and prints its width, height and number of colours."""
import struct
import sys
import zlib


def read_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, _, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise SystemExit(f"unexpected xwd: format {pixmap_format}, {bits_per_pixel} bits per pixel")
    start = header_size + 12 * ncolors
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"
    shifts = [(mask & -mask).bit_length() - 1 for mask in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + width * step]
        row = bytearray()
        for x in range(0, len(line), step):
            value = int.from_bytes(line[x:x + step], order)
            row += bytes((value >> shift) & 0xFF for shift in shifts)
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        out.write(chunk(b"IEND", b""))


def main():
    with open(sys.argv[1], "rb") as dump:
        width, height, rows = read_xwd(dump.read())
    write_png(sys.argv[2], width, height, rows)
    colours = {row[x:x + 3] for row in rows for x in range(0, len(row), 3)}
    print(width, height, len(colours))


if __name__ == "__main__":
    main()

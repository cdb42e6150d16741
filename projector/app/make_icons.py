#!/usr/bin/env python3
"""Writes the projector's two icons (.ico files with 16 x 16 and 32 x 32 images of 32 bits per
pixel), drawn here so that no binary file needs to be kept.

    make_icons.py OUTPUT_FOLDER
"""
import math
import struct
import sys
from pathlib import Path


def image(size, body, ring):
    """A BITMAPINFOHEADER with the XOR (BGRA, bottom-up) and AND masks of a round badge."""
    centre = (size - 1) / 2.0
    radius = size / 2.0 - 0.5
    pixels = bytearray()
    mask_rows = []
    for row in range(size - 1, -1, -1):  # bottom-up
        bits = []
        for column in range(size):
            distance = math.hypot(column - centre, row - centre)
            if distance <= radius:
                colour = ring if distance > radius - max(1.5, size / 10.0) else body
                # A wave across the middle: the mark of a fish swimming by.
                wave = centre + math.sin(column / size * 2 * math.pi) * size / 8.0
                if abs(row - wave) < size / 14.0 + 0.5 and distance <= radius - size / 8.0:
                    colour = (255, 255, 255)
                red, green, blue = colour
                pixels += bytes((blue, green, red, 255))
                bits.append(0)
            else:
                pixels += bytes((0, 0, 0, 0))
                bits.append(1)
        row_bytes = bytearray((size + 31) // 32 * 4)
        for column, bit in enumerate(bits):
            if bit:
                row_bytes[column // 8] |= 0x80 >> (column % 8)
        mask_rows.append(bytes(row_bytes))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    return header + bytes(pixels) + b"".join(mask_rows)


def icon(body, ring):
    images = [image(size, body, ring) for size in (16, 32)]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2 or sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return 0 if len(sys.argv) == 2 else 2
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "tarpon_main.ico").write_bytes(icon((20, 110, 140), (10, 60, 80)))
    (folder / "tarpon_tray.ico").write_bytes(icon((200, 120, 20), (110, 60, 10)))
    return 0


if __name__ == "__main__":
    sys.exit(main())

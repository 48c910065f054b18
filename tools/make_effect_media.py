#!/usr/bin/python3
"""Makes the program folder's effect media: tiling background pictures in
data/gif/ and a short MIDI tune in data/mid/, all our own. Run from the
repository root with /usr/bin/python3 (needs Pillow); the results are
committed, so the build does not need this script."""

import os
import struct
import sys

from PIL import Image, ImageDraw


def tile(name, size, paint):
    img = Image.new("RGB", (size, size), (255, 255, 255))
    paint(ImageDraw.Draw(img), size)
    img.convert("P", palette=Image.ADAPTIVE, colors=16).save(os.path.join("data", "gif", name))


def paper(draw, size):
    # Soft cream squares with a faint grid.
    draw.rectangle([0, 0, size, size], fill=(250, 245, 230))
    for i in range(0, size, 16):
        draw.line([(i, 0), (i, size)], fill=(238, 230, 210))
        draw.line([(0, i), (size, i)], fill=(238, 230, 210))


def dots(draw, size):
    draw.rectangle([0, 0, size, size], fill=(232, 242, 252))
    for y in range(8, size, 24):
        for x in range(8 + (y // 24 % 2) * 12, size, 24):
            draw.ellipse([x - 3, y - 3, x + 3, y + 3], fill=(196, 220, 244))


def stripes(draw, size):
    draw.rectangle([0, 0, size, size], fill=(240, 250, 240))
    for x in range(-size, size, 20):
        draw.line([(x, size), (x + size, 0)], fill=(215, 236, 215), width=6)


def midi_tune(path):
    """A format 0 MIDI file: a short melody on a piano, 120 beats a minute."""
    ticks = 96
    notes = [60, 62, 64, 65, 67, 67, 69, 67, 65, 64, 62, 60]
    lengths = [1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 2]

    def var(n):
        out = [n & 0x7F]
        n >>= 7
        while n:
            out.insert(0, (n & 0x7F) | 0x80)
            n >>= 7
        return bytes(out)

    track = bytearray()
    track += var(0) + b"\xFF\x51\x03" + (500000).to_bytes(3, "big")  # tempo
    track += var(0) + b"\xC0\x00"  # piano
    for note, beats in zip(notes, lengths):
        track += var(0) + bytes([0x90, note, 80])
        track += var(ticks * beats) + bytes([0x80, note, 0])
    track += var(0) + b"\xFF\x2F\x00"
    data = b"MThd" + struct.pack(">IHHH", 6, 0, 1, ticks) + b"MTrk" + struct.pack(">I", len(track)) + bytes(track)
    with open(path, "wb") as f:
        f.write(data)


def main():
    if not os.path.isdir("data"):
        sys.exit("run from the repository root")
    os.makedirs(os.path.join("data", "gif"), exist_ok=True)
    os.makedirs(os.path.join("data", "mid"), exist_ok=True)
    tile("paper.gif", 64, paper)
    tile("dots.gif", 48, dots)
    tile("stripes.gif", 40, stripes)
    midi_tune(os.path.join("data", "mid", "tune.mid"))


if __name__ == "__main__":
    main()

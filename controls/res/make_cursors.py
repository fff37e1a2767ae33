#!/usr/bin/env python3
"""Writes the hand and drag-hand cursors (32 x 32 PNG images in .cur files)
from the pictures below: '#' black, '.' white, anything else clear.
Run from this folder; the .cur files are kept beside it."""
import struct
import zlib

HAND = (6, 0), """
     ##
    #..#
    #..#
    #..#
    #..#
    #..###
    #..#..###
    #..#..#..##
 ## #..#..#..#.#
#..##........#..#
#...#...........#
 #..............#
  #.............#
  #............#
   #...........#
   #..........#
    #.........#
    #.........#
    ###########
"""

DRAG_HAND = (8, 6), """

    ## ## ##
   #..#..#..##
   #..#..#..#.#
 ###..........#
#..#..........#
#.............#
 #............#
  #...........#
  #..........#
   #.........#
   #.........#
   ###########
"""


def png(rows):
    raw = b""
    for y in range(32):
        line = rows[y] if y < len(rows) else ""
        raw += b"\0"
        for x in range(32):
            c = line[x] if x < len(line) else " "
            raw += {"#": b"\0\0\0\xff", ".": b"\xff\xff\xff\xff"}.get(c, b"\0\0\0\0")

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 32, 32, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def cur(picture):
    (hx, hy), art = picture
    image = png(art.split("\n")[1:])
    return struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", 32, 32, 0, 0, hx, hy, len(image), 22) + image


for name, picture in (("ex_handcur.cur", HAND), ("ex_dragcur.cur", DRAG_HAND)):
    with open(name, "wb") as f:
        f.write(cur(picture))

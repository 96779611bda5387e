#!/usr/bin/env python3
"""Writes the waypoint symbol icons: a strip of 221 icons of 16 x 16 pixels
(24-bit BMP, transparent pixels in the mask colour 0x808080; image n is the
icon of symbol n) and the default waypoint icon (a 32 x 32, 32-bit ICO file).

    make_symbols.py ICON_DIR OUT_STRIP.bmp OUT_DEFAULT.ico [PREVIEW.png]

ICON_DIR holds the map's point icons (render/res/icons, CC0): symbols with
the same meaning reuse the middle 16 x 16 of those. The others are drawn
here from shapes, small pictures and letters. Only the standard library is
used, and the output is the same byte for byte on every run.
"""
import os
import struct
import sys
import zlib

N_SYMBOLS = 221
SIDE = 16
MASK = (0x80, 0x80, 0x80)

WHITE, BLACK, DARK = (255, 255, 255), (0, 0, 0), (40, 40, 40)
RED, GREEN, BLUE = (220, 20, 20), (0, 150, 40), (20, 70, 210)
AMBER, ORANGE, VIOLET = (255, 176, 0), (255, 120, 0), (150, 40, 190)
YELLOW, BROWN, GREY = (250, 220, 40), (130, 80, 20), (96, 96, 96)
MARINE, LAND, SERVICE, FOOD, AIR, PERSON, NATURE = (
    (20, 90, 170), (120, 70, 20), (0, 119, 192), (199, 116, 0), (70, 70, 150), (230, 170, 40), (46, 139, 46))

# The 3 x 5 letters and digits.
FONT = {
    "A": "010101111101101", "B": "110101110101110", "C": "011100100100011", "D": "110101101101110",
    "E": "111100110100111", "F": "111100110100100", "G": "011100101101011", "H": "101101111101101",
    "I": "111010010010111", "J": "001001001101010", "K": "101101110101101", "L": "100100100100111",
    "M": "101111111101101", "N": "110101101101101", "O": "010101101101010", "P": "110101110100100",
    "Q": "010101101110011", "R": "110101110101101", "S": "011100010001110", "T": "111010010010010",
    "U": "101101101101111", "V": "101101101101010", "W": "101101111111101", "X": "101101010101101",
    "Y": "101101010010010", "Z": "111001010100111", "0": "111101101101111", "1": "010110010010111",
    "2": "110001010100111", "3": "110001010001110", "4": "101101111001001", "5": "111100110001110",
    "6": "011100111101111", "7": "111001010010010", "8": "111101111101111", "9": "111101111001110",
    "$": "011110010011110", "+": "000010111010000", "-": "000000111000000", "/": "001001010100100",
    "?": "110001010000010", "!": "010010010000010",
}

# Small pictures: '.' transparent, other characters name colours.
PICT_COLOURS = {
    "k": BLACK, "w": WHITE, "r": RED, "g": GREEN, "b": BLUE, "y": YELLOW, "o": ORANGE, "n": BROWN,
    "d": DARK, "s": (170, 170, 170), "m": MARINE, "p": (255, 190, 170), "v": VIOLET, "c": (120, 200, 255),
    "G": (30, 110, 30), "a": AMBER, "P": (250, 150, 170),
}

PICTS = {
    "anchor": [
        "......mmm.......", ".....m...m......", "......mmm.......", ".......m........",
        ".....mmmmm......", ".......m........", ".......m........", ".......m........",
        ".......m........", ".m.....m.....m..", ".mm....m....mm..", "..mm...m...mm...",
        "...mmm.m.mmm....", ".....mmmmm......", "................", "................"],
    "bell": [
        "................", ".......a........", "......aaa.......", ".....aaaaa......",
        "....aaaaaaa.....", "....aaaaaaa.....", "....aaaaaaa.....", "....aaaaaaa.....",
        "...aaaaaaaaa....", "..aaaaaaaaaaa...", "..kkkkkkkkkkk...", "......kkk.......",
        ".......k........", "................", "................", "................"],
    "horn": [
        "................", "................", "...........kk...", "..........kaak..",
        ".........kaaak..", "..kk....kaaaak..", "..kaakkkaaaaak..", "..kaaaaaaaaaak..",
        "..kaakkkaaaaak..", "..kk....kaaaak..", ".........kaaak..", "..........kaak..",
        "...........kk...", "................", "................", "................"],
    "skull": [
        "................", ".....wwwwww.....", "....wwwwwwww....", "...wwwwwwwwww...",
        "...wkkwwwwkkw...", "...wkkwwwwkkw...", "...wwwwkkwwww...", "....wwwwwwww....",
        ".....wkwkwkw....", ".....wwwwwww....", "..k..........k..", "...kk......kk...",
        ".....kk..kk.....", ".......kk.......", ".....kk..kk.....", "...kk......kk..."],
    "buoy": [
        "................", ".......k........", "......kwk.......", ".....kwwwk......",
        "....kwwwwwk.....", "....kwwwwwk.....", "...kwwwwwwwk....", "...kwwwwwwwk....",
        "..kwwwwwwwwwk...", "..kkkkkkkkkkk...", ".ccccccccccccc..", "..cccccccccc....",
        "................", "................", "................", "................"],
    "wreck": [
        "................", "........k.......", "........k.......", "........k.......",
        "........k.......", "....k...k.......", "....kk..k.......", "....kkkkkkkkkk..",
        ".....kkkkkkkk...", ".....kkkkkkk....", "cccccccccccccccc", "cc.cc.cc.cc.cc.c",
        "................", "................", "................", "................"],
    "ring": [
        "................", ".....rrrrrr.....", "....rrwwwwrr....", "...rww....wwr...",
        "..rrw......wrr..", "..rw........wr..", "..rw........wr..", "..rr........rr..",
        "..rr........rr..", "..rw........wr..", "..rw........wr..", "..rrw......wrr..",
        "...rww....wwr...", "....rrwwwwrr....", ".....rrrrrr.....", "................"],
    "car": [
        "................", "................", "................", "....bbbbbbb.....",
        "...bcccbcccb....", "..bccccbccccb...", ".bbbbbbbbbbbbbb.", ".bbbbbbbbbbbbbb.",
        ".byybbbbbbbbyyb.", ".bbbbbbbbbbbbbb.", "..kkk......kkk..", "..kkk......kkk..",
        "................", "................", "................", "................"],
    "truck": [
        "................", "................", "..nnnnnnnn......", "..nnnnnnnn......",
        "..nnnnnnnnrrrr..", "..nnnnnnnnrccr..", "..nnnnnnnnrccrr.", "..nnnnnnnnrrrrr.",
        "..nnnnnnnnrrrrr.", "...kk....kk.kk..", "...kk....kk.kk..", "................",
        "................", "................", "................", "................"],
    "tree": [
        "................", ".......G........", "......GGG.......", ".....GGGGG......",
        "....GGGGGGG.....", "......GGG.......", ".....GGGGG......", "....GGGGGGG.....",
        "...GGGGGGGGG....", "..GGGGGGGGGGG...", ".......n........", ".......n........",
        ".......n........", "................", "................", "................"],
    "summit": [
        "................", "................", "................", ".......k........",
        "......kwk.......", ".....kwwwk......", ".....knnnk......", "....knnnnnk.....",
        "...knnnnnnnk....", "...knnnnnnnk....", "..knnnnnnnnnk...", ".knnnnnnnnnnnk..",
        ".kkkkkkkkkkkkk..", "................", "................", "................"],
    "beach": [
        "................", "......rrrrr.....", "....rrwwrrwwr...", "...rrwwrrwwrrr..",
        "...........k....", "..........k.....", ".........k......", "........k.......",
        ".......k........", "......k.........", "yyyyyyyyyyyyyyyy", "yyyyyyyyyyyyyyyy",
        "cccccccccccccccc", "................", "................", "................"],
    "plane": [
        "................", ".......b........", "......bbb.......", "......bbb.......",
        "......bbb.......", ".....bbbbb......", "...bbbbbbbbb....", ".bbbbbbbbbbbbb..",
        ".bb...bbb...bb..", "......bbb.......", "......bbb.......", ".....bbbbb......",
        "....bbbbbbb.....", "................", "................", "................"],
    "heli": [
        "................", ".bbbbbbbbbbbbb..", ".......b........", ".....bbbbb......",
        "....bcccbbb.....", "...bccccbbbbbbbb", "...bbbbbbbb...b.", "....bbbbbb......",
        ".....b...b......", "...bbbbbbbbb....", "................", "................",
        "................", "................", "................", "................"],
    "chute": [
        "................", ".....ooooo......", "...ooooooooo....", "..ooooooooooo...",
        "..o..o...o..o...", "...o..o.o..o....", "....o..o..o.....", ".....o.o.o......",
        "......ooo.......", ".......k........", "......kkk.......", ".......k........",
        "......k.k.......", "................", "................", "................"],
    "glider": [
        "................", "................", "................", "................",
        "................", ".......b........", "bbbbbbbbbbbbbbbb", ".......b........",
        ".......b........", ".......b........", ".......b........", "......bbb.......",
        "................", "................", "................", "................"],
    "ultralight": [
        "................", "................", ".......b........", "......bbb.......",
        ".....bbbbb......", "....bbbbbbb.....", "...bbbbbbbbb....", "..bbbbbbbbbbb...",
        ".......k........", "......kkk.......", ".....k.k.k......", "......k.k.......",
        "................", "................", "................", "................"],
    "tent": [
        "................", "................", "................", ".......k........",
        "......kgk.......", ".....kgggk......", ".....kgggk......", "....kggkggk.....",
        "...kggkkkggk....", "...kggkkkggk....", "..kggkkkkkggk...", "..kkkkkkkkkkk...",
        "................", "................", "................", "................"],
    "fish": [
        "................", "................", "................", "................",
        "......bbbbb.....", "b...bbbbbbbb....", "bb.bbbbbbbkbb...", "bbbbbbbbbbbbbb..",
        "bb.bbbbbbbbbb...", "b...bbbbbbbb....", "......bbbbb.....", "................",
        "................", "................", "................", "................"],
    "dam": [
        "................", "cccccccc........", "cccccccc........", "cccccccck.......",
        "cccccccckk......", "cccccccckkk.....", "cccccccckkkk....", "cccccccckkkkk...",
        "cccccccckkkkkk..", "sssssssssssssscc", "sssssssssssssssc", "................",
        "................", "................", "................", "................"],
    "tower": [
        "................", ".......r........", ".......k........", "......kkk.......",
        "......k.k.......", "......kkk.......", ".....k...k......", ".....kkkkk......",
        ".....k...k......", "....k.....k.....", "....kkkkkkk.....", "...k.......k....",
        "...kkkkkkkkk....", "................", "................", "................"],
    "bug": [
        "................", "...k.......k....", "....k.....k.....", ".....kkkkk......",
        "....kkkkkkk.....", "..k.rrrkrrr.k...", "...krrrkrrrk....", "..k.rkrkrkr.k...",
        "...krrrkrrrk....", "..k.rrrkrrr.k...", ".....rrkrr......", "................",
        "................", "................", "................", "................"],
    "alien": [
        "................", "...g.......g....", "....g.....g.....", ".....ggggg......",
        "....ggggggg.....", "...gggggggggg...", "...gkkgggkkgg...", "...gkkgggkkgg...",
        "....ggggggg.....", ".....gkkkg......", "......ggg.......", "................",
        "................", "................", "................", "................"],
    "cat": [
        "................", "...n.......n....", "...nn.....nn....", "...nnnnnnnnn....",
        "...nnnnnnnnn....", "..nnkknnnkknn...", "..nnnnnnnnnnn...", "..nnnnnkknnnn...",
        "kk.nnnnnnnnn.kk.", "....nnnnnnn.....", "......nnn.......", "................",
        "................", "................", "................", "................"],
    "dog": [
        "................", "..nn.......nn...", ".nnnnnnnnnnnnn..", ".nnnwwwwwwwnnn..",
        ".nnwkkwwwkkwnn..", "..nwwwwwwwwwn...", "...wwwwkwwww....", "...wwwkkkwww....",
        "....wwwwwww.....", ".....wwrww......", "................", "................",
        "................", "................", "................", "................"],
    "pig": [
        "................", "...P.......P....", "..PPP.....PPP...", "..PPPPPPPPPPP...",
        "..PPkPPPPPkPP...", "..PPPPPPPPPPP...", "..PPPpppppPPP...", "..PPPpkpkpPPP...",
        "..PPPpppppPPP...", "...PPPPPPPPP....", ".....PPPPP......", "................",
        "................", "................", "................", "................"],
    "hydrant": [
        "................", "......rrr.......", ".....rrrrr......", ".....rrrrr......",
        "....rrrrrrr.....", "...rrrrrrrrr....", "....rrrrrrr.....", ".....rrrrr......",
        ".....rrrrr......", ".....rrrrr......", "....rrrrrrr.....", "................",
        "................", "................", "................", "................"],
    "bike": [
        "................", "................", "................", "........k.......",
        "......kkkk......", "...k..k.k.......", "..kkkk...k......", ".k..k.k..kkk....",
        "k...kk.kk...k...", "k....k..k....k..", ".k..k....k..k...", "..kk......kk....",
        "................", "................", "................", "................"],
}


class Img:
    def __init__(self, w, h, bg=MASK):
        self.w, self.h = w, h
        self.px = [bg] * (w * h)

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = c

    def get(self, x, y):
        return self.px[y * self.w + x]

    def fill(self, pred, c):
        for y in range(self.h):
            for x in range(self.w):
                if pred(x + 0.5, y + 0.5):
                    self.set(x, y, c)


def disk(img, cx, cy, r, c):
    img.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, c)


def outlined_disk(img, cx, cy, r, fill, edge=DARK):
    disk(img, cx, cy, r, edge)
    disk(img, cx, cy, r - 1, fill)


def half_disk(img, cx, cy, r, left, right, edge=DARK):
    disk(img, cx, cy, r, edge)
    img.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= (r - 1) ** 2, left)
    img.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= (r - 1) ** 2 and x > cx, right)


def rect(img, x0, y0, x1, y1, c, edge=None):
    for y in range(y0, y1):
        for x in range(x0, x1):
            on_edge = x in (x0, x1 - 1) or y in (y0, y1 - 1)
            img.set(x, y, edge if edge is not None and on_edge else c)


def diamond(img, c, r=7.5, edge=DARK):
    img.fill(lambda x, y: abs(x - 8) + abs(y - 8) <= r, edge)
    img.fill(lambda x, y: abs(x - 8) + abs(y - 8) <= r - 1.5, c)


def triangle(img, c, edge=DARK):
    inside = lambda x, y, m: y >= 2 + m and y <= 14 - m and abs(x - 8) <= (y - 2) * 0.55 - m * 0.6
    img.fill(lambda x, y: inside(x, y, 0), edge)
    img.fill(lambda x, y: inside(x, y, 1.2), c)


def oval(img, c, rx=7.5, ry=5, edge=DARK):
    img.fill(lambda x, y: ((x - 8) / rx) ** 2 + ((y - 8) / ry) ** 2 <= 1, edge)
    img.fill(lambda x, y: ((x - 8) / (rx - 1.2)) ** 2 + ((y - 8) / (ry - 1.2)) ** 2 <= 1, c)


def flag(img, c):
    rect(img, 3, 1, 5, 15, DARK)
    rect(img, 5, 2, 14, 9, c, DARK)


def pin(img, c):
    for y in range(9, 15):
        img.set(7, y, DARK)
        img.set(8, y, DARK)
    outlined_disk(img, 8, 6, 5.2, c)
    disk(img, 6.6, 4.6, 1.3, WHITE)


def block(img, c):
    shade = tuple(max(0, v - 70) for v in c)
    rect(img, 4, 2, 15, 13, shade)
    rect(img, 1, 4, 12, 15, c, DARK)


def text(img, s, c, scale=None, cx=8, cy=8):
    if scale is None:
        scale = 2 if len(s) == 1 else 1
    w = (4 * len(s) - 1) * scale
    x0 = int(round(cx - w / 2))
    y0 = int(round(cy - 5 * scale / 2))
    for i, ch in enumerate(s):
        bits = FONT[ch]
        for gy in range(5):
            for gx in range(3):
                if bits[gy * 3 + gx] == "1":
                    for sy in range(scale):
                        for sx in range(scale):
                            img.set(x0 + (4 * i + gx) * scale + sx, y0 + gy * scale + sy, c)


def badge(img, c, label=None, fg=WHITE, square=False):
    if square:
        rect(img, 1, 1, 15, 15, c, DARK)
    else:
        outlined_disk(img, 8, 8, 7.6, c)
    if label:
        text(img, label, fg)


def pict(img, name):
    for y, row in enumerate(PICTS[name]):
        for x, ch in enumerate(row):
            if ch != ".":
                img.set(x, y, PICT_COLOURS[ch])


def read_ico_middle(path):
    """The middle 16 x 16 of a 32 x 32, 32-bit icon file, over the mask."""
    with open(path, "rb") as f:
        data = f.read()
    _, _, count = struct.unpack_from("<HHH", data, 0)
    w, h, _, _, _, bits, _, offset = struct.unpack_from("<BBBBHHII", data, 6)
    if count < 1 or w != 32 or h != 32 or bits != 32:
        raise ValueError(path + ": not a 32 x 32, 32-bit icon")
    hdr = struct.unpack_from("<IiiHHIIiiII", data, offset)
    pixels = offset + hdr[0]
    img = Img(SIDE, SIDE)
    for y in range(SIDE):
        row = 31 - (y + 8)  # rows bottom-up
        for x in range(SIDE):
            b, g, r, a = data[pixels + (row * 32 + x + 8) * 4:pixels + (row * 32 + x + 8) * 4 + 4]
            if a >= 128:
                # Only transparent pixels may have the mask colour.
                img.set(x, y, (r, g, b) if (r, g, b) != MASK else (0x81, 0x81, 0x81))
    return img


def icon_from(name):
    return lambda img: img.px.__setitem__(slice(None), read_ico_middle(os.path.join(ICON_DIR, name + ".ico")).px)


def both(*fns):
    def draw(img):
        for fn in fns:
            fn(img)
    return draw


def navaid(left, right=None):
    return lambda img: half_disk(img, 8, 8, 6, left, right if right is not None else left)


ICON_DIR = "."
B = badge

# How each symbol is drawn (symbol 18 is the default waypoint icon).
SYMBOLS = {
    0: lambda i: pict(i, "anchor"),
    1: lambda i: pict(i, "bell"),
    2: lambda i: diamond(i, GREEN),
    3: lambda i: diamond(i, RED),
    4: lambda i: (rect(i, 1, 2, 15, 14, RED, DARK), [i.set(x, x - 1, WHITE) or i.set(x + 1, x - 1, WHITE) for x in range(2, 14)]),
    5: lambda i: (rect(i, 1, 2, 15, 14, WHITE, DARK), rect(i, 8, 3, 14, 13, BLUE)),
    6: icon_from("1337"),
    7: icon_from("1351"),
    8: icon_from("1332"),
    9: lambda i: pict(i, "horn"),
    10: icon_from("1357"),
    11: icon_from("1320"),
    12: icon_from("1368"),
    13: icon_from("1346"),
    14: lambda i: pict(i, "skull"),
    15: lambda i: rect(i, 2, 2, 14, 14, GREEN, DARK),
    16: lambda i: rect(i, 2, 2, 14, 14, RED, DARK),
    17: lambda i: pict(i, "buoy"),
    19: lambda i: pict(i, "wreck"),
    20: lambda i: [i.set(x, y, DARK) for x in range(3, 13) for y in range(3, 13)
                   if (x in (3, 12) or y in (3, 12)) and (x + y) % 2 == 0],
    21: lambda i: (pict(i, "ring"), text(i, "M", RED, 1)),
    22: navaid(AMBER), 23: navaid(BLACK), 24: navaid(BLUE), 25: navaid(GREEN),
    26: navaid(GREEN, RED), 27: navaid(GREEN, WHITE), 28: navaid(ORANGE), 29: navaid(RED),
    30: navaid(RED, GREEN), 31: navaid(RED, WHITE), 32: navaid(VIOLET), 33: navaid(WHITE),
    34: navaid(WHITE, GREEN), 35: navaid(WHITE, RED),
    36: lambda i: outlined_disk(i, 8, 8, 3.6, WHITE),
    37: lambda i: (outlined_disk(i, 8, 8, 7.6, VIOLET), disk(i, 8, 8, 5.2, WHITE), text(i, "R", VIOLET)),
    38: icon_from("1310"),
    39: icon_from("1324"),
    40: icon_from("1340"),
    41: lambda i: B(i, SERVICE, "SH"),
    42: icon_from("1352"),
    43: icon_from("1353"),
    44: lambda i: (rect(i, 1, 1, 15, 15, WHITE, DARK), rect(i, 6, 3, 10, 13, RED), rect(i, 3, 6, 13, 10, RED)),
    45: icon_from("1349"),
    46: icon_from("1339"),
    47: icon_from("1347"),
    48: icon_from("1348"),
    49: icon_from("1326"),
    50: icon_from("1354"),
    51: icon_from("1355"),
    52: lambda i: pict(i, "dam"),
    53: lambda i: (outlined_disk(i, 8, 8, 7.6, AMBER), text(i, "C", DARK)),
    54: lambda i: (triangle(i, YELLOW), text(i, "!", DARK, 1, 8, 10)),
    55: lambda i: (outlined_disk(i, 8, 8, 7.6, RED), rect(i, 3, 7, 13, 10, WHITE)),
    56: lambda i: [i.set(x, y, (200, 200, 200)) for x in range(16) for y in range(16)
                   if 5.5 <= ((x - 7.5) ** 2 + (y - 7.5) ** 2) ** 0.5 <= 6.6],
    57: lambda i: (outlined_disk(i, 8, 8, 7.6, WHITE), [i.set(x, 4 + (x - 5) ** 2 // 6, RED) for x in range(3, 13)]),
    58: lambda i: pict(i, "car"),
    59: lambda i: (B(i, NATURE), disk(i, 8, 8, 4.5, WHITE), disk(i, 8, 8, 3, NATURE), disk(i, 8, 8, 1.5, WHITE)),
    60: icon_from("1331"),
    61: icon_from("1323"),
    62: lambda i: B(i, GREY, "X", YELLOW),
    63: lambda i: B(i, NATURE, "TH"),
    64: lambda i: pict(i, "truck"),
    65: icon_from("1313"),
    66: lambda i: flag(i, ORANGE),
    67: lambda i: (outlined_disk(i, 8, 8, 7.6, WHITE), text(i, "X", RED)),
    68: lambda i: B(i, SERVICE, "24", WHITE, True),
    69: icon_from("1351"),
    70: lambda i: (rect(i, 0, 9, 16, 16, (180, 140, 60)), [i.set(x, 9 - (x % 4 == 0), DARK) for x in range(16)],
                   rect(i, 7, 1, 9, 8, BLUE), [i.set(8 + d, 7 - abs(d), BLUE) for d in range(-3, 4)]),
    71: lambda i: B(i, MARINE, "T"),
    72: lambda i: (pict(i, "anchor"), [i.set(x, x, RED) or i.set(x, x + 1, RED) for x in range(1, 15)]),
    73: icon_from("1368"),
    74: lambda i: B(i, (230, 90, 20), "CG", WHITE, True),
    75: lambda i: (rect(i, 0, 10, 16, 16, (120, 200, 255)), [i.set(x, 10 - ((x * 5) % 7) // 2, BROWN) for x in range(16)],
                   [i.set(x, 9 - ((x * 5) % 7) // 3, BROWN) for x in range(2, 14)]),
    76: lambda i: (rect(i, 0, 11, 16, 16, (120, 200, 255)), [i.set(x, y, (30, 120, 40)) for x in (3, 6, 9, 12)
                                                           for y in range(4 + x % 3, 13)]),
    77: lambda i: (rect(i, 0, 3, 16, 14, (120, 200, 255)), [i.set(x, y, DARK) for x in range(16) for y in range(3, 14)
                                                          if y >= 3 + x // 1.3]),
    78: lambda i: (rect(i, 0, 10, 16, 16, (120, 200, 255)), rect(i, 2, 6, 14, 10, BROWN, DARK),
                   rect(i, 4, 10, 5, 14, DARK), rect(i, 11, 10, 12, 14, DARK)),
    79: lambda i: (B(i, MARINE), text(i, "M", WHITE)),
    80: lambda i: pict(i, "fish"),
    81: lambda i: (rect(i, 0, 11, 16, 16, (120, 200, 255)), rect(i, 5, 4, 11, 12, BROWN, DARK)),
    82: lambda i: (rect(i, 1, 3, 15, 15, BLUE, WHITE), rect(i, 1, 1, 15, 5, RED), text(i, "I", WHITE, 1, 8, 10)),
    83: lambda i: (rect(i, 1, 1, 15, 15, WHITE, DARK), text(i, "US", DARK)),
    84: lambda i: (oval(i, WHITE, 7.5, 6.5), text(i, "S", DARK)),
    85: lambda i: (rect(i, 5, 1, 11, 11, GREEN, WHITE), rect(i, 7, 11, 9, 15, GREY), text(i, "1", WHITE, 1, 8, 6)),
    86: lambda i: (outlined_disk(i, 8, 8, 6, (120, 220, 120)), text(i, "T", DARK)),
    87: icon_from("1350"),
    88: lambda i: (outlined_disk(i, 8, 8, 4, WHITE)),
    89: lambda i: (outlined_disk(i, 8, 8, 5.5, WHITE), disk(i, 8, 8, 2, DARK)),
    90: lambda i: (outlined_disk(i, 8, 8, 7, WHITE), disk(i, 8, 8, 3.5, DARK)),
    91: lambda i: (rect(i, 1, 1, 15, 15, GREEN, WHITE), text(i, "F", WHITE)),
    92: lambda i: (rect(i, 1, 1, 15, 15, (250, 200, 0), DARK), text(i, "N", DARK)),
    93: lambda i: (outlined_disk(i, 8, 8, 7, WHITE), [i.set(8 + round(5.5 * dx), 8 + round(5.5 * dy), RED)
                                                   for dx, dy in ((0, -1), (0.95, -0.3), (0.6, 0.8), (-0.6, 0.8), (-0.95, -0.3))],
                   disk(i, 8, 8, 3.5, RED)),
    94: lambda i: B(i, (220, 40, 140), "AP"),
    95: lambda i: (B(i, DARK), disk(i, 6, 6, 1.2, WHITE), disk(i, 10, 6, 1.2, WHITE), disk(i, 8, 10, 1.2, WHITE)),
    96: icon_from("1333"),
    97: icon_from("1334"),
    98: icon_from("1321"),
    99: lambda i: (B(i, (220, 40, 140)), rect(i, 3, 7, 13, 9, WHITE), rect(i, 3, 5, 5, 11, WHITE), rect(i, 11, 5, 13, 11, WHITE)),
    100: icon_from("1329"),
    101: icon_from("1325"),
    102: icon_from("1369"),
    103: lambda i: (i.fill(lambda x, y: y >= 2 and abs(x - 8) <= (16 - y) * 0.5 and y <= 15, (240, 200, 90)),
                    [disk(i, cx, cy, 1.3, RED) for cx, cy in ((8, 12), (6, 9), (10, 9), (8, 6))]),
    104: icon_from("1336"),
    105: lambda i: B(i, LODGING_RV, "RV"),
    106: icon_from("1363"),
    107: lambda i: (oval(i, (60, 170, 60), 7.5, 5.5), oval(i, (120, 220, 120), 4.5, 2.5, WHITE)),
    108: icon_from("1330"),
    109: lambda i: B(i, NATURE, "Z"),
    110: lambda i: B(i, (160, 60, 160), "$", WHITE, True),
    111: icon_from("1328"),
    112: lambda i: (rect(i, 7, 0, 9, 16, DARK), [i.set(x, 15 - x, DARK) or i.set(x + 1, 15 - x, DARK) for x in range(0, 15)]),
    113: lambda i: (rect(i, 7, 0, 9, 16, DARK), rect(i, 0, 7, 16, 9, DARK)),
    114: lambda i: B(i, GREY, "W", WHITE, True),
    115: lambda i: B(i, (240, 200, 0), "$", DARK),
    116: lambda i: (triangle(i, (120, 80, 40)), disk(i, 8, 10, 1.5, WHITE)),
    117: lambda i: (rect(i, 1, 3, 15, 13, GREEN, WHITE), text(i, "EX", WHITE)),
    118: lambda i: B(i, BROWN, "P", WHITE, True),
    119: lambda i: B(i, BLUE, "P", WHITE, True),
    120: lambda i: B(i, NATURE, "P", WHITE, True),
    121: icon_from("1359"),
    122: icon_from("1357"),
    123: icon_from("1360"),
    124: icon_from("1327"),
    125: icon_from("1344"),
    126: lambda i: (rect(i, 0, 0, 16, 16, YELLOW, DARK), [i.set(x, y, DARK) for x in range(16) for y in range(16)
                                                        if abs(x - y) <= 0.8 or abs(x + y - 15) <= 0.8]),
    127: lambda i: B(i, BROWN, "H"),
    128: lambda i: (rect(i, 0, 7, 16, 14, (120, 200, 255)), i.fill(lambda x, y: 3 <= y < 11 and abs(x - 8) <= (y - 1) * 0.9, (100, 170, 70))),
    129: icon_from("1361"),
    130: lambda i: (rect(i, 6, 3, 10, 15, DARK), rect(i, 2, 2, 14, 4, DARK), i.set(2, 4, DARK), disk(i, 12.5, 13, 2, DARK)),
    131: lambda i: (rect(i, 0, 4, 16, 15, (120, 120, 120)), i.fill(lambda x, y: y >= 6.5 and (x - 8) ** 2 + (y - 15) ** 2 <= 36, BLACK)),
    132: lambda i: pict(i, "beach"),
    133: lambda i: pict(i, "tree"),
    134: icon_from("1366"),
    135: lambda i: (rect(i, 1, 1, 15, 15, BLUE, WHITE), text(i, "RX", WHITE)),
    136: lambda i: (rect(i, 1, 1, 15, 15, GREY, WHITE), text(i, "EX", WHITE)),
    137: icon_from("1342"),
    138: lambda i: (rect(i, 2, 1, 14, 15, WHITE, DARK), disk(i, 5, 4, 1.3, RED), disk(i, 11, 12, 1.3, RED), disk(i, 8, 8, 1.3, RED)),
    139: lambda i: (B(i, (90, 160, 230)), text(i, "SK", WHITE)),
    140: lambda i: (B(i, (140, 200, 240)), text(i, "IS", DARK)),
    141: lambda i: (pict(i, "truck"), rect(i, 0, 2, 2, 10, DARK)),
    142: lambda i: (rect(i, 0, 0, 16, 16, WHITE, DARK), rect(i, 7, 1, 9, 15, RED), text(i, "B", DARK, 1, 4, 8)),
    143: lambda i: (rect(i, 1, 3, 15, 14, (90, 140, 40), DARK), rect(i, 1, 3, 15, 6, (60, 100, 20)), text(i, "?", WHITE, 1, 8, 10)),
    144: lambda i: (rect(i, 1, 3, 15, 14, (90, 140, 40), DARK), rect(i, 1, 3, 15, 6, (60, 100, 20)),
                    [i.set(x, 10 - min(x - 4, 2) + max(0, x - 6) * -1, WHITE) for x in range(4, 12)]),
    165: lambda i: pict(i, "hydrant"),
    166: lambda i: flag(i, BLUE), 167: lambda i: flag(i, GREEN), 168: lambda i: flag(i, RED),
    169: lambda i: pin(i, BLUE), 170: lambda i: pin(i, GREEN), 171: lambda i: pin(i, RED),
    172: lambda i: block(i, BLUE), 173: lambda i: block(i, GREEN), 174: lambda i: block(i, RED),
    175: lambda i: pict(i, "bike"),
    176: lambda i: outlined_disk(i, 8, 8, 6.5, RED),
    177: lambda i: outlined_disk(i, 8, 8, 6.5, GREEN),
    178: lambda i: outlined_disk(i, 8, 8, 6.5, BLUE),
    179: lambda i: diamond(i, BLUE),
    180: lambda i: oval(i, RED), 181: lambda i: oval(i, GREEN), 182: lambda i: oval(i, BLUE),
    183: lambda i: rect(i, 0, 4, 16, 12, RED, DARK),
    184: lambda i: rect(i, 0, 4, 16, 12, GREEN, DARK),
    185: lambda i: rect(i, 0, 4, 16, 12, BLUE, DARK),
    186: lambda i: rect(i, 2, 2, 14, 14, BLUE, DARK),
    187: lambda i: B(i, RED, "A", WHITE, True), 188: lambda i: B(i, RED, "B", WHITE, True),
    189: lambda i: B(i, RED, "C", WHITE, True), 190: lambda i: B(i, RED, "D", WHITE, True),
    191: lambda i: B(i, GREEN, "A", WHITE, True), 192: lambda i: B(i, GREEN, "C", WHITE, True),
    193: lambda i: B(i, GREEN, "B", WHITE, True), 194: lambda i: B(i, GREEN, "D", WHITE, True),
    195: lambda i: B(i, BLUE, "A", WHITE, True), 196: lambda i: B(i, BLUE, "B", WHITE, True),
    197: lambda i: B(i, BLUE, "C", WHITE, True), 198: lambda i: B(i, BLUE, "D", WHITE, True),
    199: lambda i: triangle(i, BLUE), 200: lambda i: triangle(i, GREEN), 201: lambda i: triangle(i, RED),
    202: lambda i: (B(i, FOOD), rect(i, 4, 8, 12, 12, WHITE), [i.set(5 + d, 3 + d, WHITE) or i.set(8 + d, 3 + d, WHITE) for d in range(4)]),
    203: lambda i: B(i, FOOD, "D"),
    204: lambda i: (rect(i, 1, 3, 6, 13, GREEN), rect(i, 6, 3, 11, 13, WHITE), rect(i, 11, 3, 16, 13, RED),
                    rect(i, 0, 2, 16, 3, DARK), rect(i, 0, 13, 16, 14, DARK), rect(i, 0, 2, 1, 14, DARK), rect(i, 15, 2, 16, 14, DARK)),
    205: lambda i: (B(i, (0, 140, 170)), pict_over(i, "fish", WHITE)),
    206: lambda i: (B(i, FOOD), oval(i, (150, 60, 30), 5, 3.5, WHITE)),
    207: icon_from("1335"),
    208: lambda i: (triangle(i, WHITE), disk(i, 8, 10, 1.5, DARK)),
    209: lambda i: (outlined_disk(i, 8, 8, 7.6, WHITE), [i.set(x, y, VIOLET) for x in range(16) for y in range(16)
                                                       if (x + y) % 3 == 0 and (x - 7.5) ** 2 + (y - 7.5) ** 2 <= 30],
                    disk(i, 8, 8, 2, VIOLET)),
    210: lambda i: vor(i),
    211: lambda i: pict(i, "heli"),
    212: lambda i: (outlined_disk(i, 8, 8, 7.6, WHITE), rect(i, 7, 2, 9, 14, BLUE), rect(i, 3, 7, 13, 9, BLUE)),
    213: lambda i: (outlined_disk(i, 8, 8, 7.6, (120, 200, 120)), rect(i, 7, 2, 9, 14, DARK)),
    214: icon_from("1364"),
    215: lambda i: pict(i, "tower"),
    216: lambda i: pict(i, "glider"),
    217: lambda i: pict(i, "ultralight"),
    218: lambda i: pict(i, "chute"),
    219: lambda i: (vor(i), rect(i, 2, 2, 4, 4, BLUE), rect(i, 12, 2, 14, 4, BLUE), rect(i, 7, 13, 9, 15, BLUE)),
    220: lambda i: (vor(i), frame(i, BLUE)),
}

LODGING_RV = (0, 119, 192)


def pict_over(img, name, c):
    for y, row in enumerate(PICTS[name]):
        for x, ch in enumerate(row):
            if ch not in ".k":
                img.set(x, y + 1, c)


def frame(img, c):
    for k in range(1, 15):
        for x, y in ((k, 1), (k, 14), (1, k), (14, k)):
            img.set(x, y, c)


def vor(img):
    img.fill(lambda x, y: abs(x - 8) <= 6 and abs(y - 8) <= 6 and abs(x - 8) + abs(y - 8) * 0.58 <= 7.2, BLUE)
    img.fill(lambda x, y: abs(x - 8) <= 4.5 and abs(y - 8) <= 4.5 and abs(x - 8) + abs(y - 8) * 0.58 <= 5.6, WHITE)
    disk(img, 8, 8, 1.5, BLUE)


# The contacts: a face with a feature each.
CONTACTS = ["smiley", "cap", "ears", "spike", "goatee", "afro", "dreads", "female1", "female2", "female3",
            "ranger", "kungfu", "sumo", "pirate", "biker", "alien", "bug", "cat", "dog", "pig"]


def face(img, kind):
    if kind in PICTS:
        pict(img, kind)
        return
    skin = (250, 210, 150)
    hair = {"afro": BLACK, "dreads": BROWN, "female1": (240, 200, 60), "female2": BROWN, "female3": RED,
            "spike": (240, 200, 60)}.get(kind)
    if kind == "afro":
        disk(img, 8, 7, 7.4, BLACK)
    if kind in ("female1", "female2", "female3"):
        rect(img, 2, 4, 14, 15, hair)
    outlined_disk(img, 8, 8, 6 if kind != "sumo" else 7.4, skin)
    disk(img, 5.5, 7, 0.9, BLACK)
    disk(img, 10.5, 7, 0.9, BLACK)
    for x in range(5, 11):
        img.set(x, 11 if x in (5, 10) else 12, BLACK)
    if kind == "cap":
        rect(img, 3, 1, 13, 5, BLUE)
        rect(img, 1, 4, 13, 5, BLUE)
    elif kind == "ears":
        disk(img, 1.5, 8, 1.8, skin)
        disk(img, 14.5, 8, 1.8, skin)
    elif kind == "spike":
        for x in range(4, 13, 2):
            img.set(x, 1, hair)
            img.set(x, 2, hair)
            img.set(x + 1, 2, hair)
    elif kind == "goatee":
        rect(img, 7, 13, 9, 16, BROWN)
    elif kind == "dreads":
        for x in (2, 4, 11, 13):
            rect(img, x, 3, x + 1, 14, hair)
    elif kind in ("female1", "female2", "female3"):
        rect(img, 3, 2, 13, 4, hair)
        disk(img, 8, 12, 0.9, RED)
    elif kind == "ranger":
        rect(img, 4, 0, 12, 4, (110, 90, 40))
        rect(img, 0, 3, 16, 5, (110, 90, 40))
    elif kind == "kungfu":
        rect(img, 2, 3, 14, 5, RED)
        rect(img, 13, 5, 15, 8, RED)
    elif kind == "sumo":
        disk(img, 8, 2, 1.6, BLACK)
    elif kind == "pirate":
        rect(img, 2, 6, 14, 7, BLACK)
        disk(img, 10.5, 7.5, 1.6, BLACK)
        rect(img, 3, 1, 13, 4, BLACK)
    elif kind == "biker":
        rect(img, 2, 1, 14, 5, DARK)
        rect(img, 3, 6, 13, 8, (60, 60, 60))


for k, kind in enumerate(CONTACTS):
    SYMBOLS[145 + k] = (lambda kind: lambda i: face(i, kind))(kind)


def default_icon():
    """The default waypoint icon: a red ring with a white middle and a red
    dot, 32 x 32 with its centre at (16, 16); the alpha of every pixel."""
    size = 32
    px = []
    for y in range(size):
        for x in range(size):
            d = ((x + 0.5 - 16) ** 2 + (y + 0.5 - 16) ** 2) ** 0.5
            if d <= 2.6:
                px.append((200, 0, 0, 255))
            elif d <= 5.2:
                px.append((255, 255, 255, 255))
            elif d <= 8.2:
                px.append((210, 10, 10, 255))
            elif d <= 9.3:
                px.append((60, 0, 0, 255))
            else:
                px.append((0, 0, 0, 0))
    return px


def write_atomic(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def bmp_bytes(strip):
    w, h = strip.w, strip.h
    stride = (w * 3 + 3) & ~3
    rows = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = strip.get(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows += row
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info)) + info + rows


def ico_bytes(px, size):
    rows = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = px[y * size + x]
            rows += bytes((b, g, r, a))
    mask_row = (size + 31) // 32 * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if px[y * size + x][3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    image = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0) + bytes(rows) + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    return header + image


def png_bytes(img, scale):
    raw = bytearray()
    for y in range(img.h * scale):
        raw.append(0)
        for x in range(img.w * scale):
            raw += bytes(img.get(x // scale, y // scale))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    ihdr = struct.pack(">IIBBBBB", img.w * scale, img.h * scale, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def build_strip():
    strip = Img(SIDE * N_SYMBOLS, SIDE)
    for n in range(N_SYMBOLS):
        img = Img(SIDE, SIDE)
        if n in SYMBOLS:
            SYMBOLS[n](img)
        elif n != 18:
            raise SystemExit("symbol %d has no drawing" % n)
        for y in range(SIDE):
            for x in range(SIDE):
                strip.set(n * SIDE + x, y, img.get(x, y))
    return strip


def main():
    global ICON_DIR
    if len(sys.argv) not in (4, 5):
        raise SystemExit(__doc__)
    ICON_DIR = sys.argv[1]
    strip = build_strip()
    write_atomic(sys.argv[2], bmp_bytes(strip))
    write_atomic(sys.argv[3], ico_bytes(default_icon(), 32))
    if len(sys.argv) == 5:
        # A preview: 16 symbols a row, each enlarged three times.
        cols, gap = 16, 2
        rows = (N_SYMBOLS + cols - 1) // cols
        sheet = Img(cols * (SIDE + gap), rows * (SIDE + gap), (200, 220, 200))
        for n in range(N_SYMBOLS):
            for y in range(SIDE):
                for x in range(SIDE):
                    c = strip.get(n * SIDE + x, y)
                    if c != MASK:
                        sheet.set((n % cols) * (SIDE + gap) + x, (n // cols) * (SIDE + gap) + y, c)
        write_atomic(sys.argv[4], png_bytes(sheet, 3))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Renders the point icons render/res/icons/<id>.ico (32 x 32, 32-bit) from
the CC0 map symbols of Debian's openstreetmap-carto-common: each symbol is
drawn white on a round badge of its category's colour in the middle 16 x 16
of the image (the program keeps only that middle part).

    apt-get download openstreetmap-carto-common
    dpkg-deb -x openstreetmap-carto-common_*.deb x
    render/res/tools/make_icons.py x/usr/share/openstreetmap-carto-common/symbols render/res/icons

Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
"""
import os
import struct
import subprocess
import sys
import tempfile

FOOD, LODGING, SHOP, TRANSPORT, HEALTH, CIVIC, LEISURE, WATER, NATURE, GREY = (
    "#c77400", "#0077c0", "#a03aa0", "#0077c0", "#c00000", "#7a5010", "#2e8b2e", "#3a6fc0", "#6b5a2a", "#606060")

# id: (symbol, badge colour); None draws the badge alone.
ICONS = {
    1299: (None, GREY),
    1301: ("city-large", "#000000"),
    1302: ("city-small", "#000000"),
    1310: ("leisure/slipway.svg", WATER),
    1311: ("tourism/guidepost.svg", GREY),
    1312: ("barrier/lift_gate.svg", GREY),
    1313: ("amenity/entrance.svg", GREY),
    1320: ("amenity/restaurant.svg", FOOD),
    1321: ("amenity/fast_food.svg", FOOD),
    1322: ("amenity/cafe.svg", FOOD),
    1323: ("tourism/hotel.svg", LODGING),
    1324: ("tourism/camping.svg", LODGING),
    1325: ("tourism/museum.svg", CIVIC),
    1326: ("tourism/viewpoint.svg", CIVIC),
    1327: ("amenity/place_of_worship.svg", "#404040"),
    1328: ("amenity/theatre.svg", CIVIC),
    1329: ("amenity/cinema.svg", CIVIC),
    1330: ("shop/variety_store.svg", SHOP),
    1331: ("shop/supermarket.svg", SHOP),
    1332: ("amenity/fuel.svg", TRANSPORT),
    1333: ("amenity/rental_car.svg", TRANSPORT),
    1334: ("shop/car_repair.svg", SHOP),
    1335: ("amenity/aerodrome.svg", TRANSPORT),
    1336: ("amenity/post_office.svg", CIVIC),
    1337: ("amenity/bank.svg", CIVIC),
    1338: ("highway/bus_stop.svg", TRANSPORT),
    1339: ("amenity/parking.svg", TRANSPORT),
    1340: ("amenity/toilets.svg", CIVIC),
    1341: ("amenity/community_centre.svg", CIVIC),
    1342: ("amenity/police.svg", CIVIC),
    1343: ("amenity/hospital.svg", HEALTH),
    1344: ("amenity/town_hall.svg", CIVIC),
    1345: ("amenity/firestation.svg", HEALTH),
    1346: ("amenity/bar.svg", FOOD),
    1347: ("leisure/playground.svg", LEISURE),
    1348: ("tourism/picnic.svg", LEISURE),
    1349: ("tourism/board.svg", CIVIC),
    1350: ("leisure/golf.svg", LEISURE),
    1351: ("leisure/fishing.svg", WATER),
    1352: ("amenity/drinking_water.svg", WATER),
    1353: ("amenity/telephone.svg", CIVIC),
    1354: ("tourism/alpinehut.svg", LEISURE),
    1355: ("leisure/water_park.svg", WATER),
    1356: ("amenity/emergency_phone.svg", HEALTH),
    1357: ("tourism/apartment.svg", GREY),
    1358: ("natural/saddle.svg", NATURE),
    1359: ("highway/ford.svg", GREY),
    1360: ("religion/christian.svg", "#4a6a4a"),
    1361: ("historic/fort.svg", CIVIC),
    1362: ("man_made/chimney.svg", GREY),
    1363: ("amenity/library.svg", CIVIC),
    1364: ("man_made/tower_generic.svg", GREY),
    1365: ("natural/spring.svg", WATER),
    1366: ("natural/peak.svg", NATURE),
    1367: ("natural/cave.svg", NATURE),
    1368: ("man_made/lighthouse.svg", "#303030"),
    1369: ("amenity/pharmacy.svg", HEALTH),
}

WHITE_CSS = "* { fill: #ffffff !important; stroke: none !important; }\n"


def raw_rgba(png, size):
    return subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True, capture_output=True).stdout


def write_ico(path, rgba, size):
    # BITMAPINFOHEADER (height doubled), BGRA rows bottom-up, AND mask.
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    mask_row = (size + 31) // 32 * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if rgba[(y * size + x) * 4 + 3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    image = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0) + b"".join(rows) + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(header + image)
    os.replace(tmp, path)


def main():
    symbols, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        css = os.path.join(tmp, "white.css")
        with open(css, "w") as f:
            f.write(WHITE_CSS)
        for idIcon, (symbol, colour) in sorted(ICONS.items()):
            png = os.path.join(tmp, "%d.png" % idIcon)
            draw = ["convert", "-size", "32x32", "xc:none"]
            if symbol == "city-large":
                draw += ["-fill", "white", "-stroke", "black", "-strokewidth", "2",
                         "-draw", "circle 15.5,15.5 15.5,9.5", "-fill", "black", "-stroke", "none",
                         "-draw", "circle 15.5,15.5 15.5,13"]
            elif symbol == "city-small":
                draw += ["-fill", "white", "-stroke", "black", "-strokewidth", "1.5",
                         "-draw", "circle 15.5,15.5 15.5,11"]
            else:
                draw += ["-fill", colour, "-stroke", "#ffffff", "-strokewidth", "1",
                         "-draw", "circle 15.5,15.5 15.5,8.2"]
            subprocess.run(draw + [png], check=True)
            if symbol and symbol.endswith(".svg"):
                sym = os.path.join(tmp, "%d_sym.png" % idIcon)
                subprocess.run(["rsvg-convert", "-s", css, "-w", "11", "-h", "11",
                                os.path.join(symbols, symbol), "-o", sym], check=True)
                subprocess.run(["convert", png, sym, "-geometry", "+10+10", "-composite", png], check=True)
            write_ico(os.path.join(out, "%d.ico" % idIcon), raw_rgba(png, 32), 32)


main()

#!/usr/bin/env python3
"""The guided part of the demo drive for the run script: the end of the
first motorway, its exit through a roundabout and on into the second town.

usage: demofeed.py prepare DEMO.gpx OUT.nmea OUT_Waypoints.bin
           writes the drive as NMEA (RMC and GGA a second) and a waypoint
           store holding its destination ("Цель"); prints the settings
           MapXc and MapYc of its start, for the first view
       demofeed.py feed IN.nmea PORT SECONDS [--shot N FILE]...
           writes one fix to the serial port (a pty) every SECONDS, and
           takes a screenshot of the display after fix N

Deterministic: the same demo drive gives the same part and destination.
"""
import math
import os
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from datetime import datetime

FIRST, COUNT, GOAL = 600, 215, 190  # fixes of the demo drive: the part and its destination
NS = {'g': 'http://www.topografix.com/GPX/1/1'}


def metres(a, b):
    k = math.cos(math.radians((a[0] + b[0]) / 2))
    return math.hypot((a[0] - b[0]) * 111320.0, (a[1] - b[1]) * 111320.0 * k)


def course(a, b):
    k = math.cos(math.radians((a[0] + b[0]) / 2))
    return math.degrees(math.atan2((b[1] - a[1]) * k, b[0] - a[0])) % 360.0


def sentence(body):
    x = 0
    for c in body.encode('ascii'):
        x ^= c
    return '$%s*%02X\r\n' % (body, x)


def fixes(points):
    out = []
    for i, (lat, lon, when) in enumerate(points):
        a, b = ((lat, lon), points[i + 1][:2]) if i + 1 < len(points) else (points[i - 1][:2], (lat, lon))
        hms = when.strftime('%H%M%S')
        lat_text = '%02d%07.4f' % (int(lat), (lat - int(lat)) * 60)
        lon_text = '%03d%07.4f' % (int(lon), (lon - int(lon)) * 60)
        out.append(sentence('GPRMC,%s,A,%s,N,%s,E,%.1f,%.1f,%s,,' % (hms, lat_text, lon_text,
                                                                     metres(a, b) * 3.6 / 1.852, course(a, b),
                                                                     when.strftime('%d%m%y'))) +
                   sentence('GPGGA,%s,%s,N,%s,E,1,08,0.9,150.0,M,14.0,M,,' % (hms, lat_text, lon_text)))
    return out


def text(s):
    return struct.pack('<I', len(s)) + s.encode('utf-16-le')


def waypoints_file(name, lat, lon):
    k = 2 ** 31 / 180
    rec = struct.pack('<IiidffBBBBff', 2, int(round(lon * k)), int(round(lat * k)), 0.0, 0.0, 0.0, 18, 1, 0, 0,
                      0.0, 0.0)
    return b'WR' + bytes([2, 40, 4]) + rec + text(name) + text('') + text('') + text('')


def centre(degrees):
    return (int(degrees * (1 << 30) / 180 + 0.5) << 1) & 0xFFFFFFFF


def prepare(gpx, nmea_path, store_path):
    points = []
    for pt in ET.parse(gpx).getroot().iterfind('.//g:trkpt', NS):
        when = datetime.strptime(pt.find('g:time', NS).text, '%Y-%m-%dT%H:%M:%SZ')
        points.append((float(pt.get('lat')), float(pt.get('lon')), when))
    part = points[FIRST:FIRST + COUNT]
    if len(part) <= GOAL:
        part = points[:COUNT]
    with open(nmea_path, 'w', newline='') as f:
        f.write(''.join(fixes(part)))
    goal = part[min(GOAL, len(part) - 1)]
    with open(store_path, 'wb') as f:
        f.write(waypoints_file('Цель', goal[0], goal[1]))
    print('%d %d' % (centre(part[0][1]), centre(part[0][0])))


def feed(nmea_path, port, seconds, shots):
    with open(nmea_path, newline='') as f:
        lines = f.read().split('\r\n')
    pairs = ['\r\n'.join(lines[i:i + 2]) + '\r\n' for i in range(0, len(lines) - 1, 2)]
    fd = os.open(port, os.O_WRONLY | os.O_NOCTTY)
    try:
        due = time.monotonic()
        for n, data in enumerate(pairs, 1):
            os.write(fd, data.encode('ascii'))
            if n in shots:
                subprocess.run(['import', '-window', 'root', shots[n]], check=False)
            due += seconds
            time.sleep(max(0.0, due - time.monotonic()))
    finally:
        os.close(fd)


def main():
    if len(sys.argv) == 5 and sys.argv[1] == 'prepare':
        prepare(*sys.argv[2:5])
    elif len(sys.argv) >= 5 and sys.argv[1] == 'feed':
        shots, rest = {}, sys.argv[5:]
        while len(rest) >= 3 and rest[0] == '--shot':
            shots[int(rest[1])] = rest[2]
            rest = rest[3:]
        feed(sys.argv[2], sys.argv[3], float(sys.argv[4]), shots)
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main()

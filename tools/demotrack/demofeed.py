#!/usr/bin/env python3
"""The guided drive of the run script: across the second town of the demo
region, a left turn onto its main street, through the roundabout and on to
a destination on the street beyond it.

usage: demofeed.py prepare DEMO.osm DEMO.vel VELMO_CLI OUT.nmea OUT_Waypoints.bin
           writes the drive along the road route velmo-cli calculates
           (the program's route search) as NMEA (RMC and GGA a second) and a waypoint
           store holding its destination ("Цель"); prints the settings
           MapXc and MapYc of its start, for the first view
       demofeed.py feed IN.nmea PORT SECONDS CTL OUTDIR
           writes one fix to the serial port (a pty) every SECONDS; after
           each fix asks the program (through the control tool CTL, run
           with wine) what its maneuver display shows, and takes the
           screenshots OUTDIR/turn.png (a turn ahead), roundabout.png (the
           roundabout ahead, its exit number shown) and arrival.png (the
           destination reached, guidance ended); fails when one of them
           was never shown or the display changed while it was taken

Deterministic: the same region and route search give the same drive.
"""
import math
import os
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from datetime import datetime, timedelta

# Degrees between the demo towns' streets (demogen's street step).
STEP_LAT, STEP_LON = 0.0025, 0.00375
# km/h on the town's streets; slower through turns and the roundabout.
SPEED, SLOW = 36.0, 18.0
START = datetime(2026, 12, 9, 9, 0, 0)
ROAD_CLASSES = ('primary', 'secondary', 'tertiary', 'unclassified', 'residential')
# Maneuver kinds of the display (the program's ManeuverKind).
MK_LEFT, MK_RIGHT, MK_SHARP_LEFT, MK_SHARP_RIGHT, MK_TO_ROUND = 3, 4, 5, 6, 7
TURNS = (MK_LEFT, MK_RIGHT, MK_SHARP_LEFT, MK_SHARP_RIGHT)
NEAR = 150  # m to the maneuver when its screenshot is taken


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


def load(path):
    """The positions of the nodes, the road nodes and the ways by name."""
    root = ET.parse(path).getroot()
    nodes = {n.get('id'): (float(n.get('lat')), float(n.get('lon'))) for n in root.iter('node')}
    road, named = set(), {}
    for w in root.iter('way'):
        tags = {t.get('k'): t.get('v') for t in w.iter('tag')}
        refs = [nd.get('ref') for nd in w.iter('nd') if nd.get('ref') in nodes]
        if 'name' in tags:
            named.setdefault(tags['name'], []).append(refs)
        if tags.get('highway') in ROAD_CLASSES:
            road.update(refs)
    return nodes, road, named


def plan(osm, vel, cli, scratch):
    """The points (lat, lon) of the road route the program's route search
    (through velmo-cli) finds across the second town: from the south-west
    corner of its streets two blocks east and a left turn onto the main
    column, up to the main crossing, through the roundabout to its
    north-east exit and half a block on to the north. The main crossing is where
    the spoke "Круговой проезд" starts (the first town's roundabout has one
    spoke, the others four)."""
    nodes, road, named = load(osm)
    spokes = named.get('Круговой проезд', [])
    if len(spokes) < 2:
        sys.exit('demofeed: the region has no town with a roundabout of four exits')
    crossing = nodes[spokes[1][0]]

    def nearest(lat, lon):
        return nodes[min(road, key=lambda n: metres(nodes[n], (lat, lon)))]
    start = nearest(crossing[0] - 2 * STEP_LAT, crossing[1] - 2 * STEP_LON)
    goal = (crossing[0] + 1.5 * STEP_LAT, crossing[1] + STEP_LON)
    subprocess.run([cli, 'route', vel, '%.7f' % start[0], '%.7f' % start[1], '%.7f' % goal[0], '%.7f' % goal[1],
                    '--gpx', scratch], check=True, stdout=subprocess.DEVNULL)
    ns = {'g': 'http://www.topografix.com/GPX/1/1'}
    points = [(float(p.get('lat')), float(p.get('lon'))) for p in ET.parse(scratch).getroot().iterfind('.//g:rtept', ns)]
    os.remove(scratch)
    if len(points) < 2:
        sys.exit('demofeed: no road route across the town')
    return points


def drive(polyline):
    """One point a second, slower within 40 m of a bend, parked at the end."""
    bends = []
    for a, b, c in zip(polyline, polyline[1:], polyline[2:]):
        turn = abs((course(b, c) - course(a, b) + 180) % 360 - 180)
        if turn > 30:
            bends.append(b)
    out, t, carry = [], START, 0.0
    for a, b in zip(polyline, polyline[1:]):
        d = metres(a, b)
        s = carry
        while s < d:
            f = s / d
            p = (a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f)
            out.append((p[0], p[1], t))
            near = any(metres(p, q) < 40 for q in bends)
            s += (SLOW if near else SPEED) / 3.6
            t += timedelta(seconds=1)
        carry = s - d
    end = polyline[-1]
    for _ in range(6):
        out.append((end[0], end[1], t))
        t += timedelta(seconds=1)
    return out


def prepare(osm, vel, cli, nmea_path, store_path):
    points = drive(plan(osm, vel, cli, nmea_path + '.route.gpx'))
    with open(nmea_path, 'w', newline='') as f:
        f.write(''.join(fixes(points)))
    goal = points[-1]
    with open(store_path, 'wb') as f:
        f.write(waypoints_file('Цель', goal[0], goal[1]))
    print('%d %d' % (centre(points[0][1]), centre(points[0][0])))


def maneuver(ctl):
    """What the maneuver display shows: (running, state, kind, exit, metres
    to the maneuver), or None when the program does not answer."""
    try:
        out = subprocess.run(['wine', ctl, 'maneuver'], capture_output=True, text=True, timeout=20).stdout.split()
        return tuple(int(x) for x in out[:5]) if len(out) >= 5 else None
    except (subprocess.SubprocessError, ValueError):
        return None


def shot(path):
    subprocess.run(['import', '-window', 'root', path], check=False)


def feed(nmea_path, port, seconds, ctl, outdir):
    with open(nmea_path, newline='') as f:
        lines = f.read().split('\r\n')
    pairs = ['\r\n'.join(lines[i:i + 2]) + '\r\n' for i in range(0, len(lines) - 1, 2)]
    taken = {}
    names = {'turn': 'a turn', 'roundabout': 'the roundabout with its exit', 'arrival': 'the arrival'}

    def take(name, shown, fits):
        path = os.path.join(outdir, name + '.png')
        shot(path)
        after = maneuver(ctl)
        if after is not None and fits(after):
            taken[name] = shown
            print('demofeed: %s.png shows %s (%s)' % (name, names[name], describe(shown)))
    fd = os.open(port, os.O_WRONLY | os.O_NOCTTY)
    try:
        due = time.monotonic()
        for data in pairs:
            os.write(fd, data.encode('ascii'))
            due += seconds
            time.sleep(max(0.0, due - time.monotonic()))
            m = maneuver(ctl)
            if m is None:
                continue
            running, state, kind, exit_no, dist = m
            if 'turn' not in taken and running and kind in TURNS and dist <= NEAR:
                take('turn', m, lambda a: a[0] and a[2] == kind)
            elif 'roundabout' not in taken and running and kind == MK_TO_ROUND and exit_no > 0 and dist <= NEAR:
                take('roundabout', m, lambda a: a[0] and a[2] == MK_TO_ROUND and a[3] == exit_no)
            due = max(due, time.monotonic())
        # Parked at the destination: guidance ends there.
        for _ in range(20):
            m = maneuver(ctl)
            if m is not None and not m[0] and m[1] == 3:
                take('arrival', m, lambda a: not a[0] and a[1] == 3)
                break
            time.sleep(0.5)
    finally:
        os.close(fd)
    missing = [n for n in names if n not in taken]
    if missing:
        sys.exit('demofeed: the drive never showed %s' % ', '.join(names[n] for n in missing))


def describe(m):
    running, state, kind, exit_no, dist = m
    if not running:
        return 'guidance ended, %s' % ('destination reached' if state == 3 else 'state %d' % state)
    if kind == MK_TO_ROUND:
        return 'roundabout, exit %d in %d m' % (exit_no, dist)
    return {MK_LEFT: 'left', MK_RIGHT: 'right', MK_SHARP_LEFT: 'sharp left',
            MK_SHARP_RIGHT: 'sharp right'}.get(kind, 'kind %d' % kind) + ' in %d m' % dist


def main():
    if len(sys.argv) == 7 and sys.argv[1] == 'prepare':
        prepare(*sys.argv[2:7])
    elif len(sys.argv) == 7 and sys.argv[1] == 'feed':
        feed(sys.argv[2], sys.argv[3], float(sys.argv[4]), sys.argv[5], sys.argv[6])
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main()

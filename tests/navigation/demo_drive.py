"""Drives on the demo region for the guidance tests: the points of a drive
(from the demo drive's GPX, or along a route velmo-cli calculates), the
NMEA stream of a receiver driving them (RMC and GGA once a second), and the
voice script velmo-cli guide gives for such a drive."""
import math
import subprocess
import xml.etree.ElementTree as ET
from datetime import datetime, timedelta

GPX_NS = {'g': 'http://www.topografix.com/GPX/1/1'}
START = datetime(2026, 6, 21, 9, 0, 0)


def metres(a, b):
    k = math.cos(math.radians((a[0] + b[0]) / 2))
    return math.hypot((a[0] - b[0]) * 111320.0, (a[1] - b[1]) * 111320.0 * k)


def course(a, b):
    k = math.cos(math.radians((a[0] + b[0]) / 2))
    return math.degrees(math.atan2((b[1] - a[1]) * k, b[0] - a[0])) % 360.0


def nmea(body):
    x = 0
    for c in body.encode('ascii'):
        x ^= c
    return ('$%s*%02X\r\n' % (body, x)).encode('ascii')


def read_gpx_track(path):
    """(lat, lon, time) of every track point."""
    out = []
    for pt in ET.parse(path).getroot().iterfind('.//g:trkpt', GPX_NS):
        when = datetime.strptime(pt.find('g:time', GPX_NS).text, '%Y-%m-%dT%H:%M:%SZ')
        out.append((float(pt.get('lat')), float(pt.get('lon')), when))
    return out


def route_polyline(cli, map_path, a, b, gpx_path):
    """The points (lat, lon) of the road route velmo-cli calculates from a to b."""
    subprocess.run([cli, 'route', map_path, '%.7f' % a[0], '%.7f' % a[1], '%.7f' % b[0], '%.7f' % b[1],
                    '--gpx', gpx_path], check=True, stdout=subprocess.DEVNULL)
    return [(float(p.get('lat')), float(p.get('lon')))
            for p in ET.parse(gpx_path).getroot().iterfind('.//g:rtept', GPX_NS)]


def drive_along(polyline, kmh, start=START, carry=0.0):
    """One point a second along the polyline at kmh; returns the points and
    the metres already driven into the next leg."""
    step = kmh / 3.6
    out = []
    t = start
    for a, b in zip(polyline, polyline[1:]):
        d = metres(a, b)
        s = carry
        while s < d:
            f = s / d
            out.append((a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, t))
            t += timedelta(seconds=1)
            s += step
        carry = s - d
    return out, carry


def fix_sentences(points):
    """RMC and GGA of each point: speed and course towards the next point."""
    fixes = []
    for i, (lat, lon, when) in enumerate(points):
        nxt = points[i + 1] if i + 1 < len(points) else None
        prv = points[i - 1] if i else None
        a, b = ((lat, lon), nxt[:2]) if nxt else (prv[:2], (lat, lon))
        kmh = metres(a, b) * 3.6
        hms = when.strftime('%H%M%S')
        lat_text = '%02d%07.4f' % (int(lat), (lat - int(lat)) * 60)
        lon_text = '%03d%07.4f' % (int(lon), (lon - int(lon)) * 60)
        rmc = 'GPRMC,%s,A,%s,N,%s,E,%.1f,%.1f,%s,,' % (hms, lat_text, lon_text, kmh / 1.852, course(a, b),
                                                       when.strftime('%d%m%y'))
        gga = 'GPGGA,%s,%s,N,%s,E,1,08,0.9,150.0,M,14.0,M,,' % (hms, lat_text, lon_text)
        fixes.append(nmea(rmc) + nmea(gga))
    return fixes


def bump(points, start, length, offset):
    """The drive with a bump of `offset` metres to the right of the way over
    `length` fixes from `start`: off the road and back again."""
    out = list(points)
    for j in range(length):
        i = start + j
        lat, lon, when = points[i]
        c = math.radians(course(points[i - 1][:2], points[i + 1][:2]) + 90.0)
        f = math.sin(math.pi * (j + 1) / (length + 1)) * offset
        k = math.cos(math.radians(lat))
        out[i] = (lat + f * math.cos(c) / 111320.0, lon + f * math.sin(c) / (111320.0 * k), when)
    return out


def stored(point):
    """A point as the store keeps it (twice the map unit), back in degrees."""
    k = 2 ** 31 / 180
    return (round(point[0] * k) / k, round(point[1] * k) / k)


class Script:
    """velmo-cli guide's output: phrases, state lines and the summary."""

    def __init__(self, text):
        self.text = text
        self.said = []    # (fix, 'say'|'event', [sound names], at metres, far, near)
        self.states = []  # (fix, state, target, next maneuver index)
        self.recalculations = None
        self.ended = 'navigation ended' in text
        for line in text.splitlines():
            f = line.split('\t')
            if len(f) >= 3 and f[1] in ('say', 'event'):
                at = far = near = None
                if f[1] == 'say' and len(f) >= 5:
                    at = int(f[3].split()[1])
                    far, near = [int(x) for x in f[4].strip('()').replace('far ', '').replace('near ', '').split(',')]
                self.said.append((int(f[0]), f[1], f[2].split(' '), at, far, near))
            elif len(f) >= 6 and f[0].isdigit() and f[4] in ('not started', 'on route', 'off route', 'finished'):
                self.states.append((int(f[0]), f[4], int(f[5]), int(f[6].split()[0])))
            elif line.startswith('fixes:'):
                self.recalculations = int(line.split('recalculations: ')[1].split(',')[0])

    def maneuver_became_next(self, fix):
        """Whether the next maneuver changed at this fix (the one before it
        was passed)."""
        prev = None
        for f, _, _, maneuver in self.states:
            if f == fix:
                return prev is not None and maneuver != prev
            prev = maneuver
        return False

    def names(self):
        return [' '.join(ns) for _, _, ns, _, _, _ in self.said]


def guide(cli, map_path, to, nmea_path, *options):
    out = subprocess.run([cli, 'guide', map_path, '--to', '%.9f' % to[0], '%.9f' % to[1], nmea_path, *options],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=True).stdout.decode()
    return Script(out)

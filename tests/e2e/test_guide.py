"""The user's guide's pictures, made from the real program under Wine in one
run on the demo region, and the recorded track's export as GPX.

The run: the map page of the demo town, the open-map dialog, the search
for a place, the waypoint list and its "go to", a guided drive across the
town (the receiver on a COM port, the track recorded) with the maneuver
display before the turn and the roundabout, the trip computer, the
satellite page, every page of the options, and the route list's export to
GPX, whose file must hold the recorded drive as a track (read back with
gpsbabel). The pictures go to VELMO_BUILD_WIN/guide/images; the test fails
when a picture that docs/guide.md or docs/guide.en.md names was not made.
"""
import glob
import math
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, PortReceiver, VelmoEnv  # noqa: E402

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
sys.path.insert(0, os.path.join(TOP, 'tools', 'demotrack'))
import demofeed  # noqa: E402

NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(TOP, 'build', 'native'))
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')
GUIDES = [os.path.join(TOP, 'docs', 'guide.md'), os.path.join(TOP, 'docs', 'guide.en.md')]

CMD_OPEN_MAP, CMD_OPTIONS, CMD_WAYPOINTS, CMD_ROUTES, CMD_CITIES = '57601', '40010', '40020', '40133', '40091'
CMD_RECORD_TRACK = '40062'
PAGE_MAP, PAGE_GAUGES, PAGE_SATELLITES = '2000', '2001', '2003'
IDOK, IDCANCEL = '1', '2'
LIST_EXPORT, STORE_GOTO = '1406', '1407'
FILE_NAME, FILE_TYPE = '1148', '1136'  # the common file dialogs' name box and type list
PORT = 5
# The options' pages in the order of their tabs.
OPTION_PAGES = ['language', 'map', 'gps', 'units', 'address', 'clock', 'off-route', 'routing', 'avoid', 'sounds']
GPX_NS = {'g': 'http://www.topografix.com/GPX/1/1'}


def pictures_named():
    """The pictures (images/NAME.png) the guides show."""
    names = set()
    for path in GUIDES:
        with open(path, encoding='utf-8') as f:
            names.update(re.findall(r'\]\(images/([A-Za-z0-9_.-]+\.png)\)', f.read()))
    return names


def same_points(a, b, tolerance=2e-6):
    """The same positions, within the last digit written (degrees)."""
    return len(a) == len(b) and all(math.isclose(u[0], v[0], abs_tol=tolerance) and
                                    math.isclose(u[1], v[1], abs_tol=tolerance) for u, v in zip(a, b))


def satellites():
    """GSV sentences of eight satellites in view and GSA of the six used."""
    sky = [(2, 70, 40, 45), (5, 45, 120, 42), (7, 30, 200, 38), (12, 20, 300, 35), (15, 60, 250, 44),
           (21, 15, 80, 30), (24, 40, 160, 40), (29, 10, 20, 25)]
    out = ''
    for k in range(2):
        body = 'GPGSV,2,%d,08' % (k + 1)
        for prn, el, az, snr in sky[4 * k:4 * k + 4]:
            body += ',%02d,%02d,%03d,%02d' % (prn, el, az, snr)
        out += demofeed.sentence(body)
    return out + demofeed.sentence('GPGSA,A,3,02,05,07,12,15,24,,,,,,,1.8,0.9,1.5')


@unittest.skipUnless(os.path.exists(CLI), 'velmo-cli is not built')
class GuidePicturesTest(DemoMapCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(os.path.join(cls.BUILD, 'app', 'velmo.exe')):
            raise unittest.SkipTest('velmo.exe is not built')
        # A laptop's screen, the program's window filling it.
        cls.env = VelmoEnv(cls.BUILD, artifacts_dir=os.path.join(cls.BUILD, 'e2e-artifacts'), display_size='800x600x24')
        if not cls.env.demo_map(cls.MAP):
            cls.env.close()
            raise unittest.SkipTest('the native map tools are not built')
        cls.images = os.path.join(cls.BUILD, 'guide', 'images')

    def shot(self, name):
        os.makedirs(self.images, exist_ok=True)
        path = os.path.join(self.images, name)
        subprocess.run(['import', '-display', self.env.display, '-window', 'root', path], check=True, timeout=60)
        return path

    def maneuver(self):
        out = self.env.ctl('maneuver', check=False).split()
        return tuple(int(x) for x in out[:6]) if len(out) >= 6 else None

    def dialog_shot(self, command, title, name):
        self.env.ctl('command', command)
        self.wait_title(title)
        time.sleep(1)
        self.shot(name)

    def test_the_guides_pictures_are_made_and_the_recorded_drive_is_exported_as_gpx(self):
        # The drive across the second town, along the route velmo-cli finds.
        osm = os.path.join(self.env.root, 'demo-1.osm')
        nmea = os.path.join(self.env.root, 'drive.nmea')
        store = self.env.host_path(r'C:\velmo\Waypoints.bin')
        start = subprocess.run([sys.executable, demofeed.__file__, 'prepare', osm, self.env.host_path(self.MAP), CLI,
                                nmea, store], stdout=subprocess.PIPE, check=True).stdout.decode().split()
        with open(nmea, newline='') as f:
            lines = f.read().split('\r\n')
        fixes = ['\r\n'.join(lines[i:i + 2]) + '\r\n' for i in range(0, len(lines) - 1, 2)]
        drive = [(float(m.group(1)[:2]) + float(m.group(1)[2:]) / 60, float(m.group(2)[:3]) + float(m.group(2)[3:]) / 60)
                 for m in (re.search(r'GPRMC,\d+,A,(\d+\.\d+),N,(\d+\.\d+),E', fx) for fx in fixes)]
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        ports = {'Enable_COM%d' % n: int(n == PORT) for n in range(20)}
        self.fresh_settings(MapZoom=7, MapXc=int(start[0]), MapYc=int(start[1]), Page=0, RoutingStyle=0,
                            ShowBearing=1, ScanCOMPorts=1, RecordTrack=1, FixupClock=0, LogCOMPorts=1, **ports)
        gps_log = self.env.host_path(r'C:\gps_log.txt')
        if os.path.exists(gps_log):
            os.remove(gps_log)
        gsv = satellites()
        feeder = PortReceiver(b, [fix + gsv for fix in fixes], 0.5)
        feeder.start()
        self.addCleanup(lambda: (feeder.stop.set(), feeder.join(10)))
        shutil.rmtree(self.images, ignore_errors=True)
        shutil.rmtree(self.env.host_path(r'C:\out'), ignore_errors=True)
        os.makedirs(self.env.host_path(r'C:\out'))
        p = self.start()
        self.env.ctl('move', '0', '0', '800', '600')
        time.sleep(3)
        self.shot('map.png')

        # Opening a map, finding a place.
        self.env.ctl('command', CMD_OPEN_MAP)
        self.assertTrue(self.env.wait_until(lambda: len(self.env.dialogs()) > 0, 60), self.env.describe_screen())
        time.sleep(1)
        self.shot('open-map.png')
        self.env.ctl('press-dialog', IDCANCEL)
        self.assertTrue(self.env.wait_until(lambda: not self.env.dialogs(), 30), self.env.describe_screen())
        self.dialog_shot(CMD_CITIES, 'Населённые пункты', 'find-place.png')
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Населённые пункты')

        # The options, page by page.
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title('Настройки')
        for i, page in enumerate(OPTION_PAGES):
            self.env.ctl('sheet-page', str(i))
            time.sleep(0.7)
            self.shot('options-%s.png' % page)
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Настройки')

        # Navigation: the waypoint list's "go to", then the drive.
        self.dialog_shot(CMD_WAYPOINTS, 'Путевые точки', 'waypoints.png')
        self.env.ctl('press-dialog', STORE_GOTO)
        self.wait_gone('Путевые точки')
        feeder.drive.set()
        seen = set()
        # Bounded: a program that stops reading the port blocks the feeder.
        deadline = time.monotonic() + 240
        while feeder.is_alive() and len(seen) < 2 and time.monotonic() < deadline:
            m = self.maneuver()
            if m and m[0] and m[2] in demofeed.TURNS and m[4] <= demofeed.NEAR and 'turn' not in seen:
                self.shot('navigation-turn.png')
                seen.add('turn')
            elif m and m[0] and m[2] == demofeed.MK_TO_ROUND and m[4] <= demofeed.NEAR and 'round' not in seen:
                self.shot('navigation-roundabout.png')
                seen.add('round')
            time.sleep(0.3)
        feeder.join(max(1, min(180, deadline + 60 - time.monotonic())))
        if seen != {'turn', 'round'} and os.path.exists(gps_log):
            shutil.copy(gps_log, os.path.join(self.env.artifacts, 'guide-drive-gps-log.txt'))
        self.assertEqual(seen, {'turn', 'round'}, 'the drive did not show the turn and the roundabout '
                         '(%d of %d fixes written%s): %s' % (feeder.written, len(fixes),
                                                             ', the port stopped taking them' if feeder.stalled else '',
                                                             self.env.describe_screen() + self.env.port_report()))
        self.assertTrue(self.env.wait_until(lambda: (lambda m: m and not m[0] and m[1] == 3)(self.maneuver()), 30),
                        'guidance did not end at the destination: %s' % (self.maneuver(),))
        self.shot('arrival.png')

        # The trip computer and the satellite page.
        self.env.ctl('command', PAGE_GAUGES)
        time.sleep(2)
        self.shot('trip-computer.png')
        self.env.ctl('command', PAGE_SATELLITES)
        time.sleep(2)
        self.shot('satellites.png')
        self.env.ctl('command', PAGE_MAP)

        # The track: recording off (its file is closed), then the route list's
        # export to GPX.
        self.env.ctl('command', CMD_RECORD_TRACK)
        self.assertTrue(self.env.wait_until(lambda: self.setting('RecordTrack') == 0, 20), 'recording is still on')
        self.dialog_shot(CMD_ROUTES, 'Маршруты', 'routes.png')
        self.env.ctl('press-dialog', LIST_EXPORT)
        self.wait_title('Экспорт маршрутов')
        self.env.ctl('combo-select', FILE_TYPE, '2', check=False)  # GPX, the third type of the list
        time.sleep(0.5)
        self.env.ctl('set-dialog-text', FILE_NAME, r'C:\out\drive.gpx')
        time.sleep(1)
        self.shot('export-track.png')
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone('Экспорт маршрутов')
        gpx = self.env.host_path(r'C:\out\drive.gpx')
        self.assertTrue(self.env.wait_until(lambda: os.path.exists(gpx), 20), 'no GPX file')
        self.assertEqual(self.setting('RteExportFormat'), 3)
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)

        # The file holds the recorded track: the points of the track file the
        # recorder wrote (as velmo-cli reads it), in order, and they lie on the drive.
        recorded = glob.glob(os.path.join(self.env.prefix, 'drive_c', 'users', '*', '*', 'GPS Tracks and Waypoints',
                                          '*.mps'))
        self.assertEqual(len(recorded), 1, recorded)

        def babel(fmt, path):
            out = subprocess.run(['gpsbabel', '-t', '-i', fmt, '-f', path, '-o', 'unicsv', '-F', '-'],
                                 stdout=subprocess.PIPE, check=True).stdout.decode().splitlines()
            return [tuple(float(v) for v in row.split(',')[1:3]) for row in out[1:] if row.strip()]
        points = [(float(t.get('lat')), float(t.get('lon'))) for t in
                  ET.parse(gpx).getroot().iterfind('g:trk/g:trkseg/g:trkpt', GPX_NS)]
        out = subprocess.run([CLI, 'track', recorded[0]], stdout=subprocess.PIPE, check=True).stdout.decode()
        track = [(float(f[2]), float(f[3])) for f in (ln.split('\t') for ln in out.splitlines())
                 if len(f) > 3 and f[0].isdigit()]
        self.assertGreater(len(track), 10, 'the recorder wrote %d points' % len(track))
        # (velmo-cli prints the fix's single-precision degrees: 1e-5 is about a metre)
        self.assertTrue(same_points(points, track, 1e-5), 'exported %d points, recorded %d: %s / %s'
                        % (len(points), len(track), points[:3], track[:3]))
        worst = max(min(demofeed.metres(pt, d) for d in drive) for pt in points)
        self.assertLess(worst, 5, 'a track point %.1f m from the drive' % worst)
        # GPSBabel reads the export back with the same points.
        self.assertTrue(same_points(babel('gpx', gpx), points))

        # Every picture the guides show was made.
        missing = sorted(n for n in pictures_named() if not os.path.exists(os.path.join(self.images, n)))
        self.assertFalse(missing, 'pictures the guide names were not made: %s' % ', '.join(missing))
        self.assertTrue(pictures_named(), 'the guides name no pictures')


if __name__ == '__main__':
    unittest.main()

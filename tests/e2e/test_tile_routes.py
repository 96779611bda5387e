"""End-to-end tests of routes across map tiles under Wine.

The demo region is compiled by velc into a folder of small tiles (at least
four) and opened as a collection (-D). Two things only the real program
shows:

- Navigation from the waypoint list's "go to" in one tile to a destination
  in another, and a guided drive through a COM port (a pty) along the route
  velmo-cli finds on the collection: the route is found along the roads
  (not the straight line), every maneuver the display shows is one that
  guidance has on the single map of the region (velmo-cli guide of the same
  drive), so none appears where the route merely crosses a tile's edge, and
  navigation ends at the destination.
- Cancel in "Прокладка маршрута..." during a calculation across the tiles
  leaves the route the program had before (road points of an earlier
  calculation with other options) exactly as it was.
"""
import os
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import DemoMapCase, PortReceiver, centre_setting, waypoint_record, waypoints_file  # noqa: E402

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
sys.path.insert(0, os.path.join(TOP, 'tests', 'navigation'))
sys.path.insert(0, os.path.join(TOP, 'tools', 'demotrack'))
import demo_drive as dd  # noqa: E402
import demofeed  # noqa: E402

NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(TOP, 'build', 'native'))
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')

FOLDER = r'C:\tiles'
TILE_KB = 16  # the demo region of about 40 KB in tiles of at most 16 KB: a dozen of them
CMD_WAYPOINTS, CMD_ROUTES = '40020', '40133'
IDOK, IDCANCEL = '1', '2'
STORE_GOTO, LIST_PROPERTIES, RTE_CALCULATE = '1407', '1401', '1439'
ROUTES, EDITOR, PROGRESS = 'Маршруты', 'Свойства маршрута', 'Прокладка маршрута...'
PORT = 6
# The maneuver kinds as velmo-cli guide names them and the display reports them.
KINDS = {'NO': 0, 'KEEP LEFT': 1, 'KEEP RIGHT': 2, 'LEFT': 3, 'RIGHT': 4, 'SHARP LEFT': 5, 'SHARP RIGHT': 6,
         'TOROUND': 7, 'FROMROUND': 8, 'UTURNRIGHT': 9, 'UTURNLEFT': 10}
ON_ROUTE, OFF_ROUTE, FINISHED = 1, 2, 3
SAME_PLACE = 30   # metres: one maneuver seen from two drives' fixes
AT_EDGE = 150     # metres: a maneuver this near a tile's edge is at the edge
# Legs of the calculation that is cancelled, each across most of the tiles.
CANCEL_LEGS = 1001


def cli(*args, check=True):
    r = subprocess.run([CLI, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if check and r.returncode:
        raise AssertionError('velmo-cli %s: exit %d: %s' % (' '.join(args[:2]), r.returncode, r.stderr.decode()))
    return r.stdout.decode()


class RouteText:
    """velmo-cli route's output: length, legs, maneuvers and points."""

    def __init__(self, text):
        self.text = text
        self.metres = float(text.split('length ')[1].split()[0]) * 1000
        legs = text.split('legs ')[1].split()
        self.legs, self.straight = int(legs[0]), int(legs[2])
        self.points = []  # (lat, lon, kind)
        for line in text.splitlines():
            if line.startswith('point '):
                f = line.split()
                lat, lon = f[1].split(',')
                self.points.append((float(lat), float(lon), int(f[2], 16)))

    def road_points(self):
        """The points the router made (not the via points)."""
        return [(lat, lon) for lat, lon, kind in self.points if kind != 0x20]


def guide_maneuvers(script):
    """The maneuvers guidance announces on a drive, from velmo-cli guide's
    state lines: (kind, metres from the maneuver to the route's end)."""
    out = []
    for line in script.splitlines():
        f = line.split('\t')
        if len(f) < 9 or not f[0].isdigit() or f[4] != 'on route':
            continue
        name = ' '.join(w for w in f[6].split()[2:] if not w.isdigit())
        kind = KINDS[name]
        if kind:
            out.append((kind, int(f[8]) - int(f[7])))
    return out


def along(polyline):
    """Metres from the start to every point of a polyline."""
    out = [0.0]
    for a, b in zip(polyline, polyline[1:]):
        out.append(out[-1] + dd.metres(a, b))
    return out


@unittest.skipUnless(os.path.exists(CLI), 'velmo-cli is not built')
class TileRoutesTest(DemoMapCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.osm = os.path.join(cls.env.root, 'demo-1.osm')
        cls.single = cls.env.host_path(cls.MAP)
        cls.folder = cls.env.host_path(FOLDER)
        _, velc = cls.env.demo_map_tools()
        subprocess.run([velc, cls.osm, '-o', cls.folder + '/', '--tile-size', str(TILE_KB)], check=True,
                       stdout=subprocess.DEVNULL)
        # The members' rectangles (west, south, east, north), as the index keeps them.
        cls.tiles = []
        for line in cli('collection', 'info', cls.folder).splitlines():
            f = line.split()
            if len(f) >= 4 and f[0].isdigit() and f[1].endswith('.vel'):
                (w, s), (e, n) = [tuple(float(v) for v in c.split(',')) for c in f[2:4]]
                cls.tiles.append((w, s, e, n))

    def tile_of(self, point):
        lat, lon = point
        for i, (w, s, e, n) in enumerate(self.tiles):
            if w <= lon <= e and s <= lat <= n:
                return i
        return None

    def edge_crossings(self, polyline):
        """Metres from the start of a polyline to each place where it
        passes from one tile into another (to within 2 m)."""
        out, at = [], 0.0
        for a, b in zip(polyline, polyline[1:]):
            d = dd.metres(a, b)
            steps = max(1, int(d / 2))
            prev = self.tile_of(a)
            for k in range(1, steps + 1):
                p = (a[0] + (b[0] - a[0]) * k / steps, a[1] + (b[1] - a[1]) * k / steps)
                t = self.tile_of(p)
                if t != prev and t is not None and prev is not None:
                    out.append(at + d * k / steps)
                prev = t if t is not None else prev
            at += d
        return out

    def open_collection(self, **settings):
        self.fresh_settings(**settings)
        p = self.env.start('-D' + FOLDER)
        self.env.wait_window()
        self.assertTrue(self.env.wait_until(lambda: self.setting('MapIsAtlas') == 1, 30),
                        'the collection did not open: %s' % self.env.describe_screen())
        return p

    def maneuver(self):
        out = self.env.ctl('maneuver', check=False).split()
        return tuple(int(x) for x in out[:6]) if len(out) >= 6 else None

    def test_the_tiles_are_one_region_of_several_tiles(self):
        self.assertGreaterEqual(len(self.tiles), 4, 'the demo region was cut into %d tiles' % len(self.tiles))

    def test_guided_drive_from_one_tile_to_another_arrives_with_the_single_maps_maneuvers(self):
        # In the second town: from the north-west of its grid down and east
        # along its main row, across the edge between two tiles (the row goes
        # straight on there), and right into a street to the destination.
        nodes, road, named = demofeed.load(self.osm)
        crossing = nodes[named['Круговой проезд'][1][0]]

        def nearest(lat, lon):
            return nodes[min(road, key=lambda n: demofeed.metres(nodes[n], (lat, lon)))]
        start = nearest(crossing[0] + demofeed.STEP_LAT, crossing[1] - 2 * demofeed.STEP_LON)
        near_goal = (crossing[0] - demofeed.STEP_LAT / 2, crossing[1] + demofeed.STEP_LON)
        # The destination on the road itself, where the single map's route ends.
        first = RouteText(cli('route', self.single, '%.7f' % start[0], '%.7f' % start[1], '%.7f' % near_goal[0],
                              '%.7f' % near_goal[1]))
        goal = dd.stored(first.road_points()[-1])
        ends = ['%.9f' % start[0], '%.9f' % start[1], '%.9f' % goal[0], '%.9f' % goal[1]]
        single = RouteText(cli('route', self.single, *ends))
        gpx = os.path.join(self.env.root, 'tile-route.gpx')
        tiled = RouteText(cli('route', self.folder, *ends, '--gpx', gpx))
        # The command line's route through the tiles is the single map's.
        self.assertEqual((tiled.legs, tiled.straight), (1, 0), tiled.text)
        self.assertAlmostEqual(tiled.metres, single.metres, delta=2.0)
        ta, tb = self.tile_of(start), self.tile_of(goal)
        self.assertIsNotNone(ta)
        self.assertIsNotNone(tb)
        self.assertNotEqual(ta, tb, 'the start and the destination lie in one tile')
        polyline = [(float(p.get('lat')), float(p.get('lon')))
                    for p in ET.parse(gpx).getroot().iterfind('.//g:rtept', dd.GPX_NS)]
        length = along(polyline)[-1]
        edges = [length - at for at in self.edge_crossings(polyline)]  # metres before the end
        self.assertTrue(edges, 'the route crosses no tile edge')

        # The drive: standing at the start while the program finds the
        # receiver, then along the route at 36 km/h, then parked at the end.
        points, _ = dd.drive_along(polyline, 36.0)
        lat0, lon0, t0 = points[0]
        stand = [(lat0, lon0, t0 - dd.timedelta(seconds=6 - k)) for k in range(6)]
        park = [(polyline[-1][0], polyline[-1][1], points[-1][2] + dd.timedelta(seconds=k + 1)) for k in range(8)]
        drive = stand + points + park
        fixes = dd.fix_sentences(drive)
        nmea = os.path.join(self.env.root, 'tile-drive.nmea')
        with open(nmea, 'wb') as f:
            f.write(b''.join(fixes))
        # What guidance announces on the single map for the same drive.
        script = cli('guide', self.single, '--to', '%.9f' % goal[0], '%.9f' % goal[1], nmea, '--offroute', '0')
        with open(os.path.join(self.env.artifacts, 'tile-drive-single-map-script.txt'), 'w') as f:
            f.write(script)
        expected = guide_maneuvers(script)
        self.assertIn('navigation ended', script)
        kinds = sorted({k for k, _ in expected})
        self.assertGreaterEqual(len(kinds), 2, script)
        # An edge the route crosses where the single map has no maneuver: the
        # place a join of two tiles' legs could make one up.
        plain = [e for e in edges if all(abs(e - at) > AT_EDGE for _, at in expected)]
        self.assertTrue(plain, 'every tile edge of the route is at a maneuver: %s / %s' % (edges, expected))

        self.env.put_file(r'C:\velmo\Waypoints.bin', waypoints_file([waypoint_record('Цель', goal[0], goal[1])]))
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        receiver = PortReceiver(b, fixes, 0.5, give_up=60)
        receiver.start()
        self.addCleanup(lambda: (receiver.stop.set(), receiver.join(10)))
        settings = {'MapZoom': 12, 'MapXc': centre_setting(start[1]), 'MapYc': centre_setting(start[0]),
                    'RoutingStyle': 0, 'RoutingOffRoute': 0, 'ScanCOMPorts': 1, 'RecordTrack': 0, 'FixupClock': 0,
                    'LogCOMPorts': 1}
        settings.update({'Enable_COM%d' % n: int(n == PORT) for n in range(20)})
        p = self.open_collection(**settings)
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.env.ctl('press-dialog', STORE_GOTO)
        self.assertTrue(self.env.wait_until(lambda: self.setting('Navigation') == 1, 60), self.env.describe_screen())
        self.wait_gone('Путевые точки')
        receiver.drive.set()
        seen = []  # (fixes written, the display)
        deadline = time.monotonic() + len(fixes) * 0.5 + 90
        while receiver.is_alive() and time.monotonic() < deadline:
            m = self.maneuver()
            if m:
                seen.append((receiver.written, m))
            time.sleep(0.2)
        self.env.screenshot('tile-drive-end.png')
        arrived = self.env.wait_until(lambda: (lambda m: m and not m[0] and m[1] == FINISHED)(self.maneuver()), 30)
        with open(os.path.join(self.env.artifacts, 'tile-drive-display.txt'), 'w') as f:
            f.write(''.join('%d\t%s\n' % (n, ' '.join(map(str, m))) for n, m in seen))
        self.assertFalse(receiver.stalled, 'the program stopped reading its port after %d of %d fixes: %s%s'
                         % (receiver.written, len(fixes), self.env.describe_screen(), self.env.port_report()))
        self.assertEqual(receiver.written, len(fixes), 'the drive did not end')

        # Found along the roads: the display's distance to the end at the
        # start is the road route's, far more than the straight line.
        driving = [(n, m) for n, m in seen if m[0] and m[1] == ON_ROUTE]
        self.assertTrue(driving, 'guidance never followed the route: %s' % seen[-5:])
        ahead = [m[5] for n, m in driving if n <= len(stand) + 2]
        self.assertTrue(ahead, 'nothing shown at the start of the drive')
        straight = dd.metres(start, goal)
        self.assertAlmostEqual(max(ahead), length, delta=length * 0.05)
        self.assertGreater(max(ahead), straight * 1.15, 'the route is the straight line (%.0f m)' % straight)
        self.assertFalse([n for n, m in seen if m[0] and m[1] == OFF_ROUTE], 'the drive left the route')

        # Every maneuver shown is the single map's, none at a tile edge
        # that the single map lacks; and every one of those was shown.
        shown = sorted({(m[2], m[5] - m[4]) for n, m in driving if m[2]})
        for kind, at in shown:
            if any(k == kind and abs(at - e) <= SAME_PLACE for k, e in expected):
                continue
            edge = [e for e in edges if abs(at - e) <= AT_EDGE]
            self.fail('%s: maneuver %d %.0f m before the end that the single map does not have (%s); '
                      'the single map: %s' % ('at a tile edge' if edge else 'not at an edge', kind, at,
                                              'edges %s m before the end' % [round(e) for e in edges], expected))
        for kind, at in set(expected):
            self.assertTrue(any(k == kind and abs(at - e) <= SAME_PLACE for k, e in shown),
                            'maneuver %d %.0f m before the end was never shown: %s' % (kind, at, shown))
        self.assertTrue(arrived, 'navigation did not end at the destination: %s' % (self.maneuver(),))
        self.assertEqual(self.setting('Navigation'), 0)
        self.close_orderly(p)

    def test_cancel_during_a_calculation_across_the_tiles_keeps_the_previous_route(self):
        # Legs between the region's first and last town, each across most
        # of the tiles, as many as make the calculation last long enough to
        # be cancelled.
        root = ET.parse(self.osm).getroot()
        towns = [(float(n.get('lat')), float(n.get('lon'))) for n in root.iter('node')
                 if any(t.get('k') == 'place' and t.get('v') in ('city', 'town', 'village') for t in n.iter('tag'))]
        self.assertGreaterEqual(len(towns), 2)
        a, b = towns[0], towns[-1]
        self.assertNotEqual(self.tile_of(a), self.tile_of(b), 'the towns lie in one tile')
        ends = ['%.9f' % a[0], '%.9f' % a[1], '%.9f' % b[0], '%.9f' % b[1]]
        # The route the program has before: calculated avoiding motorways;
        # calculated again without, its legs would take the motorway.
        car = RouteText(cli('route', self.folder, *ends))
        avoiding = RouteText(cli('route', self.folder, *ends, '--avoid', 'highways'))
        self.assertEqual((car.straight, avoiding.straight), (0, 0))
        self.assertNotEqual(len(car.road_points()), len(avoiding.road_points()),
                            'the same route with and without motorways')
        via = []
        for k in range(1, CANCEL_LEGS):
            via += ['--via', '%.9f,%.9f' % (b if k % 2 else a)]
        last = a if CANCEL_LEGS % 2 == 0 else b
        store = self.env.host_path(r'C:\velmo\Waypoints.bin')
        os.makedirs(os.path.dirname(store), exist_ok=True)
        previous = RouteText(cli('route', self.folder, ends[0], ends[1], '%.9f' % last[0], '%.9f' % last[1], *via,
                                 '--avoid', 'highways', '--store', store))
        self.assertEqual((previous.legs, previous.straight), (CANCEL_LEGS, 0))

        def stored_route():
            out = cli('import', store)
            return out[out.index('routes:'):]
        before = stored_route()
        count = int(before.split('\n')[1].split('\t')[2].split()[0])
        self.assertEqual(count, len(previous.points))

        p = self.open_collection(MapZoom=12, RoutingStyle=0, RoutingAvoidHighways=0)
        self.env.ctl('command', CMD_ROUTES)
        self.wait_title(ROUTES)
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title(EDITOR)
        self.assertEqual(int(self.env.ctl('list-count').strip()), count)
        self.env.ctl('press-dialog', RTE_CALCULATE)
        self.wait_title(PROGRESS, 30)
        self.env.screenshot('tile-routes-progress.png')
        self.assertEqual(self.top_title(), PROGRESS, 'the calculation ended before it could be cancelled')
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone(PROGRESS)
        self.wait_title(EDITOR)
        self.assertEqual(int(self.env.ctl('list-count').strip()), count, 'cancel changed the route')
        self.env.ctl('press-dialog', IDOK)
        self.wait_title(ROUTES)
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone(ROUTES)
        self.close_orderly(p)
        # The route itself, as the program stores it when it ends (the
        # editor's list alone would not show a route replaced behind it).
        after = stored_route()
        self.assertTrue(after == before, 'the stored route is not the one before the calculation: %r, before %r'
                        % (after.split('\n')[1], before.split('\n')[1]))


if __name__ == '__main__':
    unittest.main()

"""End-to-end tests of route calculation under Wine on the demo region: the
routing pages of the options dialog store their settings and the dialog
opens again on the page shown last; the route editor calculates a route of
two via points into road points that lie on the streets; the progress
window appears and its Cancel keeps the old points; and the pedestrian
vehicle of page 7 takes the pedestrian-only street that cars may not use.

The calculations need the road graph in the demo map and the route search:
when routing gives nothing these tests fail, they do not skip."""
import math
import os
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, count_colour, store_text, waypoint_record  # noqa: E402

NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'native'))
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')

CMD_OPTIONS, CMD_ROUTES = '40010', '40133'
IDOK, IDCANCEL = '1', '2'
LIST_PROPERTIES, LIST_SHOW = '1401', '1403'
RTE_CALCULATE = '1439'
OFF_ROUTE, AMN = 1700, 1701
STYLE_ROADS, STYLE_LINES, OPTIMIZATION, VEHICLE = 1710, 1711, 1712, 1716
AVOID_UTURNS, AVOID_TOLLS, AVOID_HIGHWAYS, AVOID_UNPAVED = 1720, 1721, 1722, 1723
LANGUAGE = 1002
# Tabs of the options sheet: language, pages 1-5, off route, routing, avoid.
TAB_OFF_ROUTE, TAB_AVOID = 6, 8
VK_HOME, VK_END = '0x24', '0x23'
OPTIONS, EDITOR, ROUTES, PROGRESS = 'Настройки', 'Свойства маршрута', 'Маршруты', 'Прокладка маршрута...'


def store_with_route(points, route_indices, name='Тест'):
    """A Waypoints.bin ("RW") of waypoints (name, lat, lon) and one route
    through them by index; the store keeps them in reverse file order."""
    body = b''.join(waypoint_record(n, lat, lon) for n, lat, lon in points)
    route = struct.pack('<IdI', 0, 45000.5, 0xE800E8) + store_text(name) + store_text('') + store_text('')
    route += struct.pack('<I', len(route_indices))
    route += b''.join(struct.pack('<BI', 0x01, i) for i in route_indices)
    header = b'RW' + bytes([12, 40, 4]) + struct.pack('<I', len(points)) + bytes([16, 3]) + struct.pack('<I', 1)
    return header + body + route


def magenta_pixel(png, client):
    """A screen point of the route colour (0xE800E8) inside the client area
    (x, y, width, height), nearest to the middle of those pixels; None."""
    x0, y0, w, h = client
    out = subprocess.run(['convert', png, '-crop', '%dx%d+%d+%d' % (w, h, x0, y0), '+repage', 'txt:-'],
                         stdout=subprocess.PIPE, check=True).stdout.decode()
    pts = []
    for line in out.splitlines():
        if '#E800E8' in line.upper():
            xy = line.split(':')[0].split(',')
            pts.append((int(xy[0]), int(xy[1])))
    if not pts:
        return None
    mx = sum(p[0] for p in pts) / len(pts)
    my = sum(p[1] for p in pts) / len(pts)
    x, y = min(pts, key=lambda p: (p[0] - mx) ** 2 + (p[1] - my) ** 2)
    return x0 + x, y0 + y


def metres(a, b):
    """Distance of two (lat, lon) points in metres (short distances)."""
    k = math.cos(math.radians((a[0] + b[0]) / 2))
    return math.hypot((a[0] - b[0]) * 111320.0, (a[1] - b[1]) * 111320.0 * k)


UNPAVED = ('unpaved', 'dirt', 'gravel', 'ground', 'sand', 'grass', 'compacted', 'fine_gravel', 'earth', 'mud')


class DemoRoads:
    """The demo region's roads, read from the OSM file the map was made of."""

    def __init__(self, osm_path):
        root = ET.parse(osm_path).getroot()
        self.nodes = {n.get('id'): (float(n.get('lat')), float(n.get('lon'))) for n in root.iter('node')}
        self.ways = []
        for w in root.iter('way'):
            tags = {t.get('k'): t.get('v') for t in w.iter('tag')}
            if 'highway' in tags:
                self.ways.append((tags, [self.nodes[nd.get('ref')] for nd in w.iter('nd')]))
        self.road_points = [p for _, pts in self.ways for p in pts]

    def first_way(self, **tags):
        for t, pts in self.ways:
            if all(t.get(k) == v for k, v in tags.items()):
                return pts
        return None

    def pedestrian_only(self):
        """The first way only walkers may use (a pedestrian street or a footway)."""
        for t, pts in self.ways:
            if t['highway'] in ('pedestrian', 'footway') or (t.get('motor_vehicle') == 'no' and t.get('foot') != 'no'):
                return pts
        return None

    def street_beside(self, node, walk):
        """A point a quarter of the way from a node of the walk to the next
        node of a two-way paved street that crosses the walk there; None.
        From there the walk is the shorter way for a walker, while a car
        must go round by the parallel street."""
        for t, pts in self.ways:
            if pts == walk or t['highway'] in ('pedestrian', 'footway', 'path', 'steps', 'cycleway', 'track'):
                continue
            if t.get('oneway') in ('yes', '1', 'true', '-1') or t.get('surface') in UNPAVED:
                continue
            for i, q in enumerate(pts):
                if q != node:
                    continue
                other = pts[i + 1] if i + 1 < len(pts) else pts[i - 1] if i > 0 else None
                if other is not None and other not in walk:
                    return (q[0] + (other[0] - q[0]) / 4, q[1] + (other[1] - q[1]) / 4)
        return None

    def distance_to_roads(self, p):
        """Metres from a point to the nearest point of a road (nodes and the
        segments between them)."""
        best = float('inf')
        for _, pts in self.ways:
            for a, b in zip(pts, pts[1:]):
                best = min(best, segment_distance(p, a, b))
        return best


def segment_distance(p, a, b):
    k = math.cos(math.radians(p[0]))
    ax, ay = (a[1] - p[1]) * k * 111320.0, (a[0] - p[0]) * 111320.0
    bx, by = (b[1] - p[1]) * k * 111320.0, (b[0] - p[0]) * 111320.0
    dx, dy = bx - ax, by - ay
    t = 0.0 if dx == dy == 0 else max(0.0, min(1.0, -(ax * dx + ay * dy) / (dx * dx + dy * dy)))
    return math.hypot(ax + t * dx, ay + t * dy)


class RoutingCase(DemoMapCase):
    """The routing tests' common base (the helpers are DemoMapCase's)."""


class RoutingOptionsTest(RoutingCase):
    def test_routing_pages_store_their_settings_and_the_dialog_opens_on_the_page_shown_last(self):
        self.fresh_settings(MapZoom=12, OptionsPage=7)
        p = self.start()
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title(OPTIONS)
        c = self.controls()
        self.assertEqual(c[STYLE_ROADS][1], 'Прокладывать маршрут по дорогам')
        self.assertEqual(c[STYLE_ROADS][3], 1, 'routes follow the roads by default')
        self.assertEqual(c[STYLE_LINES][3], 0)
        self.assertEqual(c[VEHICLE][3], 2, 'the car is the default vehicle')
        self.assertEqual(c[OPTIMIZATION][3], 0)
        self.assertTrue(c[VEHICLE][2] and c[OPTIMIZATION][2])
        self.env.screenshot('routing-options-page7.png')
        # Straight lines: the slider and the vehicles have no meaning and are greyed.
        self.env.ctl('click-control', str(STYLE_LINES))
        self.wait_control(VEHICLE, lambda v: not v[2], 'vehicles stay enabled with straight lines')
        self.assertFalse(self.controls()[OPTIMIZATION][2])
        self.env.ctl('click-control', str(STYLE_ROADS))
        self.wait_control(VEHICLE, lambda v: v[2], 'vehicles stay greyed along roads')
        self.env.ctl('list-key', VK_HOME)  # the pedestrian
        self.wait_control(VEHICLE, lambda v: v[3] == 0, 'the pedestrian is not selected')
        # The avoid page: its defaults, and one more road to avoid.
        self.env.ctl('sheet-page', str(TAB_AVOID))
        self.wait_control(AVOID_TOLLS, lambda v: v[3] == 0, 'no avoid page')
        c = self.controls()
        self.assertEqual((c[AVOID_UTURNS][3], c[AVOID_HIGHWAYS][3], c[AVOID_UNPAVED][3]), (1, 0, 1))
        self.env.ctl('click-control', str(AVOID_TOLLS))
        self.wait_control(AVOID_TOLLS, lambda v: v[3] == 1, 'toll roads are not checked')
        # The off-route page is remembered as page 6 as soon as it shows.
        self.env.ctl('sheet-page', str(TAB_OFF_ROUTE))
        self.assertTrue(self.env.wait_until(lambda: self.setting('OptionsPage') == 6, 20), self.setting('OptionsPage'))
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone(OPTIONS)
        self.assertEqual(self.setting('RoutingVehicle'), 0)
        self.assertEqual(self.setting('RoutingStyle'), 0)
        self.assertEqual(self.setting('RoutingOptimization'), 0)
        self.assertEqual(self.setting('RoutingAvoidTollRoads'), 1)
        self.assertEqual(self.setting('RoutingAvoidUTurns'), 1)
        self.assertEqual(self.setting('RoutingAvoidUnpavedRoads'), 1)
        self.assertEqual(self.setting('RoutingOffRoute'), 1)
        self.assertEqual(self.setting('RoutingAMN'), 2)

        # Opened again: the off-route page, with the stored choice and lead.
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title(OPTIONS)
        c = self.controls()
        self.assertIn(OFF_ROUTE, c, 'the dialog did not open on the off-route page')
        self.assertEqual(c[OFF_ROUTE][3], 0, '"recalculate automatically" stores 1')
        self.assertEqual(c[AMN][3], 2)
        self.env.ctl('list-key', VK_END)  # "stop route guidance"
        self.wait_control(OFF_ROUTE, lambda v: v[3] == 2, 'the last choice is not selected')
        self.env.screenshot('routing-options-page6.png')
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone(OPTIONS)
        self.assertEqual(self.setting('RoutingOffRoute'), 2)
        # Each choice shows again as it was saved; Cancel stores nothing.
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title(OPTIONS)
        self.assertEqual(self.controls()[OFF_ROUTE][3], 2)
        self.env.ctl('list-key', VK_HOME)
        self.wait_control(OFF_ROUTE, lambda v: v[3] == 0, 'the first choice is not selected')
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone(OPTIONS)
        self.assertEqual(self.setting('RoutingOffRoute'), 2)
        # No language was changed: the program did not restart.
        self.assertEqual(self.env.window_count(), 1)
        self.close_orderly(p)


    def test_the_language_page_stores_the_new_language_and_restarts_the_program(self):
        self.fresh_settings(MapZoom=12, OptionsPage=7)
        p = self.start()
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title(OPTIONS)
        self.env.ctl('sheet-page', '0')
        self.assertTrue(self.env.wait_until(lambda: self.setting('OptionsPage') == 0, 20), self.setting('OptionsPage'))
        c = self.controls()
        self.assertEqual(c[LANGUAGE][1], 'Русский')
        self.env.ctl('combo-select', str(LANGUAGE), '1')  # English
        self.env.ctl('press-dialog', IDOK)
        # The program ends and starts again in English.
        self.assertEqual(self.env.wait_exit(p), 0)
        self.assertEqual(self.setting('Language'), 0x0409)
        self.assertTrue(self.env.wait_until(lambda: self.env.window_count() == 1, 60), 'no restart')
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title('Options')
        self.assertEqual(self.controls()[LANGUAGE][1], 'English')
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Options')
        self.env.ctl('close')
        self.assertTrue(self.env.wait_until(lambda: self.env.window_count() == 0, 60), 'the restarted program stays')


@unittest.skipUnless(os.path.exists(CLI), 'velmo-cli is not built')
class RouteCalculationTest(RoutingCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.roads = DemoRoads(os.path.join(cls.env.root, 'demo-1.osm'))
        # The south-west corner of the first town's street grid and the east
        # end of its last paved west-east street (unpaved roads are avoided).
        first_row = cls.roads.first_way(name='улица Ленина', highway='residential')
        last_row = cls.roads.first_way(name='Набережная улица', highway='residential')
        cls.corner_a, cls.corner_b = first_row[0], last_row[-1]

    def stored_route(self):
        """(point count, length in metres, the router's points as (lat, lon))."""
        out = subprocess.run([CLI, 'import', self.env.host_path(r'C:\velmo\Waypoints.bin')], stdout=subprocess.PIPE,
                             check=True).stdout.decode()
        header = [line for line in out.splitlines() if line.startswith('R\t')]
        self.assertEqual(len(header), 1, out)
        f = header[0].split('\t')
        made = [tuple(float(v) for v in line.split('\t')[1:3]) for line in out.splitlines()
                if line.startswith('  S\t')]
        return int(f[2].split()[0]), float(f[4].split()[0]), made

    def put_route(self, a, b, repeat=1):
        indices = [0, 1] * repeat
        self.env.put_file(r'C:\velmo\Waypoints.bin',
                          store_with_route([('A', a[0], a[1]), ('B', b[0], b[1])], indices))

    def calculate_in_editor(self):
        """Opens the route list and the route's editor, calculates, keeps it."""
        self.env.ctl('command', CMD_ROUTES)
        self.wait_title(ROUTES)
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title(EDITOR)
        # Done when the list shows other points, with road points between
        # the two via points (a second calculation may well give a route of
        # no more points than the first).
        before = self.env.ctl('list-text')
        self.env.ctl('press-dialog', RTE_CALCULATE)
        self.assertTrue(self.env.wait_until(lambda: self.top_title() == EDITOR and
                                            int(self.env.ctl('list-count').strip()) > 2 and
                                            self.env.ctl('list-text') != before, 60),
                        'the route was not calculated into road points: %s' % self.env.describe_screen())
        calculated = int(self.env.ctl('list-count').strip())
        # Kept: the store file is written anew with the calculated points (a
        # route stored before may well have as many).
        path = self.env.host_path(r'C:\velmo\Waypoints.bin')

        def stored_bytes():
            try:
                with open(path, 'rb') as f:
                    return f.read()
            except OSError:
                return None
        before_ok = stored_bytes()
        self.env.ctl('press-dialog', IDOK)
        self.wait_title(ROUTES)
        self.assertTrue(self.env.wait_until(lambda: stored_bytes() != before_ok and
                                            self.stored_route()[0] == calculated, 20),
                        'the calculated route was not stored')

    def test_route_editor_calculates_two_via_points_into_a_route_along_the_streets(self):
        self.fresh_settings(MapZoom=13, ShowRoutes=1)
        self.put_route(self.corner_a, self.corner_b)
        p = self.start()
        self.calculate_in_editor()
        count, length, made = self.stored_route()
        self.assertGreaterEqual(len(made), 3, 'the route has no road points')
        self.assertEqual(count, len(made) + 2)
        # Every point the router made lies on a street of the region.
        worst = max(self.roads.distance_to_roads(pt) for pt in made)
        self.assertLess(worst, 5.0, 'a route point %.1f m away from any street' % worst)
        # Along a street grid the route is longer than the straight line, but not by much.
        direct = metres(self.corner_a, self.corner_b)
        self.assertGreater(length, direct)
        self.assertLess(length, direct * 1.6)
        # On the map, drawn in the route's colour.
        self.env.ctl('press-dialog', LIST_SHOW)
        self.wait_gone(ROUTES)
        self.assertTrue(self.env.wait_until(lambda: count_colour(self.env.screenshot('routing-route-on-streets.png'),
                                                                 '#E800E8') > 100, 30, 0.5), 'the route is not drawn')
        self.close_orderly(p)

    def test_recalculate_route_of_the_route_menu_calculates_the_route_under_the_pointer(self):
        self.fresh_settings(MapZoom=13, ShowRoutes=1, ShowMapGauges=0)
        self.put_route(self.corner_a, self.corner_b)
        p = self.start()
        self.env.ctl('resize', '640', '520')
        # The route list shows the route: the map fits it.
        self.env.ctl('command', CMD_ROUTES)
        self.wait_title(ROUTES)
        self.env.ctl('press-dialog', LIST_SHOW)
        self.wait_gone(ROUTES)
        (_, _, _, _), (cx, cy) = self.env.window_rect()
        w, h = self.env.client_size()
        shot = [None]

        def route_pixel():
            shot[0] = self.env.screenshot('routing-before-recalculate.png')
            return magenta_pixel(shot[0], (cx, cy, w, h))
        at = self.env.wait_until(route_pixel, 30, 0.5)
        self.assertTrue(at, 'the route is not drawn')
        # The route's menu under the pointer: "Перепроложить маршрут" is the
        # item above the default "Свойства маршрута...".
        self.env.xdotool('mousemove', str(at[0]), str(at[1]), 'click', '3')
        self.env.xdotool('sleep', '0.5', 'key', 'Up', 'Up', 'Return')
        self.assertTrue(self.env.wait_until(lambda: len(self.stored_route()[2]) >= 3, 60),
                        'the route was not calculated into road points')
        _, _, made = self.stored_route()
        worst = max(self.roads.distance_to_roads(pt) for pt in made)
        self.assertLess(worst, 5.0, 'a route point %.1f m away from any street' % worst)
        self.env.screenshot('routing-after-recalculate.png')
        self.close_orderly(p)

    def test_progress_window_shows_and_its_cancel_keeps_the_old_points(self):
        self.fresh_settings(MapZoom=12)
        # Many legs across the town, so the calculation lasts long enough to be cancelled.
        legs = 3000
        self.put_route(self.corner_a, self.corner_b, repeat=legs // 2)
        p = self.start()
        self.env.ctl('command', CMD_ROUTES)
        self.wait_title(ROUTES)
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title(EDITOR)
        self.assertEqual(int(self.env.ctl('list-count').strip()), legs)
        self.env.ctl('press-dialog', RTE_CALCULATE)
        self.wait_title(PROGRESS, 30)
        self.env.screenshot('routing-progress.png')
        self.assertEqual(self.top_title(), PROGRESS, 'the calculation ended before it could be cancelled')
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone(PROGRESS)
        self.wait_title(EDITOR)
        self.assertEqual(int(self.env.ctl('list-count').strip()), legs, 'cancel changed the points')
        self.env.ctl('press-dialog', IDOK)
        self.wait_title(ROUTES)
        count, _, made = self.stored_route()
        self.assertEqual((count, made), (legs, []))
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)

    def test_the_pedestrian_takes_the_street_cars_may_not_use(self):
        walk = self.roads.pedestrian_only()
        self.assertIsNotNone(walk, 'the demo region has no pedestrian-only street')
        # The ends: on the first and the last two-way paved street that
        # crosses the walk, a little way off it (a route cannot start on a
        # road closed to its vehicle, and in the street grid a route from
        # one node of the walk to another is no shorter along the walk than
        # along its parallel streets).
        ends = [(i, self.roads.street_beside(q, walk)) for i, q in enumerate(walk)]
        ends = [(i, pt) for i, pt in ends if pt]
        self.assertGreaterEqual(len(ends), 2, 'no two streets across the pedestrian street')
        (ia, a), (ib, b) = ends[0], ends[-1]
        self.assertGreaterEqual(ib - ia, 2, 'the streets across the pedestrian street are neighbours')
        # By length: the time cost takes each road's own speed, so a walker
        # would otherwise be sent round by the 40 km/h streets.
        self.fresh_settings(MapZoom=13, OptionsPage=7, RoutingOptimization=3)
        self.put_route(a, b)
        p = self.start()
        self.calculate_in_editor()
        _, car_length, car_points = self.stored_route()
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone(ROUTES)
        # Page 7: the pedestrian.
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title(OPTIONS)
        self.env.ctl('list-key', VK_HOME)
        self.wait_control(VEHICLE, lambda v: v[3] == 0, 'the pedestrian is not selected')
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone(OPTIONS)
        self.assertEqual(self.setting('RoutingVehicle'), 0)
        self.calculate_in_editor()
        _, foot_length, foot_points = self.stored_route()
        self.assertNotEqual(foot_points, car_points, 'the vehicle made no difference')
        # The walker goes along the pedestrian street; the car goes round it.
        self.assertLess(foot_length, car_length)
        inner = walk[ia + 1:ib]

        def uses_walk(points):
            return any(min(segment_distance(q, u, v) for u, v in zip(points, points[1:])) < 3 for q in inner)
        self.assertTrue(uses_walk([a] + foot_points + [b]), 'the pedestrian route does not use the pedestrian street')
        self.assertFalse(uses_walk([a] + car_points + [b]), 'the car route uses the pedestrian street')
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)


if __name__ == '__main__':
    unittest.main()

"""End-to-end tests of waypoints and routes made on the map under Wine:
waypoints saved at the pointer, a route started on one waypoint and
continued to another by taps and the map's commands, both drawn; the
context menu chosen by what is under the pointer."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, centre_setting, count_colour  # noqa: E402

MAP = DemoMapCase.MAP


def store_records(cli, store):
    """(waypoints, routes) of a store as velmo-cli import prints them."""
    out = subprocess.run([cli, 'import', store], stdout=subprocess.PIPE, check=True).stdout.decode()
    lines = [line.split('\t') for line in out.splitlines()]
    return [f for f in lines if f[0] == 'W'], [f for f in lines if f[0] == 'R'], out


class MapEditTest(DemoMapCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.cli = os.path.join(os.path.dirname(cls.env.demo_map_tools()[0]), '..', 'cli', 'velmo-cli')
        cls.store = os.path.join(cls.env.program_dir, 'Waypoints.bin')

    def setUp(self):
        self.start_program()

    def start_program(self, centre=None):
        # Routes built here keep their via points (straight lines): this is
        # about editing on the map, not about calculating roads.
        self.fresh_settings(MapZoom=12, ShowMapGauges=0, RoutingStyle=1)
        if centre:
            self.env.reg_add(SETTINGS_KEY, 'MapXc', centre_setting(centre[1]), 'REG_DWORD')
            self.env.reg_add(SETTINGS_KEY, 'MapYc', centre_setting(centre[0]), 'REG_DWORD')
        if os.path.exists(self.store):
            os.remove(self.store)
        self.p = self.env.start(MAP)
        self.env.wait_window()
        self.env.ctl('resize', '640', '520')
        (_, _, _, _), (self.cx, self.cy) = self.env.window_rect()
        self.w, self.h = self.env.client_size()

    def tearDown(self):
        self.env.stop_programs()

    def close_orderly(self):
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(self.p), 0)

    def tap(self, x, y):
        self.env.xdotool('mousemove', str(self.cx + x), str(self.cy + y), 'click', '1')

    def save_waypoint_at(self, x, y, count):
        """Command 40019 at the pointer: the new-waypoint dialog, OK; the store
        then holds `count` waypoints."""
        self.tap(x, y)
        self.env.ctl('command', '40019')
        self.assertTrue(self.env.wait_dialog(), 'no new-waypoint dialog')
        self.env.ctl('press-dialog', '1')
        self.assertTrue(self.env.wait_until(
            lambda: os.path.exists(self.store) and len(store_records(self.cli, self.store)[0]) == count, 20),
            'the waypoint was not stored')

    def test_waypoints_made_at_the_pointer_and_a_route_built_through_them_are_stored_and_drawn(self):
        a = (self.w // 3, self.h // 3)
        b = (2 * self.w // 3, 2 * self.h // 3)
        self.save_waypoint_at(*a, count=1)
        self.save_waypoint_at(*b, count=2)
        waypoints, routes, out = store_records(self.cli, self.store)
        self.assertEqual(sorted(f[1] for f in waypoints), ['001', '002'])
        # The waypoint made at the upper left lies north-west of the other.
        by_name = {f[1]: (float(f[2]), float(f[3])) for f in waypoints}
        self.assertGreater(by_name['001'][0], by_name['002'][0], out)
        self.assertLess(by_name['001'][1], by_name['002'][1], out)
        self.assertEqual(routes, [])

        # A tap selects the waypoint under the pointer; "Начать маршрут"
        # starts a route on it, "Добавить к маршруту" adds the next one.
        self.tap(*a)
        self.env.ctl('command', '40146')
        self.assertTrue(self.env.wait_until(lambda: len(store_records(self.cli, self.store)[1]) == 1, 20),
                        'no route stored')
        self.tap(*b)
        self.env.ctl('command', '40143')
        self.assertTrue(self.env.wait_until(
            lambda: (lambda r: r and r[0][2] == '2 points')(store_records(self.cli, self.store)[1]), 20),
            'the second point was not added:\n' + store_records(self.cli, self.store)[2])
        shot = self.env.screenshot('route-being-edited.png')
        # The edited route's grey line runs between the two waypoints.
        box = '%dx%d+%d+%d' % (b[0] - a[0] - 30, b[1] - a[1] - 30, self.cx + a[0] + 15, self.cy + a[1] + 15)
        self.assertGreater(count_colour(shot, '#808080', box), 20, 'no edited-route overlay on the map')
        self.env.ctl('command', '40145')  # "Завершить редактирование"
        self.env.screenshot('route-and-waypoints.png')
        self.close_orderly()
        waypoints, routes, out = store_records(self.cli, self.store)
        self.assertEqual(len(waypoints), 2, out)
        self.assertEqual(len(routes), 1, out)
        self.assertEqual(routes[0][1], '001', out)  # the generated route name
        points = [line.strip().split('\t') for line in out.splitlines() if line.strip().startswith('P\t')]
        self.assertEqual([p[1] for p in points], ['001', '002'], out)

    def test_the_context_menu_follows_what_is_under_the_pointer(self):
        a = (self.w // 2, self.h // 2)
        self.save_waypoint_at(*a, count=1)
        # Over the waypoint: its menu, with "Свойства точки..." as the default item.
        self.env.xdotool('mousemove', str(self.cx + a[0]), str(self.cy + a[1]), 'click', '3')
        menu = self.env.wait_until(lambda: self.env.screenshot('waypoint-context-menu.png'), 5)
        self.env.xdotool('key', 'Escape')
        # "Удалить точку" through the menu: Down selects the items in order.
        self.env.xdotool('mousemove', str(self.cx + a[0]), str(self.cy + a[1]), 'click', '3')
        self.env.xdotool('sleep', '0.5', 'key', 'Down', 'Down', 'Down', 'Down', 'Down', 'Down', 'Return')
        self.assertTrue(self.env.wait_dialog(), 'no question before deleting the waypoint')
        self.env.screenshot('delete-waypoint-question.png')
        self.env.ctl('press-dialog', '6')  # IDYES
        self.assertTrue(self.env.wait_until(lambda: store_records(self.cli, self.store)[0] == [], 20),
                        'the waypoint was not deleted')
        self.close_orderly()
        self.assertTrue(menu)

    def test_a_double_click_on_a_map_object_shows_what_it_is(self):
        # The demo region's forest "Бор": its middle at the centre of the view.
        nearest = subprocess.run([self.cli, 'nearest', self.env.host_path(MAP), '55.14', '37.37', '50000',
                                  'area:0x0050'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                 check=True).stdout.decode()
        line = [ln for ln in nearest.splitlines() if '"Бор"' in ln]
        self.assertTrue(line, nearest)
        lat, lon = [float(v) for v in line[0].split()[2].split(',')]
        self.start_program(centre=(lat, lon))
        self.env.xdotool('mousemove', str(self.cx + self.w // 2), str(self.cy + self.h // 2),
                         'click', '--repeat', '2', '--delay', '80', '1')
        self.assertTrue(self.env.wait_dialog(), 'no object information')
        self.env.screenshot('object-information.png')
        text = self.env.ctl('dialog-text')
        self.env.ctl('press-dialog', '1')
        self.close_orderly()
        self.assertIn('Бор', text)
        self.assertIn('55°', text)


if __name__ == '__main__':
    unittest.main()

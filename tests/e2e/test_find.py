"""End-to-end tests of the find dialogs under Wine on the demo region: the
nearest fuel stations to the map's centre with distances and bearings (the
order and the nearest one checked against velmo-cli's nearest search of the
same map), showing a result on the map, the category tree and the saved
filter, the settlements and the postal address (when the map carries its
city index)."""
import math
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, centre_setting  # noqa: E402

NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'native'))
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')

CMD_FIND_IN_CITY, CMD_FIND_ADDRESS, CMD_FIND_NEAREST, CMD_FIND_CITY = '40075', '40076', '40090', '40091'
FIND_TEXT1, FIND_TEXT2, FIND_TEXT3 = '1604', '1606', '1608'
FIND_TYPE, FIND_TYPE_CAPTION, FIND_GO = '1610', '1611', '1612'
FIND_SHOW, FIND_GOTO = '40080', '40082'
IDOK, IDCANCEL = '1', '2'
FUEL_COOKIE = 345  # the single type 0:2F01 under "Автотранспорт / Услуги"
LON0, LAT0 = 37.02, 55.01  # in the first town of the demo region


def cli(*args):
    r = subprocess.run([CLI, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return r.returncode, r.stdout.decode('utf-8', 'replace')


def metres(text):
    """A distance cell ("650 м", "1.2 км", "1,2 км") in metres."""
    m = re.match(r'\s*([\d\s ]+(?:[.,]\d+)?)\s*(\S+)', text)
    assert m, text
    value = float(m.group(1).replace(' ', '').replace('\u00a0', '').replace(',', '.'))
    return value * (1000.0 if m.group(2) in ('км', 'km') else 1.0)


@unittest.skipUnless(os.path.exists(CLI), 'velmo-cli is not built')
class FindDialogsTest(DemoMapCase):
    def setUp(self):
        self.fresh_settings(MapZoom=12, MapXc=centre_setting(LON0), MapYc=centre_setting(LAT0),
                            Find_TypeCookie=FUEL_COOKIE, Find_Distance=20000)

    def rows(self):
        out = self.env.ctl('listview-text', check=False)
        return [line.split('\t') for line in out.splitlines() if line]

    def wait_rows(self):
        rows = self.env.wait_until(self.rows, 60)
        self.assertTrue(rows, self.env.describe_screen())
        return rows

    def has_city_index(self):
        code, out = cli('cities', self.env.host_path(self.MAP))
        return code == 0 and bool(out.strip())

    # --- nearest objects --------------------------------------------------------
    def test_nearest_fuel_stations_with_distances_and_bearings(self):
        code, out = cli('nearest', self.env.host_path(self.MAP), str(LAT0), str(LON0), '20000', '0x2F01')
        self.assertEqual(code, 0)
        expected = []
        for line in out.splitlines():
            m = re.match(r'0x2f01 "(.*)" ([-\d.]+),([-\d.]+) ([\d.]+) scale', line)
            if m:
                expected.append((float(m.group(4)), m.group(1), float(m.group(2)), float(m.group(3))))
        expected.sort()
        self.assertTrue(expected, 'the demo region has fuel stations: ' + out[:500])

        self.start()
        self.env.ctl('command', CMD_FIND_NEAREST)
        self.wait_title('Ближайшие объекты')
        texts = self.env.ctl('dialog-text')
        self.assertIn('0 0x2f01', texts)  # the saved filter's caption
        self.assertIn('20\n', texts)      # the saved limit, in kilometres
        self.env.ctl('press-dialog', FIND_GO)
        rows = self.wait_rows()
        self.env.screenshot('find-nearest-fuel.png')
        self.assertEqual(len(rows), len(expected), rows)
        for row in rows:
            self.assertEqual(row[1], '0 0x2f01', row)
        distances = [metres(row[2]) for row in rows]
        self.assertEqual(distances, sorted(distances))
        # The nearest station is the reader's nearest, at its distance.
        self.assertEqual(rows[0][0], expected[0][1])
        self.assertLess(abs(distances[0] - expected[0][0]), max(15.0, expected[0][0] * 0.02), rows[0])
        for row, (d, name, lat, lon) in zip(rows, expected):
            # Bearing from the centre: atan2 of the local east and north offsets.
            east = (lon - LON0) * math.cos(math.radians(LAT0))
            north = lat - LAT0
            bearing = math.degrees(math.atan2(east, north)) % 360
            shown = float(re.match(r'[\d.,]+', row[3]).group(0).replace(',', '.'))
            delta = abs((shown - bearing + 180) % 360 - 180)
            if abs(metres(row[2]) - d) < 1:  # the same station (equal distances may swap)
                self.assertLess(delta, 2.0, (row, bearing))

        # Show on map: the dialog closes and the view is centred on it.
        self.env.ctl('press-dialog', FIND_SHOW)
        self.wait_gone('Ближайшие объекты')
        _, name, lat, lon = expected[0]
        xc = self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'MapXc') != centre_setting(LON0) and
                                 self.env.reg_query(SETTINGS_KEY, 'MapXc'), 20)
        self.assertLess(abs((xc - centre_setting(lon) + 2 ** 31) % 2 ** 32 - 2 ** 31), 40)
        yc = self.env.reg_query(SETTINGS_KEY, 'MapYc')
        self.assertLess(abs((yc - centre_setting(lat) + 2 ** 31) % 2 ** 32 - 2 ** 31), 40)
        self.env.screenshot('find-nearest-shown.png')

    def test_type_tree_choice_is_saved_and_a_small_limit_finds_nothing(self):
        self.start()
        self.env.ctl('command', CMD_FIND_NEAREST)
        self.wait_title('Ближайшие объекты')
        self.env.ctl('click-control', FIND_TYPE)
        self.wait_title('Тип объектов')
        self.env.ctl('press-dialog', IDOK)  # the saved row stays chosen
        self.wait_title('Ближайшие объекты')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'Find_TypeCookie'), FUEL_COOKIE)
        # "Choose the type automatically" is on by default: the search ran.
        self.wait_rows()
        self.wait_title('Ближайшие объекты')
        # 1 metre around the centre: no fuel station; the message, an empty list.
        self.env.ctl('set-dialog-text', FIND_TEXT2, '0,001')
        self.env.ctl('press-dialog', FIND_GO)
        self.wait_title('VELMO')
        self.assertIn('Не найдено ни одного объекта', self.env.ctl('dialog-text'))
        self.env.ctl('press-dialog', IDOK)
        if not self.env.wait_until(lambda: self.top_title() == 'Ближайшие объекты', 60):
            self.env.screenshot('find-nothing-found.png')
            self.fail('the message stays: %s' % self.env.ctl('dialog-text'))
        self.assertEqual(self.rows(), [])
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Ближайшие объекты')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'Find_Distance'), 1)

    # --- settlements and addresses ----------------------------------------------
    def test_settlements_list_the_demo_towns(self):
        self.start()
        self.env.ctl('command', CMD_FIND_CITY)
        if not self.has_city_index():
            # Without the city index the map says so and no dialog opens.
            self.wait_title('VELMO')
            self.assertIn('проиндексированных данных', self.env.ctl('dialog-text'))
            self.env.ctl('press-dialog', IDOK)
            self.skipTest('the demo map carries no city index')
        self.wait_title('Населённые пункты')
        names = [row[0] for row in self.wait_rows()]
        self.env.screenshot('find-settlements.png')
        for town in ('Берёзовка', 'Сосновка', 'Каменск'):
            self.assertIn(town, names)

    def test_address_of_a_demo_street_is_shown_on_the_map(self):
        if not self.has_city_index():
            self.skipTest('the demo map carries no city index')
        self.start()
        self.env.ctl('command', CMD_FIND_ADDRESS)
        self.wait_title('Поиск по почтовому адресу')
        self.env.ctl('set-dialog-text', '1601', 'Берёзовка')
        self.env.ctl('set-dialog-text', FIND_TEXT1, '')
        self.env.ctl('set-dialog-text', FIND_TEXT2, 'Садовая')
        self.env.ctl('set-dialog-text', FIND_TEXT3, '')
        self.env.ctl('press-dialog', FIND_GO)
        rows = self.wait_rows()
        self.env.screenshot('find-address.png')
        for row in rows:
            self.assertIn('Садовая', row[3], row)
        self.env.ctl('press-dialog', FIND_SHOW)
        self.wait_gone('Поиск по почтовому адресу')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'Find_Street'), 'Садовая')
        self.env.screenshot('find-address-shown.png')


if __name__ == '__main__':
    unittest.main()

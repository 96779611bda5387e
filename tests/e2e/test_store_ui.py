"""End-to-end tests of the waypoint and route dialogs under Wine: the lists
show the store, delete through their question, export through the save
dialog in the format of the typed name, import a GPSBabel-written file and
report the count, edit a waypoint's properties and build a route in the
route editor. Results are read back from Waypoints.bin with velmo-cli and
from the exported files with gpsbabel."""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, count_colour, waypoint_record, waypoints_file  # noqa: E402

NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'native'))
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')

CMD_WAYPOINTS, CMD_ROUTES = '40020', '40133'
IDOK, IDCANCEL, IDYES = '1', '2', '6'
LIST_PROPERTIES, LIST_DELETE, LIST_SHOW, LIST_NEW, LIST_IMPORT, LIST_EXPORT = (str(i) for i in range(1401, 1407))
WP_NAME, WP_COMMENT, WP_SYMBOL, WP_LAT, WP_ALTITUDE = '1004', '1410', '1411', '1414', '1416'
RTE_NAME, RTE_INSERT, RTE_DELETE = '1430', '1434', '1435'
FILE_NAME = '1148'  # the name box of the common file dialogs
VK_DOWN, VK_HOME = '0x28', '0x24'


def demo_waypoint(name, lat, lon, symbol=18, altitude=None):
    return waypoint_record(name, lat, lon, symbol, altitude=altitude, comment='about ' + name, time=45000.5)


# Three waypoints in the demo region, file order Alpha, Bravo, Charlie
# (the store lists them the other way round).
THREE_WAYPOINTS = waypoints_file([demo_waypoint('Alpha', 55.01, 37.01, 0, 120.0), demo_waypoint('Bravo', 55.02, 37.05, 5),
                                  demo_waypoint('Charlie', 55.05, 37.10, 18, 3.0)])


@unittest.skipUnless(os.path.exists(CLI), 'velmo-cli is not built')
class StoreDialogsTest(DemoMapCase):
    def setUp(self):
        self.fresh_settings(MapZoom=12)
        self.store = self.env.put_file(r'C:\velmo\Waypoints.bin', THREE_WAYPOINTS)
        shutil.rmtree(self.env.host_path(r'C:\out'), ignore_errors=True)
        os.makedirs(self.env.host_path(r'C:\out'))

    # --- helpers ----------------------------------------------------------------
    def list_count(self):
        return int(self.env.ctl('list-count').strip())

    def wait_list_count(self, n):
        self.assertEqual(self.env.wait_until(lambda: self.list_count() == n and n, 20), n)

    def stored(self):
        out = subprocess.run([CLI, 'import', self.store], stdout=subprocess.PIPE, check=True).stdout.decode()
        waypoints = [line.split('\t') for line in out.splitlines() if line.startswith('W\t')]
        routes = []
        for line in out.splitlines():
            if line.startswith('R\t'):
                routes.append((line.split('\t')[1], []))
            elif line.startswith('  P\t') and routes:
                routes[-1][1].append(line.split('\t')[1])
        return waypoints, routes

    def stored_names(self):
        return sorted(w[1] for w in self.stored()[0])

    def file_dialog(self, title, windows_path):
        """Types a path into the common file dialog and confirms it."""
        self.wait_title(title)
        self.env.ctl('set-dialog-text', FILE_NAME, windows_path)
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone(title)

    def message(self):
        """The text of the message box on top, which is then closed."""
        if not self.env.wait_until(lambda: self.top_title() == 'VELMO', 60):
            self.fail('no message box: ' + self.env.describe_screen())
        text = self.env.ctl('dialog-text')
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone('VELMO')
        return text

    def gpsbabel_names(self, fmt, path):
        gpx = subprocess.run(['gpsbabel', '-i', fmt, '-f', path, '-o', 'gpx', '-F', '-'], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, check=True).stdout.decode()
        return sorted(set(re.findall(r'<wpt[^>]*>\s*(?:<[^n][^>]*>[^<]*</[^>]*>\s*)*<name>([^<]*)</name>', gpx)))

    # --- tests -------------------------------------------------------------------
    def test_waypoint_list_shows_edits_and_deletes_the_stored_waypoints(self):
        p = self.start()
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.wait_list_count(3)
        self.env.screenshot('store-waypoint-list.png')
        # The first row (store order: Charlie) is selected; its properties.
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title('Свойства путевой точки')
        texts = self.env.ctl('dialog-text')
        # Coordinates in the position format of the options (degrees and minutes by default).
        for expected in ('Charlie', 'about Charlie', "N55°03.000'", "E37°06.000'", 'Высота, м:', '3.0', 'Путевая точка',
                         'Значок и имя'):
            self.assertIn(expected, texts)
        self.env.screenshot('store-waypoint-properties.png')
        # A value that is not a number is refused and nothing is stored.
        self.env.ctl('set-dialog-text', WP_ALTITUDE, 'high')
        self.env.ctl('press-dialog', IDOK)
        self.assertIn('Неверное значение.', self.message())
        self.wait_title('Свойства путевой точки')
        self.env.ctl('set-dialog-text', WP_ALTITUDE, '-')
        self.env.ctl('set-dialog-text', WP_NAME, 'Дельта')
        # A latitude typed in degrees, minutes and seconds; the longitude is left as shown.
        self.env.ctl('set-dialog-text', WP_LAT, 'N55°04\'30"')
        # The symbol chooser: OK keeps the symbol and remembers it as recent.
        self.env.ctl('press-dialog', WP_SYMBOL)
        self.wait_title('Выбор значка')
        self.assertIn('Путевая точка', self.env.ctl('dialog-text'))
        self.env.screenshot('store-symbol-chooser.png')
        self.env.ctl('press-dialog', IDOK)
        self.wait_title('Свойства путевой точки')
        self.env.ctl('press-dialog', IDOK)
        self.wait_title('Путевые точки')
        self.assertEqual(self.env.wait_until(lambda: 'Дельта' in self.stored_names() and True, 20), True)
        delta = [w for w in self.stored()[0] if w[1] == 'Дельта'][0]
        self.assertEqual(delta[4], '-', 'altitude "-" is no altitude')
        self.assertAlmostEqual(float(delta[2]), 55.075, places=6)
        self.assertAlmostEqual(float(delta[3]), 37.10, places=7, msg='an untouched field keeps the exact value')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'SelectWayPointDialog'), '19 ')
        # Delete asks first; No keeps the waypoint, Yes deletes it.
        self.env.ctl('press-dialog', LIST_DELETE)
        self.wait_title('VELMO')
        self.assertIn('Удалить путевую точку "Дельта"?', self.env.ctl('dialog-text'))
        self.env.ctl('press-dialog', '7')  # IDNO
        self.wait_title('Путевые точки')
        self.assertEqual(self.list_count(), 3)
        self.env.ctl('press-dialog', LIST_DELETE)
        self.wait_title('VELMO')
        self.env.ctl('press-dialog', IDYES)
        self.wait_title('Путевые точки')
        self.wait_list_count(2)
        self.assertEqual(self.env.wait_until(lambda: self.stored_names() == ['Alpha', 'Bravo'] and True, 20), True)
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Путевые точки')
        self.close_orderly(p)
        self.assertEqual(self.stored_names(), ['Alpha', 'Bravo'])
        # The column layout is kept for the next time.
        layout = self.env.reg_query(SETTINGS_KEY, 'Waypoints_Headers')
        self.assertRegex(layout or '', r'^0:\d+ 1:\d+ 2:\d+ 3:\d+ 4:\d+ 5:\d+ 6:\d+ 7:\d+$')

    def test_export_writes_the_format_of_the_filter_or_of_the_typed_extension(self):
        p = self.start()
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.env.ctl('press-dialog', LIST_EXPORT)
        self.file_dialog('Экспорт путевых точек', r'C:\out\points.gdb')
        gdb = self.env.host_path(r'C:\out\points.gdb')
        self.assertTrue(self.env.wait_until(lambda: os.path.exists(gdb), 20), 'no GDB file')
        self.assertEqual(self.gpsbabel_names('gdb', gdb), ['Alpha', 'Bravo', 'Charlie'])
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'WptExportFormat'), 1)
        # The filter stays on GDB; the typed .wpt name takes the OziExplorer format.
        self.env.ctl('press-dialog', LIST_EXPORT)
        self.file_dialog('Экспорт путевых точек', r'C:\out\points.wpt')
        wpt = self.env.host_path(r'C:\out\points.wpt')
        self.assertTrue(self.env.wait_until(lambda: os.path.exists(wpt), 20), 'no OziExplorer file')
        with open(wpt, 'rb') as f:
            self.assertTrue(f.read().startswith(b'OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\n'))
        self.assertEqual(self.gpsbabel_names('ozi', wpt), ['Alpha', 'Bravo', 'Charlie'])
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'WptExportFormat'), 2)
        # Cancel writes nothing (the proposed name is not used).
        self.env.ctl('press-dialog', LIST_EXPORT)
        self.wait_title('Экспорт путевых точек')
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Экспорт путевых точек')
        self.assertFalse(os.path.exists(self.env.host_path(r'C:\out\Exported Waypoints.gdb')))
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)

    def test_an_export_that_cannot_be_written_says_so_and_keeps_the_file_it_would_replace(self):
        kept = self.env.put_file(r'C:\out\kept.gdb', b'the user\'s earlier export')
        p = self.start()
        # Another program holds the file open, shared with nobody, so it
        # cannot be replaced (the tests run as root, so permissions cannot).
        holder = subprocess.Popen(['wine', os.path.join(self.env.root, 'velmo_ctl.exe'), 'lock-file',
                                   r'C:\out\kept.gdb', '120'],
                                  env=self.env.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(5)
            self.assertIsNone(holder.poll(), 'the file could not be locked')
            self.env.ctl('command', CMD_WAYPOINTS)
            self.wait_title('Путевые точки')
            self.env.ctl('press-dialog', LIST_EXPORT)
            self.wait_title('Экспорт путевых точек')
            self.env.ctl('set-dialog-text', FILE_NAME, r'C:\out\kept.gdb')
            self.env.ctl('press-dialog', IDOK)
            # The file dialog asks before replacing the existing file: yes.
            self.assertTrue(self.env.wait_until(lambda: len(self.env.dialogs()) == 3 and
                                                'already exists' in self.env.ctl('dialog-text'), 30),
                            self.env.describe_screen())
            self.env.ctl('press-dialog', IDYES)
            text = self.message()
            self.assertIn('Не удается записать данные в файл', text)
            self.assertIn(r'C:\out\kept.gdb', text)
        finally:
            holder.kill()
            holder.wait(30)
        with open(kept, 'rb') as f:
            self.assertEqual(f.read(), b'the user\'s earlier export')
        # The new file's temporary is gone with the failed write.
        self.assertEqual(sorted(os.listdir(os.path.dirname(kept))), ['kept.gdb'])
        self.wait_title('Путевые точки')
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)

    def test_import_of_a_gpsbabel_file_reports_the_count_and_grows_the_store(self):
        gpx = os.path.join(self.env.root, 'two.gpx')
        with open(gpx, 'w') as f:
            f.write('<?xml version="1.0"?>\n<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">\n'
                    '<wpt lat="55.1" lon="37.2"><ele>150</ele><name>Echo</name><cmt>first</cmt></wpt>\n'
                    '<wpt lat="55.2" lon="37.3"><name>Foxtrot</name></wpt>\n</gpx>\n')
        for ver in (2, 3):
            subprocess.run(['gpsbabel', '-i', 'gpx', '-f', gpx, '-o', 'gdb,ver=%d' % ver, '-F',
                            self.env.host_path(r'C:\out\two-v%d.gdb' % ver)], check=True)
        p = self.start()
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        # Version 3 files are newer than the importer knows: refused, nothing taken.
        self.env.ctl('press-dialog', LIST_IMPORT)
        self.file_dialog('Импорт путевых точек', r'C:\out\two-v3.gdb')
        self.assertIn('более поздней, чем 6.8', self.message())
        self.assertEqual(self.list_count(), 3)
        self.env.ctl('press-dialog', LIST_IMPORT)
        self.file_dialog('Импорт путевых точек', r'C:\out\two-v2.gdb')
        self.assertIn('Импортировано путевых точек - 2 .', self.message())
        self.wait_list_count(5)
        self.assertEqual(self.stored_names(), ['Alpha', 'Bravo', 'Charlie', 'Echo', 'Foxtrot'])
        echo = [w for w in self.stored()[0] if w[1] == 'Echo'][0]
        self.assertAlmostEqual(float(echo[2]), 55.1, places=5)
        self.assertAlmostEqual(float(echo[4]), 150.0, places=1)
        # A route file through the route list: routes and waypoints are counted.
        rte = os.path.join(self.env.root, 'route.gpx')
        with open(rte, 'w') as f:
            f.write('<?xml version="1.0"?>\n<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">\n'
                    '<rte><name>Ring</name><rtept lat="55.1" lon="37.2"><name>R1</name></rtept>'
                    '<rtept lat="55.15" lon="37.25"><name>R2</name></rtept></rte>\n</gpx>\n')
        subprocess.run(['gpsbabel', '-r', '-i', 'gpx', '-f', rte, '-o', 'ozi', '-F',
                        self.env.host_path(r'C:\out\ring.rte')], check=True)
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Путевые точки')
        self.env.ctl('command', CMD_ROUTES)
        self.wait_title('Маршруты')
        self.env.ctl('press-dialog', LIST_IMPORT)
        self.file_dialog('Импорт маршрутов', r'C:\out\ring.rte')
        self.assertRegex(self.message(), r'Импортировано маршрутов - 1, путевых точек - \d+\.')
        self.wait_list_count(1)
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)
        routes = self.stored()[1]
        self.assertEqual([r[0] for r in routes], ['Ring'])

    def test_position_format_and_elevation_unit_of_the_options_apply_to_the_properties(self):
        self.fresh_settings(MapZoom=12, OptionElevationUnit=0, OptionPositionFormat=3)  # feet; d°m's"
        p = self.start()
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.wait_list_count(3)
        self.env.ctl('list-key', VK_DOWN, '2')  # Alpha, 120 m
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title('Свойства путевой точки')
        texts = self.env.ctl('dialog-text')
        for expected in ('N55°00\'36.0"', 'E37°00\'36.0"', 'Высота, фт:', '393.7'):
            self.assertIn(expected, texts)
        self.env.ctl('set-dialog-text', WP_ALTITUDE, '1000')
        self.env.ctl('set-dialog-text', WP_LAT, '55.02')  # decimal degrees are always understood
        self.env.ctl('press-dialog', IDOK)
        self.wait_title('Путевые точки')
        self.assertEqual(self.env.wait_until(lambda: [w for w in self.stored()[0] if w[1] == 'Alpha' and
                                                      abs(float(w[2]) - 55.02) < 1e-6], 20) != [], True)
        alpha = [w for w in self.stored()[0] if w[1] == 'Alpha'][0]
        self.assertAlmostEqual(float(alpha[4]), 304.8, places=1)
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)

    def first_row_name(self):
        """The name of the waypoint list's first row, through its properties."""
        self.env.ctl('list-key', VK_HOME)
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title('Свойства путевой точки')
        names = [line.split('\t')[2] for line in self.env.ctl('dialog-controls').splitlines()
                 if line.split('\t')[0] == WP_NAME]
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_title('Путевые точки')
        return names[0] if names else None

    def click_header(self, column):
        x, y = self.env.ctl('header-point', str(column)).split()
        self.env.xdotool('mousemove', x, y, 'click', '1')

    def test_header_clicks_sort_the_waypoint_list_and_the_order_is_kept(self):
        p = self.start()
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.wait_list_count(3)
        self.assertEqual(self.first_row_name(), 'Charlie', 'unsorted: store order')
        sort_state = lambda: (self.env.reg_query(SETTINGS_KEY, 'Waypoints_SortCol'),  # noqa: E731
                              self.env.reg_query(SETTINGS_KEY, 'Waypoints_SortOrder'))
        # "Название": ascending, then a second click reverses; each is saved at once.
        self.click_header(1)
        self.assertEqual(self.env.wait_until(lambda: sort_state() == (1, 1) and True, 20), True, sort_state())
        self.assertEqual(self.first_row_name(), 'Alpha')
        self.click_header(1)
        self.assertEqual(self.env.wait_until(lambda: sort_state() == (1, 0) and True, 20), True, sort_state())
        self.assertEqual(self.first_row_name(), 'Charlie')
        # "Расстояние" (from the map's centre): a new column starts ascending.
        self.click_header(2)
        self.assertEqual(self.env.wait_until(lambda: sort_state() == (2, 1) and True, 20), True, sort_state())
        self.assertEqual(self.first_row_name(), 'Charlie')
        self.click_header(2)
        self.assertEqual(self.env.wait_until(lambda: sort_state() == (2, 0) and True, 20), True, sort_state())
        self.env.screenshot('store-waypoints-farthest-first.png')
        self.assertEqual(self.first_row_name(), 'Alpha')
        # The list opens again in the saved order.
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone('Путевые точки')
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.wait_list_count(3)
        self.assertEqual(self.first_row_name(), 'Alpha')
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)

    def test_route_built_in_the_editor_is_stored_and_cancel_keeps_its_points(self):
        p = self.start()
        self.env.ctl('command', CMD_ROUTES)
        self.wait_title('Маршруты')
        self.assertEqual(self.list_count(), 0)
        self.env.ctl('press-dialog', LIST_NEW)
        self.wait_title('Свойства маршрута')
        self.env.ctl('set-dialog-text', RTE_NAME, 'Прогулка')
        for downs in (0, 1):  # Alpha, then Bravo (the picker sorts by name)
            self.env.ctl('press-dialog', RTE_INSERT)
            self.wait_title('Путевые точки')
            self.assertEqual(self.list_count(), 3)
            if downs:
                self.env.ctl('list-key', VK_DOWN, str(downs))
            self.env.ctl('press-dialog', IDOK)
            self.wait_title('Свойства маршрута')
        self.wait_list_count(2)
        self.assertEqual(self.env.ctl('list-text'), 'Alpha\nBravo\n')
        self.env.screenshot('store-route-editor.png')
        self.env.ctl('press-dialog', IDOK)
        self.wait_title('Маршруты')
        self.wait_list_count(1)
        self.env.screenshot('store-route-list.png')
        self.assertEqual(self.env.wait_until(lambda: self.stored()[1] == [('Прогулка', ['Alpha', 'Bravo'])] and True,
                                             20), True, self.stored()[1])
        # Points deleted in the editor come back with Cancel.
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title('Свойства маршрута')
        self.wait_list_count(2)
        self.env.ctl('press-dialog', RTE_DELETE)
        self.wait_list_count(1)
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_title('Маршруты')
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title('Свойства маршрута')
        self.wait_list_count(2)
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_title('Маршруты')
        # Show on map closes the list and switches the routes layer on.
        self.env.reg_add(SETTINGS_KEY, 'ShowRoutes', 0, 'REG_DWORD')
        self.env.ctl('press-dialog', LIST_SHOW)
        self.wait_gone('Маршруты')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'ShowRoutes'), 1)
        self.env.ctl('resize', '900', '700')
        # The new route's colour (0xE800E8) on the map once the pass after the resize is done.
        self.assertTrue(self.env.wait_until(lambda: count_colour(self.env.screenshot('store-route-shown.png'),
                                                                 '#E800E8') > 100, 30, 0.5), 'the route is not drawn')
        # The waypoints on the route cannot be deleted.
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.env.ctl('list-key', VK_DOWN, '2')  # Alpha, the last row in store order
        self.env.ctl('press-dialog', LIST_DELETE)
        self.assertIn('нельзя удалить', self.message())
        self.assertEqual(self.list_count(), 3)
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)
        self.assertEqual(self.stored()[1], [('Прогулка', ['Alpha', 'Bravo'])])
        self.assertEqual(self.stored_names(), ['Alpha', 'Bravo', 'Charlie'])


if __name__ == '__main__':
    unittest.main()

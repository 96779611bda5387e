"""End-to-end: the trip computer, the satellite page and the map's gauge
strip of velmo.exe fed with a real NMEA receiver capture through a serial
port (a pty mapped to a COM port of the Wine prefix); the gauges' values
survive a restart, and the export writes every gauge."""
import os
import subprocess
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, VelmoEnv, count_colour  # noqa: E402

BUILD = os.environ.get('VELMO_BUILD_WIN', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'win'))
EXE = os.path.join(BUILD, 'app', 'velmo.exe')
ARTIFACTS = os.path.join(BUILD, 'e2e-artifacts')
DATA = os.path.join(os.path.dirname(__file__), '..', '..', '..', 'shared', 'data', 'gps')
# Walking with satellites both used and only in view.
CAPTURE = os.path.join(DATA, 'haicom-305N')
PORT = 6
PAGE_GAUGES, PAGE_SATELLITES, PAGE_MAP = '2001', '2003', '2000'
FILE_NAME = '1148'  # the name box of the common file dialogs
CMD_GO_TO_POINT, CMD_SAVE_GAUGES = '40014', '40026'
GAUGE_TREE, GAUGE_DESCRIPTION = 1700, 1701
VK_HOME, VK_LEFT, VK_RIGHT, VK_DOWN = 0x24, 0x25, 0x27, 0x28
NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'native'))
DEMOTRACK = os.path.join(os.path.dirname(__file__), '..', '..', 'tools', 'demotrack', 'demotrack.py')


def image_difference_in(a, b, crop):
    """Pixels that differ between two screenshots within a crop."""
    out = subprocess.run(['compare', '-metric', 'AE', '-fuzz', '10%',
                          '(', a, '-crop', crop, '+repage', ')', '(', b, '-crop', crop, '+repage', ')', 'null:'],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return int(float(out.stderr.decode().split()[0] or 0))


def count_dark(png, crop):
    """Pixels darker than 30 % grey (text and frames) in a crop of a screenshot."""
    out = subprocess.run(['convert', png, '-crop', crop, '+repage', '-colorspace', 'gray', '-threshold', '30%',
                          '-format', '%[fx:(1-mean)*w*h]', 'info:'], stdout=subprocess.PIPE, check=True)
    return int(float(out.stdout.decode().strip() or 0))


class Feeder(threading.Thread):
    """Plays the capture into the test end of the pty, over and over, at
    roughly the pace of a 38400 bit/s line."""

    def __init__(self, path, data):
        super().__init__(daemon=True)
        self.path = path
        self.data = data
        self.stop = threading.Event()

    def run(self):
        fd = os.open(self.path, os.O_WRONLY | os.O_NOCTTY)
        try:
            while not self.stop.is_set():
                for i in range(0, len(self.data), 512):
                    if self.stop.is_set():
                        break
                    os.write(fd, self.data[i:i + 512])
                    self.stop.wait(0.13)
        finally:
            os.close(fd)


@unittest.skipUnless(os.path.exists(EXE), 'velmo.exe is not built')
@unittest.skipUnless(os.path.isdir(CAPTURE), 'the receiver captures are not there')
class GaugesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.env = VelmoEnv(BUILD, artifacts_dir=ARTIFACTS)

    @classmethod
    def tearDownClass(cls):
        cls.env.close()

    def settings(self, **values):
        self.env.reg_delete_key(SETTINGS_KEY)
        base = {'SafetyWarning': 0, 'Language': 1049, 'FixupClock': 0, 'ScanCOMPorts': 1, 'RecordTrack': 0}
        base.update(values)
        for name, value in base.items():
            self.env.reg_add(SETTINGS_KEY, name, value, 'REG_DWORD')
        for n in range(20):
            self.env.reg_add(SETTINGS_KEY, 'Enable_COM%d' % n, 1 if n == PORT else 0, 'REG_DWORD')

    def feeder(self):
        """A player of the capture into the port (one pty for the whole test)."""
        if not getattr(self, 'pty', None):
            a, self.pty = self.env.pty_pair()
            self.env.map_com_port(PORT, a)
        with open(os.path.join(CAPTURE, 'raw.bin'), 'rb') as f:
            return Feeder(self.pty, f.read())

    def client_shot(self, name):
        """A screenshot and the crop 'WxH+X+Y' of the main window's client area."""
        shot = self.env.screenshot(name)
        _, (x, y) = self.env.window_rect()
        w, h = self.env.client_size()
        return shot, '%dx%d+%d+%d' % (w, h, x, y)

    def client_colour(self, name, colour):
        shot, crop = self.client_shot(name)
        return count_colour(shot, colour, crop)

    def trip_time_moving(self):
        text = self.env.reg_query(SETTINGS_KEY, 'TripTimeMoving')
        return float(text) if text else 0.0

    def wait_moving_time(self, above, seconds=120):
        return self.env.wait_until(lambda: self.trip_time_moving() > above, seconds)

    def test_trip_computer_and_satellite_page_show_the_capture_and_keep_it_over_a_restart(self):
        # Without a receiver every cell shows "-".
        self.settings(Page=0)
        for n in range(20):
            self.env.reg_add(SETTINGS_KEY, 'Enable_COM%d' % n, 0, 'REG_DWORD')
        p = self.env.start()
        self.env.wait_window()
        self.env.ctl('resize', '248', '330')
        self.env.ctl('command', PAGE_GAUGES)
        self.assertTrue(self.env.wait_until(lambda: self.env.client_size()[0] < 260, 20))
        shot, crop = self.client_shot('trip-computer-empty.png')
        dark_before = count_dark(shot, crop)
        self.assertGreater(count_colour(shot, '#ECF2FA', crop), 1000, 'no shaded rows of cells')
        self.assertGreater(count_colour(shot, '#606060', crop), 100, 'no gauge captions')
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)
        # The receiver plays the capture into the port from before the start.
        self.settings(Page=0)
        feeder = self.feeder()
        feeder.start()
        try:
            p = self.env.start()
            self.env.wait_window()
            self.env.ctl('resize', '248', '330')
            self.assertTrue(self.env.wait_until(lambda: self.env.client_size()[0] < 260, 20))
            # The walk of the capture moves the trip times (saved at each fix).
            self.assertTrue(self.wait_moving_time(5 / 86400.0), 'the trip computer did not count moving time: ' +
                            self.env.describe_screen())
            self.env.ctl('command', PAGE_MAP, PAGE_GAUGES)  # a fresh paint of the page
            self.assertTrue(self.env.wait_until(
                lambda: count_dark(*self.client_shot('trip-computer-portrait.png')) > dark_before + 150, 20),
                'the cells do not show the values of the capture')
            # Landscape: four columns; the cells keep their gauges until the
            # default set of the new orientation is asked for.
            self.env.ctl('resize', '520', '300')
            self.assertTrue(self.env.wait_until(lambda: self.env.client_size()[0] > 480, 20))
            w, h = self.env.client_size()
            _, (x, y) = self.env.window_rect()
            fourth = '%dx%d+%d+%d' % (w // 4 - 6, h - 4, x + 3 * w // 4 + 3, y + 2)
            self.env.ctl('command', PAGE_MAP, PAGE_GAUGES)
            shot = self.env.screenshot('trip-computer-landscape-kept.png')
            self.assertEqual(count_colour(shot, '#606060', fourth), 0, 'the portrait set has no fourth column')
            self.env.ctl('command', '40017')
            self.assertTrue(self.env.wait_dialog(), 'no question before the default set')
            self.assertIn('изначальному набору датчиков', self.env.ctl('dialog-text'))
            self.env.ctl('press-dialog', '6')  # yes
            self.assertTrue(self.env.wait_until(
                lambda: count_colour(self.env.screenshot('trip-computer-landscape.png'), '#606060', fourth) > 50, 20),
                'the landscape set does not fill the fourth column')
            self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'Gauge_24'), 'odometer')
            # The satellite page: the sky, bars of used (green) and in-view (red) satellites.
            self.env.ctl('command', PAGE_SATELLITES)
            self.assertTrue(self.env.wait_until(
                lambda: self.client_colour('satellites.png', '#00FF00') > 30, 20),
                'no satellites used on the satellite page')
            shot, crop = self.client_shot('satellites.png')
            self.assertGreater(count_colour(shot, '#B5F8E3', crop), 1000, 'no satellite page ground')
            self.assertGreater(count_colour(shot, '#9BE7F7', crop), 1000, 'no sky plot')
            self.assertGreater(count_colour(shot, '#FF0000', crop), 30, 'no satellites only in view')
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            feeder.stop.set()
            if feeder.ident:
                feeder.join(5)
        first = self.trip_time_moving()
        odometer = self.env.reg_query(SETTINGS_KEY, 'Odometer')
        self.assertIsNotNone(odometer)
        self.assertGreater(odometer, 0)
        # A restart goes on from the saved values.
        self.env.reg_add(SETTINGS_KEY, 'Page', 0, 'REG_DWORD')
        feeder = self.feeder()
        feeder.start()
        try:
            p = self.env.start()
            self.env.wait_window()
            self.assertTrue(self.wait_moving_time(first + 5 / 86400.0), 'the trip time did not go on after a restart')
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            feeder.stop.set()
            if feeder.ident:
                feeder.join(5)
        self.assertGreaterEqual(self.env.reg_query(SETTINGS_KEY, 'Odometer'), odometer)

    def export_gauges(self, target):
        """Saves the gauges through the save dialog to a C:\\ path and returns
        {caption: text after the caption} of every gauge line."""
        host = self.env.host_path(target)
        if os.path.exists(host):
            os.remove(host)
        self.env.ctl('command', CMD_SAVE_GAUGES)
        self.assertTrue(self.env.wait_dialog(), 'no save dialog')
        self.env.ctl('set-dialog-text', FILE_NAME, target)
        self.env.ctl('press-dialog', '1')
        self.assertTrue(self.env.wait_until(lambda: os.path.exists(host) and os.path.getsize(host) > 0, 20),
                        'the export was not written')
        with open(host, 'rb') as f:
            text = f.read().decode('utf-8-sig')
        return {line[:20].rstrip(): line[21:] for line in text.split('\r\n')
                if len(line) > 21 and line[20] == ' ' and not line.startswith('-')}

    def test_go_to_feeds_the_navigation_routing_and_map_gauges(self):
        demogen, _ = self.env.demo_map_tools()
        if not os.path.exists(demogen) or not self.env.demo_map(r'C:\maps\demo.vel'):
            self.skipTest('the native tools are not built')
        # The demo drive stands in for a receiver; the map is the demo region.
        osm = os.path.join(self.env.root, 'demo-drive.osm')
        gpx = os.path.join(self.env.root, 'demo-drive.gpx')
        gdb = os.path.join(self.env.program_dir, 'Demo.gdb')
        subprocess.run([demogen, '-o', osm], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([sys.executable, DEMOTRACK, osm, gpx], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(['gpsbabel', '-t', '-i', 'gpx', '-f', gpx, '-o', 'gdb,ver=3', '-F', gdb], check=True)
        self.settings(Page=0, RoutingStyle=0)
        for n in range(20):
            self.env.reg_add(SETTINGS_KEY, 'Enable_COM%d' % n, 0, 'REG_DWORD')
        self.env.reg_add(SETTINGS_KEY, 'MapFileName', r'C:\maps\demo.vel')
        try:
            p = self.env.start()
            self.env.wait_window()
            self.assertTrue(self.wait_moving_time(2 / 86400.0, 60), 'the demo drive does not move')
            before = self.export_gauges(r'C:\gauges_before.txt')
            navigation = ['До точки', 'До финиша', 'Пеленг', 'route']
            for caption in navigation:
                self.assertTrue(before[caption].startswith('-'), caption + ': ' + before[caption])
            self.assertTrue(before['Прокладка маршрута'].startswith('-'), 'no route searched yet')
            # Navigation to the point under the pointer (the view's corner).
            self.env.ctl('command', CMD_GO_TO_POINT)
            self.assertTrue(self.env.wait_until(
                lambda: self.env.reg_query(SETTINGS_KEY, 'Navigation') == 1, 20), 'navigation did not start')
            self.env.ctl('command', PAGE_GAUGES)
            self.client_shot('trip-computer-navigating.png')
            after = self.env.wait_until(lambda: (lambda g: g if not g['Пеленг'].startswith('-') else None)(
                self.export_gauges(r'C:\gauges_after.txt')), 20)
            self.assertTrue(after, 'the navigation gauges stay empty')
            for caption in navigation:
                self.assertFalse(after[caption].startswith('-'), caption + ': ' + after[caption])
            self.assertTrue(after['route'].startswith('GoTo'), after['route'])
            # The road search from the position to the point was timed.
            self.assertRegex(after['Прокладка маршрута'], r'^[0-9][0-9 ]* (мс|ms)', 'no routing time')
            # The map page's figures: the map, its level, the last pass.
            self.assertTrue(after['Файл карты'].startswith('demo.vel'), after['Файл карты'])
            self.assertTrue(after['Карт в кэше'].startswith('1'), after['Карт в кэше'])
            for caption in ['Уровень карты', 'Объектов', 'Отрисовка карты', 'Открытие карты']:
                self.assertRegex(after[caption], r'^[0-9]', caption)
            self.assertNotEqual(after['Объектов'].split(' ')[0], '0', 'the demo map draws objects')
            # Stopping navigation empties them again.
            self.env.ctl('command', '40024')
            self.assertTrue(self.env.wait_until(
                lambda: self.env.reg_query(SETTINGS_KEY, 'Navigation') == 0, 20), 'navigation did not end')
            stopped = self.export_gauges(r'C:\gauges_stopped.txt')
            for caption in navigation:
                self.assertTrue(stopped[caption].startswith('-'), caption + ': ' + stopped[caption])
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            os.remove(gdb)

    def chooser_controls(self):
        """{id: (class, text, enabled)} of the open chooser."""
        out = self.env.ctl('dialog-controls')
        rows = [line.split('\t') for line in out.splitlines() if line.count('\t') >= 4]
        return {int(r[0]): (r[1], r[2], r[3] == '1') for r in rows}

    def test_the_chooser_tree_puts_a_gauge_in_a_cell_that_stays_after_a_restart(self):
        self.settings(Page=1)
        for n in range(20):
            self.env.reg_add(SETTINGS_KEY, 'Enable_COM%d' % n, 0, 'REG_DWORD')
        p = self.env.start()
        self.env.wait_window()
        self.env.ctl('resize', '248', '330')
        self.assertTrue(self.env.wait_until(lambda: self.env.client_size()[0] < 260, 20))
        w, h = self.env.client_size()
        _, (x, y) = self.env.window_rect()
        cell0 = '%dx%d+%d+%d' % (w // 3 - 4, h // 8 - 4, x + 2, y + 2)
        self.env.ctl('command', PAGE_MAP, PAGE_GAUGES)
        before = self.env.screenshot('chooser-cell-before.png')
        # A tap on the first cell opens its menu; its first item asks for
        # the chooser.
        self.env.xdotool('mousemove', str(x + 20), str(y + 15), 'click', '1')
        self.assertTrue(self.env.wait_until(
            lambda: count_colour(self.env.screenshot('chooser-cell-menu.png'), '#FFF0A0', cell0) > 100, 20),
            'the cell is not highlighted for its menu')
        self.env.xdotool('key', 'Down', 'Return')
        self.assertTrue(self.env.wait_dialog(), 'no chooser')
        controls = self.chooser_controls()
        self.assertEqual(controls[GAUGE_TREE][0], 'SysTreeView32')
        # Twelve pages and 77 gauges, every page open by default; the
        # cell's gauge ("Скорость") is selected with its description.
        self.assertEqual(self.env.ctl('list-count').strip(), str(12 + 77))
        self.assertEqual(controls[GAUGE_DESCRIPTION][1], 'Скорость движения относительно земли.')
        self.assertTrue(controls[1][2], 'OK is disabled on a gauge')
        # A page: no description, OK disabled (pressing it does nothing).
        self.env.ctl('list-key', str(VK_HOME))
        controls = self.chooser_controls()
        self.assertEqual(controls[GAUGE_DESCRIPTION][1], '')
        self.assertFalse(controls[1][2], 'OK is enabled on a page')
        # Closing and opening the page is remembered per page.
        self.env.ctl('list-key', str(VK_LEFT))
        self.assertTrue(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'expanded_trip1') == 0, 10))
        self.assertEqual(self.env.ctl('list-count').strip(), str(12 + 77), 'the count holds every item')
        self.env.ctl('list-key', str(VK_RIGHT))
        self.assertTrue(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'expanded_trip1') == 1, 10))
        # trip1 (0), its 7 gauges, trip2 (8), its 6, max (15): maxvdecent,
        # maxvaccent, maxspeed (18).
        self.env.ctl('list-key', str(VK_DOWN), '18')
        controls = self.chooser_controls()
        self.assertEqual(controls[GAUGE_DESCRIPTION][1], 'Наибольшая скорость движения.')
        self.assertTrue(controls[1][2])
        self.env.screenshot('chooser.png')
        self.env.ctl('press-dialog', '1')
        self.assertTrue(self.env.wait_until(lambda: not self.env.dialogs(), 10), 'the chooser stays open')
        self.assertTrue(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'Gauge_0') == 'maxspeed', 10),
                        'Gauge_0 = %r, MapGauge_0 = %r' % (self.env.reg_query(SETTINGS_KEY, 'Gauge_0'),
                                                           self.env.reg_query(SETTINGS_KEY, 'MapGauge_0')))
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)
        # After a restart the cell shows the chosen gauge.
        p = self.env.start()
        self.env.wait_window()
        self.env.ctl('resize', '248', '330')
        self.assertTrue(self.env.wait_until(lambda: self.env.client_size()[0] < 260, 20))
        self.env.ctl('command', PAGE_MAP, PAGE_GAUGES)
        after = self.env.screenshot('chooser-cell-after.png')
        self.assertGreater(image_difference_in(before, after, cell0), 20, 'the cell looks as before')
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)

    def test_export_writes_every_gauge_and_the_map_strip_shows_gauges(self):
        self.settings(Page=0, ShowMapGauges=1)
        target = r'C:\gauges_export.txt'
        host = self.env.host_path(target)
        if os.path.exists(host):
            os.remove(host)
        p = self.env.start()
        self.env.wait_window()
        # The strip at the bottom of a portrait window: captions in grey.
        shot, crop = self.client_shot('map-gauge-strip.png')
        w, h = self.env.client_size()
        _, (x, y) = self.env.window_rect()
        self.assertGreater(count_colour(shot, '#606060', '%dx%d+%d+%d' % (w, 33, x, y + h - 33)), 30,
                           'no gauges in the map strip')
        self.env.ctl('command', '40026')
        self.assertTrue(self.env.wait_dialog(), 'no save dialog')
        self.env.ctl('set-dialog-text', FILE_NAME, target)
        self.env.ctl('press-dialog', '1')
        self.assertTrue(self.env.wait_until(lambda: os.path.exists(host), 20), 'the export was not written')
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)
        with open(host, 'rb') as f:
            text = f.read().decode('utf-8-sig')
        pages = ['Путевой компьютер 1', 'Путевой компьютер 2', 'Максимальные значения', 'Навигация', 'Данные GPS',
                 'Высота', 'Точность данных GPS', 'Данные DGPS', 'Площадь', 'Данные эхолота', 'Карта', 'Система']
        for page in pages:
            self.assertIn('\r\n' + page + '\r\n' + '-' * len(page) + '\r\n', '\r\n' + text)
        gauge_lines = [line for line in text.split('\r\n') if len(line) > 21 and line[20] == ' ' and
                       not line.startswith('-')]
        self.assertEqual(len(gauge_lines), 77, text)
        self.assertTrue(any(line.startswith('Скорость            ') for line in gauge_lines))
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'GaugeFormat'), 0)


if __name__ == '__main__':
    unittest.main()

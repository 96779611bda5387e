"""End-to-end tests of the options pages 1-5 under Wine on the demo region:
each page opens with the stored settings, is changed and applied, and the
change shows at once: the map view page moves and turns the map, the units
page's example follows the lists before OK and the waypoint properties use
the new units after it, and a protocol switched off on the GPS page is no
longer tried on a port that a receiver feeds."""
import os
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, image_difference, waypoint_record, waypoints_file  # noqa: E402

CMD_OPTIONS, CMD_WAYPOINTS = '40010', '40020'
IDOK, IDCANCEL = '1', '2'
OPTIONS = 'Настройки'
# Map view page
ROTATE_MAP, KEEP_VISIBLE, HOT_SPOT, SHOW_TRACK, BEARING, MAP_GAUGES, SHOW_WAYPOINTS, SHOW_ROUTES = range(1750, 1758)
NIGHT_MODE = 1759
DETAIL_LABEL, DETAIL = 1745, 1746
# GPS page
SCAN_PORTS, PORTS, PROTOCOLS, LOG_PORTS, ELLIPSOID, FIXUP_EPOCH, EPOCH = 1760, 1762, 1764, 1765, 1766, 1767, 1769
# Units page
ELEVATION, DISTANCE, AREA, AZIMUTH, POSITION, UNITS_EXAMPLE = 1771, 1773, 1775, 1777, 1779, 1780
# Address format page
HOUSE_STREET, STREET_HOUSE, SHOW_ZIP, SHOW_CITY, ADDRESS_EXAMPLE = 1781, 1782, 1783, 1784, 1785
# Clock page
FIXUP_CLOCK, THRESHOLD, TIMEZONE = 1786, 1788, 1789
LIST_PROPERTIES = '1401'
VK_DOWN = '0x28'
PORT = 5
# The protocol list top to bottom: SiRF and NMEA at 9600 bit/s (off by
# default), NMEA and Garmin (on).
PROTOCOL_SIRF, PROTOCOL_NMEA = 0, 2


def nmea(body):
    x = 0
    for c in body.encode('ascii'):
        x ^= c
    return ('$%s*%02X\r\n' % (body, x)).encode('ascii')


def nmea_found(log):
    """Whether the log says an NMEA protocol (at either speed) took the port."""
    return any('STATUS: NMEA-0183' in line and 'через COM%d' % PORT in line for line in log.splitlines())


class Receiver(threading.Thread):
    """An NMEA receiver heading east at 50 km/h: RMC and GGA every second."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path = path
        self.stop = threading.Event()

    def run(self):
        fd = os.open(self.path, os.O_WRONLY | os.O_NOCTTY)
        try:
            i = 0
            while not self.stop.is_set():
                t = time.gmtime()
                hms = '%02d%02d%02d.00' % (t.tm_hour, t.tm_min, t.tm_sec)
                dmy = '%02d%02d%02d' % (t.tm_mday, t.tm_mon, t.tm_year % 100)
                lon = 37.0317 + i * 0.0002  # through the demo town, eastwards
                lon_text = '%03d%07.4f' % (int(lon), (lon - int(lon)) * 60)
                lat_text = '5459.4600'
                os.write(fd, nmea('GPRMC,%s,A,%s,N,%s,E,027.0,090.0,%s,,' % (hms, lat_text, lon_text, dmy)) +
                         nmea('GPGGA,%s,%s,N,%s,E,1,08,0.9,150.0,M,14.0,M,,' % (hms, lat_text, lon_text)))
                i += 1
                self.stop.wait(1.0)
        finally:
            os.close(fd)


class OptionsPagesTest(DemoMapCase):
    def open_options(self):
        self.env.ctl('command', CMD_OPTIONS)
        self.wait_title(OPTIONS)

    def press_ok(self):
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone(OPTIONS)

    def window_shot(self, name):
        """A screenshot cut to the main window."""
        path = self.env.screenshot(name)
        (left, top, right, bottom), _ = self.env.window_rect()
        subprocess.run(['convert', path, '-crop', '%dx%d+%d+%d' % (right - left, bottom - top, left, top), '+repage', path],
                       check=True)
        return path

    # -------------------------------------------------------------------------
    def feed_receiver(self):
        """A receiver on COM5 (the only port used), stopped at tearDown."""
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        for n in range(20):
            self.env.reg_add(SETTINGS_KEY, 'Enable_COM%d' % n, 1 if n == PORT else 0, 'REG_DWORD')
        receiver = Receiver(b)
        receiver.start()
        self.addCleanup(lambda: (receiver.stop.set(), receiver.join(5)))
        return receiver

    def test_map_view_page_turns_the_map_and_switches_the_colours(self):
        self.fresh_settings(MapZoom=12, OptionsPage=1, ShowMapGauges=0, ScanCOMPorts=1, FixupClock=0, LogCOMPorts=1)
        self.remove_gps_log()
        self.feed_receiver()
        p = self.start()
        # The receiver is found: the map follows it, north up.
        self.assertTrue(self.env.wait_until(lambda: nmea_found(self.gps_log()), 90), self.gps_log()[-2000:])
        self.open_options()
        c = self.controls()
        self.assertEqual(c[ROTATE_MAP][1], 'Поворачивать карту по направлению движения')
        defaults = {ROTATE_MAP: 0, KEEP_VISIBLE: 1, HOT_SPOT: 0, SHOW_TRACK: 0, BEARING: 1, MAP_GAUGES: 0,
                    SHOW_WAYPOINTS: 1, SHOW_ROUTES: 1}
        self.assertEqual({k: c[k][3] for k in defaults}, defaults)
        self.assertEqual(c[NIGHT_MODE][3], 2, 'the automatic colour mode (3) is the default')
        self.env.screenshot('options-page1-map-view.png')
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_gone(OPTIONS)
        before = self.window_shot('options-page1-before.png')
        self.open_options()
        self.env.ctl('click-control', str(ROTATE_MAP))
        self.env.ctl('click-control', str(HOT_SPOT))
        self.wait_control(HOT_SPOT, lambda v: v[3] == 1, 'the hot spot is not checked')
        self.env.ctl('combo-select', str(NIGHT_MODE), '1')  # night
        self.press_ok()
        self.assertEqual(self.setting('RotateMap'), 1)
        self.assertEqual(self.setting('ShowHotSpot'), 1)
        self.assertEqual(self.setting('NightMode'), 2)
        self.assertEqual(self.setting('KeepVisible'), None, 'an unchanged box is not written')
        # Turned at once to the receiver's course (east), without waiting for a new fix.
        self.assertTrue(self.env.wait_until(lambda: self.setting('MapAngle') == 90, 10), self.setting('MapAngle'))
        # The map is drawn again at once: the origin moves down and the night colours show.
        after = self.env.wait_until(
            lambda: (lambda png: png if image_difference(before, png) > 0.2 else None)(
                self.window_shot('options-page1-after.png')), 30)
        self.assertTrue(after, 'the map was not drawn again with the new options')
        self.close_orderly(p)

    def settled_window_shot(self, name, predicate=lambda png: True):
        """The main window once two shots a moment apart agree (no pass or
        repaint under way) and the picture satisfies predicate; None if not."""
        previous = [self.window_shot(name)]

        def settled():
            shot = self.window_shot(name + '.next.png')
            if image_difference(shot, previous[0]) == 0 and predicate(shot):
                return shot
            previous[0] = self.window_shot(name)
            return None
        return self.env.wait_until(settled, 30, 0.5)

    def test_map_view_page_detail_draws_a_coarser_level_and_back(self):
        self.fresh_settings(MapZoom=12, OptionsPage=1, ShowMapGauges=0)
        p = self.start()
        normal = self.settled_window_shot('options-detail-normal.png')
        self.assertTrue(normal)
        self.open_options()
        c = self.controls()
        self.assertEqual(c[DETAIL_LABEL][1], 'Детализация карты:')
        self.assertEqual(c[DETAIL][3], 2, 'the normal detail (0) is the middle of five')
        self.env.ctl('combo-select', str(DETAIL), '0')  # the least
        with_dialog = self.window_shot('options-detail-dialog.png')
        self.press_ok()
        self.assertEqual(self.setting('MapDetail'), 0xFFFFFFFE, 'two levels coarser')
        # (Until the map is drawn again the screen may still show the dialog.)
        least = self.settled_window_shot(
            'options-detail-least.png',
            lambda png: image_difference(with_dialog, png) > 0.05 and image_difference(normal, png) > 0.02)
        self.assertTrue(least, 'the map was not drawn again with a coarser level')
        # Remembered, and back to the normal detail: today's picture again.
        self.open_options()
        self.assertEqual(self.controls()[DETAIL][3], 0)
        self.env.ctl('combo-select', str(DETAIL), '2')
        self.press_ok()
        self.assertEqual(self.setting('MapDetail'), 0)
        back = self.settled_window_shot('options-detail-back.png', lambda png: image_difference(normal, png) < 0.002)
        self.assertTrue(back, 'the normal detail does not draw the picture it drew before')
        self.close_orderly(p)

    def test_units_page_example_follows_the_lists_and_the_waypoints_use_the_new_units(self):
        self.fresh_settings(MapZoom=12, OptionsPage=3)
        self.env.put_file(r'C:\velmo\Waypoints.bin',
                          waypoints_file([waypoint_record('Alpha', 55.01, 37.01, altitude=120.0)]))
        p = self.start()
        self.open_options()
        c = self.controls()
        self.assertEqual((c[ELEVATION][3], c[DISTANCE][3], c[AREA][3], c[AZIMUTH][3], c[POSITION][3]), (1, 0, 0, 0, 2))
        example = c[UNITS_EXAMPLE][1]
        for text in ('1234 м;', ' км;', ' км/ч;', ' кв.км;', '123.4°;', "N55°45.236' E37°37.248'"):
            self.assertIn(text, example)
        self.env.screenshot('options-page3-units-before.png')
        # Feet, statute miles, acres, compass points and signed degrees: the
        # example changes before anything is stored.
        for ident, index in ((ELEVATION, 0), (DISTANCE, 2), (AREA, 2), (AZIMUTH, 1), (POSITION, 0)):
            self.env.ctl('combo-select', str(ident), str(index))
        self.wait_control(UNITS_EXAMPLE, lambda v: '55.75393' in v[1], 'the example keeps the old position format')
        example = self.controls()[UNITS_EXAMPLE][1]
        for text in ('4049 фт;', ' ми;', ' миль/ч;', ' акр;', '; ЮВ;', '55.75393 37.62080'):
            self.assertIn(text, example)
        self.assertEqual(self.setting('OptionElevationUnit'), None, 'stored before OK')
        self.env.screenshot('options-page3-units-after.png')
        self.press_ok()
        self.assertEqual([self.setting(n) for n in ('OptionElevationUnit', 'OptionDistanceUnit', 'OptionAreaUnit',
                                                    'OptionAzimuthFormat', 'OptionPositionFormat')], [0, 2, 2, 1, 0])
        # The waypoint list and its properties show the new units.
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_title('Путевые точки')
        self.env.screenshot('options-units-waypoint-list.png')
        self.env.ctl('press-dialog', LIST_PROPERTIES)
        self.wait_title('Свойства путевой точки')
        texts = self.env.ctl('dialog-text')
        for expected in ('55.01000', '37.01000', 'Высота, фт:', '393.7'):
            self.assertIn(expected, texts)
        self.env.ctl('press-dialog', IDCANCEL)
        self.wait_title('Путевые точки')
        self.env.ctl('press-dialog', IDCANCEL)
        self.close_orderly(p)

    def test_address_and_clock_pages_store_their_settings(self):
        self.fresh_settings(MapZoom=12, OptionsPage=4, OptionPA_StreetAddressFormat=1)
        p = self.start()
        self.open_options()
        c = self.controls()
        self.assertEqual((c[HOUSE_STREET][3], c[STREET_HOUSE][3], c[SHOW_ZIP][3], c[SHOW_CITY][3]), (0, 1, 0, 1))
        self.assertIn('Москва, Тверская улица, 12', c[ADDRESS_EXAMPLE][1])
        self.env.ctl('click-control', str(HOUSE_STREET))
        self.env.ctl('click-control', str(SHOW_ZIP))
        self.wait_control(ADDRESS_EXAMPLE, lambda v: '101000, Москва, 12 Тверская улица' in v[1],
                          'the example does not follow the choices')
        self.env.screenshot('options-page4-address.png')
        # The clock page: the threshold is greyed while the clock is left alone.
        self.env.ctl('sheet-page', '5')
        self.assertTrue(self.env.wait_until(lambda: self.setting('OptionsPage') == 5, 20), self.setting('OptionsPage'))
        c = self.controls()
        self.assertEqual(c[FIXUP_CLOCK][3], 1)
        # No time zone choice: a position alone cannot tell the zone.
        self.assertNotIn(TIMEZONE, c)
        self.assertEqual(c[THRESHOLD][1], '1500')
        self.assertTrue(c[THRESHOLD][2])
        self.env.ctl('set-dialog-text', str(THRESHOLD), '2500')
        self.env.ctl('click-control', str(FIXUP_CLOCK))
        self.wait_control(THRESHOLD, lambda v: not v[2], 'the threshold stays enabled')
        self.env.screenshot('options-page5-clock.png')
        self.press_ok()
        self.assertEqual([self.setting(n) for n in ('OptionPA_StreetAddressFormat', 'OptionPA_ShowZipCode',
                                                    'OptionPA_ShowCity')], [0, 1, None])  # the city is left alone
        self.assertEqual([self.setting(n) for n in ('FixupClock', 'FixupClockThreshold', 'FixupTimezone')],
                         [0, 2500, None])
        # A threshold that is no number keeps the stored one.
        self.open_options()
        self.env.ctl('set-dialog-text', str(THRESHOLD), '')
        self.press_ok()
        self.assertEqual(self.setting('FixupClockThreshold'), 2500)
        self.close_orderly(p)

    def remove_gps_log(self):
        log = self.env.host_path(r'C:\gps_log.txt')
        if os.path.exists(log):
            os.remove(log)

    def gps_log(self):
        path = self.env.host_path(r'C:\gps_log.txt')
        if not os.path.exists(path):
            return ''
        with open(path, 'rb') as f:
            return f.read().decode('utf-16-le', errors='replace')

    def test_gps_page_protocol_switched_off_is_no_longer_tried_on_a_fed_port(self):
        self.fresh_settings(MapZoom=12, OptionsPage=2, ScanCOMPorts=1, LogCOMPorts=1, FixupClock=0)
        self.remove_gps_log()
        self.feed_receiver()
        p = self.start()
        self.assertTrue(self.env.wait_until(lambda: nmea_found(self.gps_log()), 90), self.gps_log()[-2000:])
        self.open_options()
        c = self.controls()
        self.assertEqual((c[SCAN_PORTS][3], c[LOG_PORTS][3], c[ELLIPSOID][3], c[FIXUP_EPOCH][3]), (1, 1, 0, 1))
        self.assertEqual(self.env.ctl('list-sel', str(PORTS)).split(), [str(PORT)])
        self.assertEqual(self.env.ctl('list-sel', str(PROTOCOLS)).split(), ['2', '3'])
        self.assertEqual(c[EPOCH][1], '', 'no epoch is stored: the date decides')
        # NMEA off, SiRF on.
        self.env.ctl('list-set-sel', str(PROTOCOLS), str(PROTOCOL_NMEA), '0')
        self.env.ctl('list-set-sel', str(PROTOCOLS), str(PROTOCOL_SIRF), '1')
        self.env.screenshot('options-page2-gps.png')
        mark = len(self.gps_log())
        self.press_ok()
        self.assertEqual(self.setting('Enable_Protocol_nmea'), 0)
        self.assertEqual(self.setting('Enable_Protocol_sirf100'), 1)
        self.assertEqual(self.setting('Enable_Protocol_nmea9600'), None, 'an unchanged choice is not written')
        self.assertEqual(self.setting('Enable_COM5'), 1)
        self.assertEqual(self.setting('GPSEpoch'), None, 'an empty epoch is not stored')
        # The scan starts again and goes round SiRF and Garmin twice without
        # taking the NMEA data again.
        searching_garmin = 'STATUS: Поиск данных - Протокол Garmin'
        self.assertTrue(self.env.wait_until(lambda: self.gps_log()[mark:].count(searching_garmin) >= 2, 120),
                        self.gps_log()[mark:][-2000:])
        tail = self.gps_log()[mark:]
        self.assertIn('Поиск данных - SiRF', tail)
        # Everything after the old scan's end.
        restarted = tail.split('STATUS: Нет соединения', 1)[-1]
        self.assertNotIn('Поиск данных - NMEA-0183', restarted)
        self.assertFalse(nmea_found(restarted), restarted[-2000:])
        self.close_orderly(p)


if __name__ == '__main__':
    unittest.main()

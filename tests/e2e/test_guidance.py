"""End-to-end tests of guidance and the voice under Wine on the demo region.

- The sounds page of the options: the 30 sounds with their files, a missing
  file in red, the check boxes stored in "PlaySound_" settings, and the
  play button and Enter really playing the file.
- The waypoint and route lists' "go to" start navigation.
- The guided drive: the demo drive fed as NMEA through a COM port (a pty),
  along a route the program calculates; what the program plays (captured
  from ALSA) is exactly the sample data of the wave files of the phrase
  sequence velmo-cli guide gives for the same drive, in order; screenshots
  of the maneuver display before a turn and off the route; and the time
  from the fix that crosses the "near" distance to the first sample of the
  phrase (printed, and kept in the artifacts).
"""
import os
import shutil
import struct
import subprocess
import sys
import threading
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import (SETTINGS_KEY, DemoMapCase, centre_setting, count_colour, store_text,  # noqa: E402
                       waypoint_record, waypoints_file)
from sound_capture import SoundCapture, wave_samples  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'navigation'))
import demo_drive as dd  # noqa: E402

NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'native'))
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')
DEMOTRACK = os.path.join(os.path.dirname(__file__), '..', '..', 'tools', 'demotrack', 'demotrack.py')

CMD_OPTIONS, CMD_WAYPOINTS, CMD_ROUTES, CMD_STOP_NAVIGATION = '40010', '40020', '40133', '40024'
IDOK, IDCANCEL = '1', '2'
STORE_GOTO = '1407'
STORE_IMPORT = '1405'
FILE_NAME = '1148'  # the name box of the common file dialogs
SOUND_PLAY, SOUND_STOP = '1901', '1902'
VK_RETURN, VK_SPACE, VK_DOWN, VK_HOME = '0x0D', '0x20', '0x28', '0x24'
PORT = 7
# The sounds page's rows (the order of the page).
SOUNDS = ['Attention', 'ACPowerOff', 'BatteryDischarged', 'GPSOff', 'GPSMissing', 'GPSPoor', 'GPSConnected',
          'RouteCalculated', 'RouteOut', 'RouteIn', 'RouteViaPoint', 'RouteEnd', 'Left', 'Right', 'LeftHi',
          'RightHi', 'TurnLeft', 'TurnRight', 'UTurnLeft', 'UTurnRight', 'RightLeft', 'LeftRight', 'PreLeftHi',
          'PreRightHi', 'PreTurnLeft', 'PreTurnRight', 'PreUTurnLeft', 'PreUTurnRight', 'PreRightLeft',
          'PreLeftRight']


class Feeder(threading.Thread):
    """Writes one fix (RMC and GGA) at a time into the test end of the pty,
    `interval` seconds apart, noting when each was written."""

    def __init__(self, path, fixes, interval):
        super().__init__(daemon=True)
        self.path = path
        self.fixes = fixes
        self.interval = interval
        self.written = []  # monotonic time after fix i was written
        self.stop = threading.Event()
        self.hooks = {}  # fix number (1-based) -> callable run right after it

    def run(self):
        fd = os.open(self.path, os.O_WRONLY | os.O_NOCTTY)
        try:
            next_time = time.monotonic()
            for i, data in enumerate(self.fixes):
                if self.stop.is_set():
                    break
                os.write(fd, data)
                self.written.append(time.monotonic())
                hook = self.hooks.get(i + 1)
                if hook:
                    hook()
                next_time += self.interval
                self.stop.wait(max(0.0, next_time - time.monotonic()))
        finally:
            os.close(fd)


class VoiceCase(DemoMapCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.osm = os.path.join(cls.env.root, 'demo-1.osm')
        wav = os.path.join(cls.BUILD, 'app', 'wav')
        if not os.path.isdir(wav):
            cls.env.close()
            raise unittest.SkipTest('the wave files are not built')
        cls.wav = os.path.join(cls.env.program_dir, 'wav')
        shutil.rmtree(cls.wav, ignore_errors=True)
        shutil.copytree(wav, cls.wav)
        cls.capture = SoundCapture(cls.env.root)

    @classmethod
    def tearDownClass(cls):
        cls.capture.close()
        super().tearDownClass()

    def tearDown(self):
        self.env.stop_programs()

    def towns(self):
        root = ET.parse(self.osm).getroot()
        out = []
        for n in root.iter('node'):
            tags = {t.get('k'): t.get('v') for t in n.iter('tag')}
            if tags.get('place') in ('city', 'town', 'village'):
                out.append((float(n.get('lat')), float(n.get('lon'))))
        return out

    def start(self, **settings):
        self.fresh_settings(**settings)
        p = self.env.start(self.MAP, extra_env=self.capture.env())
        self.env.wait_window()
        return p

    def setting(self, name):
        return self.env.reg_query(SETTINGS_KEY, name)

    def wait_dialog_title(self, title, seconds=30):
        ok = self.env.wait_until(lambda: title in [d[1] for d in self.env.dialogs() if len(d) > 1], seconds)
        self.assertTrue(ok, 'no dialog "%s": %s' % (title, self.env.describe_screen()))

    def played_since(self, before, names, seconds=30):
        """Asserts that exactly the samples of the named files arrived after
        byte `before` (nothing cut, nothing more)."""
        expected = b''.join(wave_samples(os.path.join(self.wav, n + '.wav')) for n in names)
        self.assertTrue(self.capture.wait_size(before + len(expected), seconds),
                        'played %d of %d bytes of %s' % (self.capture.size() - before, len(expected), names))
        self.capture.wait_quiet()
        got = self.capture.snapshot()[before:]
        self.assertEqual(len(got), len(expected), names)
        self.assertTrue(got == expected, 'the played samples differ from %s' % names)


# Wine mixes in periods of 10 ms: 220 samples of 16 bits at 22050 Hz.
PERIOD_BYTES = 440


def underrun_padding(got, expected):
    """The number of whole silent periods the sound device put into `got`
    when it is otherwise `expected` sample for sample (an underrun on a
    loaded machine plays a period of silence); None when `got` differs in
    any other way or by more than four periods."""
    extra = len(got) - len(expected)
    if extra <= 0 or extra % PERIOD_BYTES or extra // PERIOD_BYTES > 4:
        return None
    def sound(b):
        return [v for v in struct.unpack('<%dh' % (len(b) // 2), b[:len(b) // 2 * 2]) if v]
    return extra // PERIOD_BYTES if sound(got) == sound(expected) else None


def first_difference(got, expected, offsets):
    """Where `got` first leaves `expected`, named by the file playing there."""
    i = next((k for k in range(min(len(got), len(expected))) if got[k] != expected[k]), min(len(got), len(expected)))
    name = [n for off, n in offsets if off <= i][-1] if offsets else '?'
    return 'byte %d (in "%s"), %d bytes played against %d' % (i, name, len(got), len(expected))


class SoundPageTest(VoiceCase):
    def test_sounds_page_lists_the_files_stores_the_check_boxes_and_plays(self):
        os.rename(os.path.join(self.wav, 'Attention.wav'), os.path.join(self.env.root, 'Attention.wav'))
        try:
            self.start(OptionsPage=8, PlaySound_Left=0)
            red_before = count_colour(self.env.screenshot('sounds-before.png'), '#FF0000')
            self.env.ctl('command', CMD_OPTIONS)
            self.wait_dialog_title('Настройки')
            self.assertTrue(self.env.wait_until(lambda: self.env.ctl('list-count').strip() == '30', 20),
                            self.env.describe_screen())
            text = self.env.ctl('dialog-text')
            self.assertIn('Прослушать', text)
            self.assertIn('Стоп', text)
            checks = self.env.ctl('list-checks').split()
            self.assertEqual(len(checks), 30)
            self.assertEqual([SOUNDS[i] for i, c in enumerate(checks) if c == '0'], ['Left'])
            # The missing file's row (the first) in red, once another row is selected.
            self.env.ctl('list-key', VK_DOWN)
            self.assertEqual(self.env.ctl('list-selected').strip(), '1')
            shot = self.env.screenshot('sounds-page.png')
            self.assertGreater(count_colour(shot, '#FF0000'), red_before + 20, 'no row in red')
            # The play button and Enter play the selected row's file, exactly.
            self.env.ctl('list-key', VK_DOWN, '10')  # RouteEnd
            before = self.capture.size()
            self.env.ctl('click-control', SOUND_PLAY)
            self.played_since(before, ['RouteEnd'])
            self.env.ctl('list-key', VK_DOWN, '6')  # TurnRight
            before = self.capture.size()
            self.env.ctl('list-key', VK_RETURN)
            self.played_since(before, ['TurnRight'])
            self.assertTrue(self.env.dialogs(), 'Enter closed the options')
            # A switched-off sound does not play.
            self.env.ctl('list-key', VK_HOME)
            self.env.ctl('list-key', VK_DOWN, '12')  # Left
            before = self.capture.size()
            self.env.ctl('click-control', SOUND_PLAY)
            time.sleep(2)  # nothing may arrive: there is no condition to wait for
            self.assertEqual(self.capture.size(), before)
            self.env.ctl('click-control', SOUND_STOP)
            # Space switches the selected row's box; OK stores every box.
            self.env.ctl('list-key', VK_HOME)
            self.env.ctl('list-key', VK_DOWN)  # ACPowerOff
            self.env.ctl('list-key', VK_SPACE)
            self.assertEqual(self.env.ctl('list-checks').split()[1], '0')
            self.env.ctl('press-dialog', IDOK)
            self.assertTrue(self.env.wait_until(lambda: not self.env.dialogs(), 20), self.env.describe_screen())
            self.assertEqual(self.setting('PlaySound_ACPowerOff'), 0)
            self.assertEqual(self.setting('PlaySound_Left'), 0)
            self.assertEqual(self.setting('PlaySound_Attention'), 1)
            self.assertEqual(self.setting('PlaySound_PreLeftRight'), 1)
        finally:
            os.rename(os.path.join(self.env.root, 'Attention.wav'), os.path.join(self.wav, 'Attention.wav'))


class GoToFromListsTest(VoiceCase):
    def maneuver_display(self, name):
        """Pixels of the maneuver display's ground in the top right corner."""
        shot = self.env.screenshot(name)
        _, (x, y) = self.env.window_rect()
        w, _ = self.env.client_size()
        return count_colour(shot, '#202020', '%dx%d+%d+%d' % (120, 130, x + w - 120, y))

    def test_go_to_in_the_waypoint_and_route_lists_starts_navigation(self):
        towns = self.towns()
        self.assertGreaterEqual(len(towns), 2)
        (lat0, lon0), (lat1, lon1) = towns[0], towns[1]
        self.env.put_file(r'C:\velmo\Waypoints.bin', waypoints_file([waypoint_record('Цель', lat1, lon1)]))
        self.start(MapZoom=13, MapXc=centre_setting(lon0), MapYc=centre_setting(lat0), RoutingStyle=1)
        self.assertLess(self.maneuver_display('goto-before.png'), 500)
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_dialog_title('Путевые точки')
        self.env.ctl('press-dialog', STORE_GOTO)
        self.assertTrue(self.env.wait_until(lambda: self.setting('Navigation') == 1, 20), self.env.describe_screen())
        self.assertFalse(self.env.dialogs())
        self.assertTrue(self.env.wait_until(lambda: self.maneuver_display('goto-waypoint.png') > 3000, 20),
                        'no maneuver display')
        # The store keeps the temporary route while it is navigated.
        with open(self.env.host_path(r'C:\velmo\Waypoints.bin'), 'rb') as f:
            self.assertEqual(f.read(2), b'RW')
        self.env.ctl('command', CMD_STOP_NAVIGATION)
        self.assertTrue(self.env.wait_until(lambda: self.setting('Navigation') == 0, 20))
        with open(self.env.host_path(r'C:\velmo\Waypoints.bin'), 'rb') as f:
            self.assertEqual(f.read(2), b'WR', 'the "GoTo" route was not deleted')
        # The route list: a route of the two towns.
        route = struct.pack('<IdI', 0, 45000.5, 0xE800E8) + store_text('Поездка') + store_text('') + store_text('')
        route += struct.pack('<I', 2) + struct.pack('<BI', 0x01, 0) + struct.pack('<BI', 0x01, 1)
        body = waypoint_record('Старт', lat0, lon0) + waypoint_record('Цель', lat1, lon1)
        header = b'RW' + bytes([12, 40, 4]) + struct.pack('<I', 2) + bytes([16, 3]) + struct.pack('<I', 1)
        self.env.stop_programs()
        self.env.put_file(r'C:\velmo\Waypoints.bin', header + body + route)
        self.start(MapZoom=13, MapXc=centre_setting(lon0), MapYc=centre_setting(lat0), RoutingStyle=1)
        self.env.ctl('command', CMD_ROUTES)
        self.wait_dialog_title('Маршруты')
        self.env.ctl('press-dialog', STORE_GOTO)
        self.assertTrue(self.env.wait_until(lambda: self.setting('Navigation') == 1, 20), self.env.describe_screen())
        self.assertTrue(self.env.wait_until(lambda: self.maneuver_display('goto-route.png') > 3000, 20),
                        'no maneuver display')
        # The store was saved with the route marked as navigated.
        with open(self.env.host_path(r'C:\velmo\Waypoints.bin'), 'rb') as f:
            blob = f.read()
        at = blob.index(store_text('Поездка'))
        self.assertEqual(struct.unpack('<I', blob[at - 16:at - 12])[0] & 0x04, 0x04)
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(self.env.procs[-1]), 0)

    def test_gpx_route_imported_through_the_route_list_is_followed(self):
        towns = self.towns()
        self.assertGreaterEqual(len(towns), 2)
        (lat0, lon0), (lat1, lon1) = towns[0], towns[1]
        os.makedirs(self.env.host_path(r'C:\out'), exist_ok=True)
        with open(self.env.host_path(r'C:\out\trip.gpx'), 'w', encoding='utf-8') as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                    '<gpx version="1.1" creator="a phone" xmlns="http://www.topografix.com/GPX/1/1">\n'
                    '<rte><name>Поездка GPX</name>'
                    '<rtept lat="%.7f" lon="%.7f"><name>Старт</name></rtept>'
                    '<rtept lat="%.7f" lon="%.7f"><name>Цель</name></rtept></rte>\n</gpx>\n'
                    % (lat0, lon0, lat1, lon1))
        store = self.env.host_path(r'C:\velmo\Waypoints.bin')
        if os.path.exists(store):
            os.remove(store)
        self.start(MapZoom=13, MapXc=centre_setting(lon0), MapYc=centre_setting(lat0), RoutingStyle=1)
        self.env.ctl('command', CMD_ROUTES)
        self.wait_dialog_title('Маршруты')
        self.env.ctl('press-dialog', STORE_IMPORT)
        self.wait_title('Импорт маршрутов')
        self.env.ctl('set-dialog-text', FILE_NAME, r'C:\out\trip.gpx')
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone('Импорт маршрутов')
        self.assertTrue(self.env.wait_until(lambda: self.top_title() == 'VELMO', 60), self.env.describe_screen())
        self.assertIn('Импортировано маршрутов - 1, путевых точек - 2.', self.env.ctl('dialog-text'))
        self.env.ctl('press-dialog', IDOK)
        self.wait_gone('VELMO')
        self.assertTrue(self.env.wait_until(lambda: 'Поездка GPX' in self.env.ctl('listview-text'), 20),
                        self.env.describe_screen())
        # the list opened again starts on its first route, the imported one
        self.env.ctl('press-dialog', IDCANCEL)
        self.env.wait_until(lambda: not self.env.dialogs(), 20)
        self.env.ctl('command', CMD_ROUTES)
        self.wait_dialog_title('Маршруты')
        self.env.ctl('press-dialog', STORE_GOTO)
        self.assertTrue(self.env.wait_until(lambda: self.setting('Navigation') == 1, 20), self.env.describe_screen())
        self.assertTrue(self.env.wait_until(lambda: self.maneuver_display('gpx-route.png') > 3000, 20),
                        'no maneuver display')
        # the store was saved with the imported route marked as navigated
        with open(self.env.host_path(r'C:\velmo\Waypoints.bin'), 'rb') as f:
            blob = f.read()
        at = blob.index(store_text('Поездка GPX'))
        self.assertEqual(struct.unpack('<I', blob[at - 16:at - 12])[0] & 0x04, 0x04)
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(self.env.procs[-1]), 0)


class GuidedDriveTest(VoiceCase):
    """A part of the demo drive: the end of a motorway (with a detour off
    it), its exit through a roundabout and a few hundred metres beyond,
    towards a point a little before the end of the part."""
    FIRST, FIXES = 600, 215  # the part of the demo drive that is driven
    GOAL = 190               # the fix of that part where the destination is
    INTERVAL = 0.5           # seconds of the test per fix of the drive
    DETOUR_AT = 15           # fix where the detour starts
    WAIT = 12                # fixes standing at the start before the drive

    def drive(self):
        gpx = os.path.join(self.env.root, 'demo.gpx')
        subprocess.run(['python3', DEMOTRACK, self.osm, gpx], check=True, stdout=subprocess.DEVNULL)
        points = dd.read_gpx_track(gpx)[self.FIRST:self.FIRST + self.FIXES]
        points = dd.bump(points, self.DETOUR_AT, 24, 200.0)
        # The receiver stands at the start for a few seconds first, while
        # the program finds it on its port.
        lat, lon, when = points[0]
        return [(lat, lon, when - dd.timedelta(seconds=self.WAIT - k)) for k in range(self.WAIT)] + points

    def test_guided_drive_plays_the_phrases_of_the_drive(self):
        if not os.path.exists(CLI):
            self.skipTest('velmo-cli is not built')
        points = self.drive()
        fixes = dd.fix_sentences(points)
        nmea_path = os.path.join(self.env.root, 'drive.nmea')
        with open(nmea_path, 'wb') as f:
            f.write(b''.join(fixes))
        # The destination as the store keeps it (twice the map unit).
        lat_end, lon_end = points[self.WAIT + self.GOAL][0], points[self.WAIT + self.GOAL][1]
        script = dd.guide(CLI, self.env.host_path(self.MAP), dd.stored((lat_end, lon_end)), nmea_path,
                          '--offroute', '0')
        with open(os.path.join(self.env.artifacts, 'guided-drive-script.txt'), 'w') as f:
            f.write(script.text)
        script = script.text
        said = [(fix, kind, ns) for fix, kind, ns, _, _, _ in dd.Script(script).said]
        names = [n for _, _, ns in said for n in ns]
        self.assertIn('RouteOut', names, script)
        self.assertIn('RouteEnd', names, script)
        near = [(fix, ns) for fix, kind, ns in said if kind == 'say' and ns[0] != 'Pre']
        before_turn = [fix for fix, kind, ns in said if kind == 'say' and ns[0] == 'Pre']
        self.assertTrue(near and before_turn, script)
        off_fix = next(fix for fix, kind, ns in said if ns == ['RouteOut'])

        self.env.put_file(r'C:\velmo\Waypoints.bin', waypoints_file([waypoint_record('Цель', lat_end, lon_end)]))
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        lat0, lon0 = points[0][0], points[0][1]
        settings = {'MapZoom': 12, 'MapXc': centre_setting(lon0), 'MapYc': centre_setting(lat0), 'RoutingStyle': 0,
                    'RoutingOffRoute': 0, 'ScanCOMPorts': 1, 'RecordTrack': 0, 'FixupClock': 0, 'ShowBearing': 1,
                    'PlaySound_GPSConnected': 0, 'PlaySound_GPSMissing': 0}
        settings.update({'Enable_COM%d' % n: int(n == PORT) for n in range(20)})
        # The program and its window first; the drive starts once navigation runs.
        p = self.start(**settings)
        self.env.ctl('command', CMD_WAYPOINTS)
        self.wait_dialog_title('Путевые точки')
        self.env.ctl('press-dialog', STORE_GOTO)
        self.assertTrue(self.env.wait_until(lambda: self.setting('Navigation') == 1, 60), self.env.describe_screen())
        start_bytes = self.capture.size()

        feeder = Feeder(b, fixes, self.INTERVAL)
        shots = {}
        feeder.hooks[before_turn[0] + 2] = lambda: shots.setdefault('turn', self.env.screenshot('drive-before-turn.png'))
        feeder.hooks[off_fix + 2] = lambda: shots.setdefault('off', self.env.screenshot('drive-off-route.png'))
        feeder.start()
        try:
            expected = b''.join(wave_samples(os.path.join(self.wav, n + '.wav')) for n in names)
            done = self.capture.wait_size(start_bytes + len(expected), len(fixes) * self.INTERVAL + 120)
            feeder.join(len(fixes) * self.INTERVAL + 60)
            self.capture.wait_quiet(3)
        finally:
            feeder.stop.set()
        got = self.capture.snapshot()[start_bytes:]
        self.assertTrue(done, 'played %d of %d bytes of %s' % (len(got), len(expected), names))
        # Which files arrived, for the report of a difference.
        offsets, at = [], 0
        for n in names:
            offsets.append((at, n))
            at += len(wave_samples(os.path.join(self.wav, n + '.wav')))
        if got != expected:
            with open(os.path.join(self.env.artifacts, 'guided-drive-played.raw'), 'wb') as f:
                f.write(got)
            extra = underrun_padding(got, expected)
            self.assertIsNotNone(extra, 'the played samples differ from %s: %s' % (names, first_difference(
                got, expected, offsets)))
            print('\nthe sound device added %d ms of silence (an underrun of a loaded machine)' % (extra * 10))
        self.assertEqual(self.setting('Navigation'), 0, 'navigation did not end on arrival')

        # The maneuver display before the turn; off the route it turns red.
        self.assertIn('turn', shots)
        self.assertIn('off', shots)
        _, (x, y) = self.env.window_rect()
        w, _ = self.env.client_size()
        corner = '%dx%d+%d+%d' % (120, 130, x + w - 120, y)
        self.assertGreater(count_colour(shots['turn'], '#202020', corner), 3000, 'no maneuver display')
        self.assertGreater(count_colour(shots['off'], '#900000', corner), 3000, 'no off-route display')

        # From the fix that made each phrase (the last one written before its
        # first sample) to that sample. The program posts each phrase within
        # one fix of velmo-cli's (its average speed may put a distance a
        # metre or so apart) and plays it at once.
        report, near_delays, at = [], [], 0
        for fix, kind, ns in said:
            t = self.capture.first_time_at(start_bytes + at)
            for n in ns:
                at += len(wave_samples(os.path.join(self.wav, n + '.wav')))
            self.assertIsNotNone(t)
            made = max(i for i, w in enumerate(feeder.written, 1) if w <= t) if feeder.written[0] <= t else 0
            delay = (t - feeder.written[made - 1]) * 1000.0 if made else float('nan')
            report.append('%s %s: fix %d (velmo-cli: %d), first sample %.0f ms after it' %
                          (kind, ' '.join(ns), made, fix, delay))
            self.assertIn(made, (fix - 1, fix, fix + 1), report[-1])
            if kind == 'say' and ns[0] != 'Pre':
                near_delays.append(delay)
        with open(os.path.join(self.env.artifacts, 'guided-drive-latency.txt'), 'w') as f:
            f.write('\n'.join(report) + '\n')
        print('\n' + '\n'.join(report))
        self.assertTrue(near_delays)
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)


if __name__ == '__main__':
    unittest.main()

"""End-to-end: velmo.exe reads a real NMEA receiver capture from a serial
port (a pty mapped to COM5 of the Wine prefix), records the track, and our
own track reader reads the points back."""
import csv
import glob
import os
import shutil
import struct
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, VelmoEnv  # noqa: E402

BUILD = os.environ.get('VELMO_BUILD_WIN', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'win'))
NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'native'))
EXE = os.path.join(BUILD, 'app', 'velmo.exe')
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')
ARTIFACTS = os.path.join(BUILD, 'e2e-artifacts')
DATA = os.path.join(os.path.dirname(__file__), '..', '..', '..', 'shared', 'data', 'gps')
CAPTURE = os.path.join(DATA, 'haicom-305N')
PORT = 5
DEMOTRACK = os.path.join(os.path.dirname(__file__), '..', '..', 'tools', 'demotrack', 'demotrack.py')


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


def nmea(body):
    x = 0
    for c in body.encode('ascii'):
        x ^= c
    return ('$%s*%02X\r\n' % (body, x)).encode('ascii')


class LiveReceiver(threading.Thread):
    """A receiver driving north-east at about 50 km/h now: one RMC and one
    GGA a second, stamped with the present UTC time and date."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path = path
        self.stop = threading.Event()

    def run(self):
        fd = os.open(self.path, os.O_WRONLY | os.O_NOCTTY)
        try:
            i = 0
            while not self.stop.is_set():
                now = time.time()
                t = time.gmtime(now)
                hms = '%02d%02d%02d.%02d' % (t.tm_hour, t.tm_min, t.tm_sec, int(now * 100) % 100)
                dmy = '%02d%02d%02d' % (t.tm_mday, t.tm_mon, t.tm_year % 100)
                lon = 37.5 + i * 0.00016  # 10 m a second east at 55.75 N
                lat = 55.75 + i * 0.00009  # and 10 m north
                lon_text = '%03d%07.4f' % (int(lon), (lon - int(lon)) * 60)
                lat_text = '%02d%07.4f' % (int(lat), (lat - int(lat)) * 60)
                os.write(fd, nmea('GPRMC,%s,A,%s,N,%s,E,027.5,045.0,%s,,' % (hms, lat_text, lon_text, dmy)) +
                         nmea('GPGGA,%s,%s,N,%s,E,1,08,0.9,150.0,M,14.0,M,,' % (hms, lat_text, lon_text)))
                i += 1
                self.stop.wait(1.0)
        finally:
            os.close(fd)


@unittest.skipUnless(os.path.exists(EXE), 'velmo.exe is not built')
@unittest.skipUnless(os.path.isdir(CAPTURE), 'the receiver captures are not there')
class GpsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.env = VelmoEnv(BUILD, artifacts_dir=ARTIFACTS)

    @classmethod
    def tearDownClass(cls):
        cls.env.close()

    def settings(self, **values):
        self.env.reg_delete_key(SETTINGS_KEY)
        base = {'SafetyWarning': 0, 'Language': 1049, 'FixupClock': 0, 'ScanCOMPorts': 1, 'RecordTrack': 1}
        base.update(values)
        for name, value in base.items():
            self.env.reg_add(SETTINGS_KEY, name, value, 'REG_DWORD')
        # Only the mapped port is tried.
        for n in range(20):
            self.env.reg_add(SETTINGS_KEY, 'Enable_COM%d' % n, 1 if n == PORT else 0, 'REG_DWORD')

    def clear_tracks(self):
        folder = self.tracks_folder()
        if folder:
            shutil.rmtree(folder)

    def track_log_count(self):
        """Positions in Tracks.bin so far (its first word: the next entry)."""
        folder = self.tracks_folder()
        path = os.path.join(folder, 'Tracks.bin') if folder else None
        if not path or not os.path.exists(path) or os.path.getsize(path) < 8:
            return 0
        with open(path, 'rb') as f:
            end, wrapped = struct.unpack('<II', f.read(8))
        return 10000 if wrapped else end

    def newest_track_file(self):
        files = glob.glob(os.path.join(self.tracks_folder(), '*.mps'))
        return max(files, key=os.path.getmtime) if files else None

    def read_track(self, path):
        out = subprocess.run([CLI, 'track', path], stdout=subprocess.PIPE, check=True).stdout.decode()
        # "#  time  latitude  longitude ..." then one tab-separated line per point.
        return [f for f in (line.split('\t') for line in out.splitlines() if not line.startswith('#'))
                if len(f) >= 4 and f[0].isdigit()]

    def feed_capture_to_the_port(self):
        """The receiver capture played into the mapped port, with fresh
        settings and no tracks; the caller stops the returned feeder."""
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        self.settings()
        self.clear_tracks()
        with open(os.path.join(CAPTURE, 'raw.bin'), 'rb') as f:
            feeder = Feeder(b, f.read())
        feeder.start()
        return feeder

    def tracks_folder(self):
        found = glob.glob(os.path.join(self.env.prefix, 'drive_c', 'users', '*', '*', 'GPS Tracks and Waypoints'))
        return found[0] if found else None

    def test_nmea_capture_on_a_serial_port_is_received_and_recorded(self):
        if not os.path.exists(CLI):
            self.skipTest('velmo-cli is not built')
        feeder = self.feed_capture_to_the_port()
        try:
            p = self.env.start()
            self.env.wait_window()
            self.assertGreaterEqual(self.env.wait_until(lambda: self.track_log_count() >= 20 and 20, 90), 20,
                                    'positions from the receiver did not reach the track')
            self.env.screenshot('gps-receiving.png')
            self.assertEqual(os.path.getsize(os.path.join(self.tracks_folder(), 'Tracks.bin')), 80008)
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            feeder.stop.set()
            feeder.join(5)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'SafeExit'), 1)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'Enable_COM%d' % PORT), 1)
        points = self.read_track(self.newest_track_file())
        self.assertGreaterEqual(len(points), 20)
        # Every recorded position is one the receiver reported (gpsd's list).
        with open(os.path.join(CAPTURE, 'expected.tsv')) as f:
            truth = [(float(r[1]), float(r[2])) for r in csv.reader(f, delimiter='\t')]
        self.assertTrue(truth)
        for fields in points:
            lat, lon = float(fields[2]), float(fields[3])
            best = min(abs(lat - t[0]) + abs(lon - t[1]) for t in truth)
            self.assertLess(best, 2e-5, 'recorded point %s is not in the capture' % fields)

    def test_a_fault_in_the_nmea_decoder_is_reported_and_the_port_is_closed(self):
        log = self.env.host_path(r'C:\velmo_error_log.txt')
        if os.path.exists(log):
            os.remove(log)
        feeder = self.feed_capture_to_the_port()
        try:
            # The decoder faults on the first sentence it takes.
            p = self.env.start(extra_env={'VELMO_TEST_CRASH': 'nmea'})
            self.env.wait_window()
            self.assertTrue(self.env.wait_dialog(90), 'no report of the fault: ' + self.env.describe_screen())
            text = self.env.ctl('dialog-text')
            self.assertIn('Программный сбой при обработке данных из COM5.', text)
            self.assertIn('Instruction at [0x', text)
            self.env.screenshot('port-fault-report.png')
            self.env.ctl('press-dialog', '1')
            with open(log, 'rb') as f:
                entry = f.read()[2:].decode('utf-16-le')
            self.assertIn('\r\n_Protocol_ShowException, port=5\r\n** ', entry)
            self.assertEqual(self.track_log_count(), 0)
            # The thread closed its port: switching GPS off and on opens it
            # again, and the receiver's positions now reach the track.
            self.env.ctl('command', '40052', '40052')
            self.assertGreaterEqual(self.env.wait_until(lambda: self.track_log_count() >= 5 and 5, 90), 5,
                                    'the port did not open again: ' + self.env.describe_screen())
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            feeder.stop.set()
            feeder.join(5)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'SafeExit'), 1)

    def test_todays_fixes_give_todays_track_and_waypoint_and_leave_the_clock_alone(self):
        if not os.path.exists(CLI):
            self.skipTest('velmo-cli is not built')
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        # The clock correction is on, as it is by default.
        self.settings(FixupClock=1)
        self.clear_tracks()
        store = os.path.join(self.env.program_dir, 'Waypoints.bin')
        if os.path.exists(store):
            os.remove(store)
        before, before_mono = time.time(), time.monotonic()
        receiver = LiveReceiver(b)
        receiver.start()
        try:
            p = self.env.start()
            self.env.wait_window()
            self.assertGreaterEqual(self.env.wait_until(lambda: self.track_log_count() >= 5 and 5, 90), 5,
                                    'positions from the receiver did not reach the track')
            self.env.ctl('command', '40011')  # a waypoint at the position
            self.assertTrue(self.env.wait_dialog(), 'no new-waypoint dialog')
            self.env.ctl('press-dialog', '1')
            self.assertTrue(self.env.wait_until(lambda: os.path.exists(store), 20), 'Waypoints.bin not written')
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            receiver.stop.set()
            receiver.join(5)
        after, after_mono = time.time(), time.monotonic()
        # The machine's clock was not set (Wine sets the host's clock when it
        # may): it went on at the pace of the monotonic one.
        self.assertLess(abs((after - before) - (after_mono - before_mono)), 2)
        today = time.strftime('%Y-%m-%d', time.gmtime(after))
        yesterday = time.strftime('%Y-%m-%d', time.gmtime(before))
        points = self.read_track(self.newest_track_file())
        self.assertGreaterEqual(len(points), 5)
        for fields in points:
            self.assertIn(fields[1][:10], (today, yesterday), fields)
        out = subprocess.run([CLI, 'import', store], stdout=subprocess.PIPE, check=True).stdout.decode()
        rows = [line.split('\t') for line in out.splitlines() if line.startswith('W\t')]
        self.assertEqual(len(rows), 1, out)
        self.assertIn(rows[0][5][:10], (today, yesterday), rows[0])

    def test_demo_drive_is_replayed_when_there_is_no_receiver(self):
        demogen = os.path.join(NATIVE, 'tools', 'demogen', 'demogen')
        if not os.path.exists(demogen) or not os.path.exists(CLI):
            self.skipTest('the native tools are not built')
        osm = os.path.join(self.env.root, 'demo.osm')
        gpx = os.path.join(self.env.root, 'demo.gpx')
        gdb = os.path.join(self.env.program_dir, 'Demo.gdb')
        subprocess.run([demogen, '-o', osm], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([sys.executable, DEMOTRACK, osm, gpx], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(['gpsbabel', '-t', '-i', 'gpx', '-f', gpx, '-o', 'gdb,ver=3', '-F', gdb], check=True)
        self.settings()
        self.clear_tracks()
        try:
            p = self.env.start()
            self.env.wait_window()
            self.assertGreaterEqual(self.env.wait_until(lambda: self.track_log_count() >= 5 and 5, 60), 5,
                                    'the demo drive did not reach the track')
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            os.remove(gdb)
        recorded = self.read_track(self.newest_track_file())
        self.assertGreaterEqual(len(recorded), 5)
        # The drive starts where the demo file starts.
        with open(gpx) as f:
            first = f.read().split('<trkpt lat="', 1)[1]
        lat0 = float(first.split('"')[0])
        lon0 = float(first.split('lon="', 1)[1].split('"')[0])
        self.assertAlmostEqual(float(recorded[0][2]), lat0, delta=1e-4)
        self.assertAlmostEqual(float(recorded[0][3]), lon0, delta=1e-4)


if __name__ == '__main__':
    unittest.main()

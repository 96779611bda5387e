"""End-to-end: velmo.exe reads a real NMEA receiver capture from a serial
port (a pty mapped to COM5 of the Wine prefix), records the track, and our
own track reader reads the points back."""
import csv
import glob
import os
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

    def tracks_folder(self):
        found = glob.glob(os.path.join(self.env.prefix, 'drive_c', 'users', '*', '*', 'GPS Tracks and Waypoints'))
        return found[0] if found else None

    def test_nmea_capture_on_a_serial_port_is_received_and_recorded(self):
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        self.settings()
        with open(os.path.join(CAPTURE, 'raw.bin'), 'rb') as f:
            feeder = Feeder(b, f.read())
        feeder.start()
        try:
            p = self.env.start()
            self.env.wait_window()

            def track_file():
                folder = self.tracks_folder()
                files = glob.glob(os.path.join(folder, '*.mps')) if folder else []
                return files and os.path.getsize(files[0]) > 2000 and files[0]

            mps = self.env.wait_until(track_file, 90)
            self.assertTrue(mps, 'no track file with points appeared')
            self.env.screenshot('gps-receiving.png')
            log = os.path.join(self.tracks_folder(), 'Tracks.bin')
            self.assertEqual(os.path.getsize(log), 80008)
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)
        finally:
            feeder.stop.set()
            feeder.join(5)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'SafeExit'), 1)
        if not os.path.exists(CLI):
            self.skipTest('velmo-cli is not built')
        out = subprocess.run([CLI, 'track', mps], stdout=subprocess.PIPE, check=True).stdout.decode()
        # "#  time  latitude  longitude ..." one tab-separated line per point.
        points = [f for f in (line.split('\t') for line in out.splitlines() if not line.startswith('#'))
                  if len(f) >= 4 and f[0].isdigit()]
        self.assertGreater(len(points), 5, out[:500])
        # Every recorded position is one the receiver reported (gpsd's list).
        with open(os.path.join(CAPTURE, 'expected.tsv')) as f:
            truth = [(float(r[1]), float(r[2])) for r in csv.reader(f, delimiter='\t')]
        self.assertTrue(truth)
        for fields in points:
            lat, lon = float(fields[2]), float(fields[3])
            best = min(abs(lat - t[0]) + abs(lon - t[1]) for t in truth)
            self.assertLess(best, 2e-5, 'recorded point %s is not in the capture' % fields)


if __name__ == '__main__':
    unittest.main()

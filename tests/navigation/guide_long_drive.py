"""A long drive that keeps leaving its route, through velmo-cli guide on the
demo region: the car goes round a loop away from its destination and back,
lap after lap, and guidance recalculates every time it is off the route.
Whatever the length of the drive, the route guidance holds must stay the
same size: a nine-hour drive holds at most 10 % more route points (and peak
memory) than a one-hour drive.

usage: guide_long_drive.py VELMO_CLI DEMOGEN VELC DEMOTRACK_PY"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_drive as dd  # noqa: E402

CLI = DEMOGEN = VELC = DEMOTRACK = None
KMH = 50.0
GOAL_FIX = 790  # the destination, in the second town (as guide_demo_drive.py)
TURN_FIX = 120  # where the loop turns back, on the way towards it


def run_guide(args):
    """velmo-cli guide's output."""
    return subprocess.run([CLI, 'guide'] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          check=True).stdout.decode()


def summary(out):
    """(fixes, recalculations, most route points held, peak memory in KiB) as
    the program tells them."""
    fixes = recalc = held = peak = None
    for line in out.splitlines():
        if line.startswith('fixes:'):
            fixes = int(line.split()[1].rstrip(','))
            recalc = int(line.split('recalculations: ')[1].split(',')[0])
        elif line.startswith('route points: at most'):
            held = int(line.split()[4])
        elif line.startswith('peak memory:'):
            peak = int(line.split()[2])
    return fixes, recalc, held, peak


class GuideLongDriveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix='velmo-long-drive-')
        osm = os.path.join(cls.dir, 'demo.osm')
        cls.map = os.path.join(cls.dir, 'demo.vel')
        subprocess.run([DEMOGEN, '--size', '1', '-o', osm], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([VELC, osm, '-o', cls.map], check=True, stdout=subprocess.DEVNULL)
        gpx = os.path.join(cls.dir, 'demo.gpx')
        subprocess.run([sys.executable, DEMOTRACK, osm, gpx], check=True, stdout=subprocess.DEVNULL)
        track = dd.read_gpx_track(gpx)
        cls.start = track[0][:2]
        cls.goal = dd.stored(track[GOAL_FIX][:2])
        turn = track[TURN_FIX][:2]
        there = dd.route_polyline(CLI, cls.map, cls.start, turn, os.path.join(cls.dir, 'there.gpx'))
        back = dd.route_polyline(CLI, cls.map, turn, cls.start, os.path.join(cls.dir, 'back.gpx'))
        cls.loop = there + back[1:]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def drive(self, hours):
        """The NMEA file of `hours` of laps round the loop."""
        path = os.path.join(self.dir, '%dh.nmea' % hours)
        want = int(hours * 3600)
        points, carry, when = [], 0.0, dd.START
        while len(points) < want:
            lap, carry = dd.drive_along(self.loop, KMH, when, carry)
            points += lap
            when = points[-1][2] + dd.timedelta(seconds=1)
        with open(path, 'wb') as f:
            for s in dd.fix_sentences(points[:want]):
                f.write(s)
        return path

    def guide(self, hours):
        out = run_guide([self.map, '--to', '%.9f' % self.goal[0], '%.9f' % self.goal[1], self.drive(hours),
                         '--offroute', '1', '--style', '0'])
        fixes, recalc, held, peak = summary(out)
        self.assertEqual(fixes, hours * 3600)
        self.assertIsNotNone(peak, out[-500:])
        return recalc, held, peak

    def test_a_long_drive_holds_no_more_route_than_a_short_one(self):
        r1, held1, rss1 = self.guide(1)
        r9, held9, rss9 = self.guide(9)
        print('1 h: %d recalculations, at most %d route points, peak %d KiB' % (r1, held1, rss1))
        print('9 h: %d recalculations, at most %d route points, peak %d KiB' % (r9, held9, rss9))
        # The drive really keeps leaving the route, all the time.
        self.assertGreater(r1, 30)
        self.assertGreater(r9, 7 * r1)
        self.assertLessEqual(held9, held1 * 1.1)
        self.assertLessEqual(rss9, rss1 * 1.1)


if __name__ == '__main__':
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    CLI, DEMOGEN, VELC, DEMOTRACK = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:])

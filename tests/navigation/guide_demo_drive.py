"""Simulated drives on the demo region through velmo-cli guide: along a
calculated route with turns, a roundabout and keeps to its end; and the
same way with a wrong turn of a few hundred metres, which must give
RouteOut, one recalculation, RouteCalculated and guidance on the new route
to the end.

usage: guide_demo_drive.py VELMO_CLI DEMOGEN VELC DEMOTRACK_PY"""
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
STEP = KMH / 3.6  # metres between fixes
# The destination: a point of the demo drive past the motorway's exit and
# its roundabout, in the second town.
GOAL_FIX = 790


class GuideDemoDriveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix='velmo-guide-')
        osm = os.path.join(cls.dir, 'demo.osm')
        cls.map = os.path.join(cls.dir, 'demo.vel')
        subprocess.run([DEMOGEN, '--size', '1', '-o', osm], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([VELC, osm, '-o', cls.map], check=True, stdout=subprocess.DEVNULL)
        gpx = os.path.join(cls.dir, 'demo.gpx')
        subprocess.run([sys.executable, DEMOTRACK, osm, gpx], check=True, stdout=subprocess.DEVNULL)
        track = dd.read_gpx_track(gpx)
        cls.start = track[0][:2]
        cls.goal = dd.stored(track[GOAL_FIX][:2])
        cls.route = dd.route_polyline(CLI, cls.map, cls.start, cls.goal, os.path.join(cls.dir, 'route.gpx'))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def guide(self, points, name, *options):
        path = os.path.join(self.dir, name + '.nmea')
        with open(path, 'wb') as f:
            f.write(b''.join(dd.fix_sentences(points)))
        script = dd.guide(CLI, self.map, self.goal, path, *options)
        with open(os.path.join(self.dir, name + '.txt'), 'w') as f:
            f.write(script.text)
        return script

    def drive_on_to_the_end(self, points):
        """The drive reaches the destination and parks there a few seconds."""
        last = points[-1]
        return points + [(self.goal[0], self.goal[1], last[2] + dd.timedelta(seconds=k + 1)) for k in range(3)]

    def check_announcements(self, script, after_fix=0):
        """Each far phrase within one fix of the far distance (or at once
        when its maneuver becomes the next one closer than that), then the
        near phrase of the same maneuver within one fix of the near
        distance."""
        says = [s for s in script.said if s[1] == 'say' and s[0] > after_fix]
        self.assertTrue(says, script.text)
        for i, (fix, _, names, at, far, near) in enumerate(says):
            if names[0] != 'Pre':
                continue
            self.assertLessEqual(at, far, script.text)
            if not script.maneuver_became_next(fix):
                self.assertGreater(at, far - STEP - 2, 'far phrase at fix %d late\n%s' % (fix, script.text))
            self.assertLess(i + 1, len(says), script.text)
            n_fix, _, n_names, n_at, _, n_near = says[i + 1]
            self.assertEqual(n_names[0], names[1], 'the near phrase is of another maneuver\n' + script.text)
            self.assertLess(n_at, n_near, script.text)
            self.assertGreater(n_at, n_near - STEP - 2, 'near phrase at fix %d late\n%s' % (n_fix, script.text))

    def test_drive_to_the_end_announces_every_maneuver_and_arrives_once(self):
        points, _ = dd.drive_along(self.route, KMH)
        script = self.guide(self.drive_on_to_the_end(points), 'straight')
        names = script.names()
        self.assertEqual(names.count('RouteEnd'), 1, script.text)
        self.assertEqual(names[-1], 'RouteEnd', script.text)
        self.assertNotIn('RouteOut', names, script.text)
        self.assertEqual(script.recalculations, 0)
        self.assertTrue(script.ended, script.text)
        self.assertEqual(script.states[-1][1], 'finished', script.text)
        spoken = ' '.join(names)
        self.assertIn('RoundAbout 1st', spoken, script.text)
        self.assertTrue('Left' in spoken.split() or 'Right' in spoken.split(), 'no keep\n' + script.text)
        self.check_announcements(script)

    def test_wrong_turn_recalculates_once_and_guidance_resumes_to_the_end(self):
        # The route's first turn east, then one block north instead of on.
        turn = next(p for p in self.route[1:] if dd.metres(self.start, p) > 150)
        north = (turn[0] + 300 / 111320.0, turn[1])
        wrong, carry = dd.drive_along([self.start, turn], KMH)
        more, _ = dd.drive_along([turn, north], KMH, wrong[-1][2] + dd.timedelta(seconds=1), carry)
        wrong += more
        first = self.guide(wrong, 'wrong-turn')
        out = [s for s in first.said if s[2] == ['RouteOut']]
        self.assertTrue(out, first.text)
        off_fix = out[0][0]
        # From where guidance left the route, the car follows the way it is
        # given again.
        here = wrong[off_fix - 1]
        again = dd.route_polyline(CLI, self.map, here[:2], self.goal, os.path.join(self.dir, 'again.gpx'))
        rest, _ = dd.drive_along(again, KMH, here[2] + dd.timedelta(seconds=1))
        script = self.guide(self.drive_on_to_the_end(wrong[:off_fix] + rest[1:]), 'detour', '--offroute', '1')
        names = script.names()
        self.assertEqual(names.count('RouteOut'), 1, script.text)
        self.assertEqual(names.count('RouteCalculated'), 1, script.text)
        self.assertLess(names.index('RouteOut'), names.index('RouteCalculated'))
        self.assertEqual(script.recalculations, 1, script.text)
        self.assertEqual(names.count('RouteEnd'), 1, script.text)
        self.assertEqual(names[-1], 'RouteEnd', script.text)
        self.assertTrue(script.ended, script.text)
        # On the new route from the recalculation to the end.
        after = [state for fix, state, _, _ in script.states if fix >= off_fix]
        self.assertEqual(after[0], 'on route', script.text)
        self.assertNotIn('off route', after, script.text)
        self.assertEqual(after[-1], 'finished', script.text)
        self.assertIn('RoundAbout 1st', ' '.join(names[names.index('RouteCalculated'):]), script.text)
        self.check_announcements(script, off_fix)


if __name__ == '__main__':
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    CLI, DEMOGEN, VELC, DEMOTRACK = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:])

"""velmo-cli replay reads its input as a stream: a capture repeated a
hundred times (18 MiB) replays in the same peak memory as the capture once
(within 10 %), with a hundred times the fixes.

usage: replay_stream_memory.py VELMO_CLI SHARED_DATA_DIR"""
import os
import subprocess
import sys
import tempfile
import unittest

CLI = DATA = None


def replay(path):
    """(fix lines, peak memory in KiB as velmo-cli replay tells it)."""
    r = subprocess.run([CLI, 'replay', '--protocol', 'nmea', path], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, check=True)
    fixes = sum(1 for line in r.stdout.splitlines() if line.startswith(b'fix\t'))
    peak = None
    for line in r.stderr.decode().splitlines():
        if 'peak memory' in line:
            peak = int(line.split('peak memory ')[1].split()[0])
    if peak is None:
        raise AssertionError('velmo-cli replay told no peak memory:\n' + r.stderr.decode())
    return fixes, peak


class ReplayStreamMemoryTest(unittest.TestCase):
    def test_a_long_stream_replays_in_the_memory_of_a_short_one(self):
        capture = os.path.join(DATA, 'gps', 'bundg_zeus_9', 'raw.bin')
        if not os.path.exists(capture):
            self.skipTest('the shared receiver captures are not there: ' + capture)
        with open(capture, 'rb') as f:
            data = f.read()
        with tempfile.TemporaryDirectory(prefix='velmo-replay-') as d:
            once, many = os.path.join(d, 'once.nmea'), os.path.join(d, 'many.nmea')
            with open(once, 'wb') as f:
                f.write(data)
            with open(many, 'wb') as f:
                for _ in range(100):
                    f.write(data)
            fixes1, rss1 = replay(once)
            fixes100, rss100 = replay(many)
        print('once: %d fixes, peak %d KiB; 100 times: %d fixes, peak %d KiB' % (fixes1, rss1, fixes100, rss100))
        self.assertGreater(fixes1, 100)
        self.assertGreaterEqual(fixes100, 99 * fixes1)
        self.assertLessEqual(rss100, rss1 * 1.1)


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    CLI, DATA = sys.argv[1:3]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])

"""End-to-end test of the waypoint symbol icons under Wine: waypoints of a
Waypoints.bin are drawn with their symbols' icons from the program's
resources (the icon strip and the default waypoint icon), and a hidden
waypoint draws nothing."""
import os
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, VelmoEnv  # noqa: E402

BUILD = os.environ.get('VELMO_BUILD_WIN', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'win'))
EXE = os.path.join(BUILD, 'app', 'velmo.exe')
ARTIFACTS = os.path.join(BUILD, 'e2e-artifacts')
MAP = r'C:\maps\demo.vel'
LAT, LON = 55.14, 37.37  # inside the demo region

# Colours only these icons have (store/res/make_symbols.py): the red square
# (symbol 16), the blue anchor (symbol 0) and the ring of the default icon
# (symbol 18 and every symbol past the strip).
RED_SQUARE, ANCHOR, DEFAULT_RING = '#DC1414', '#145AAA', '#D20A0A'


def waypoints_bin(waypoints):
    """A Waypoints.bin ("WR") of (symbol, show mode, lat, lon, name)."""
    out = bytearray(b'WR' + bytes([2, 40, 4]))
    for symbol, show, lat, lon, name in waypoints:
        x, y = int(round(lon * 2 ** 31 / 180)), int(round(lat * 2 ** 31 / 180))
        out += struct.pack('<IiidffBBBBff', 2, x, y, 0.0, 0.0, 0.0, symbol & 0xFF, show | ((symbol >> 8) & 0x3F) << 2,
                           0, 0, 0.0, 0.0)
        for text in (name, '', '', ''):
            data = text.encode('utf-16-le')
            out += struct.pack('<I', len(data) // 2) + data
    return bytes(out)


def count_colour(png, colour):
    out = subprocess.run(['convert', png, '-fill', 'black', '+opaque', colour, '-fill', 'white', '-opaque', colour,
                          '-format', '%[fx:mean*w*h]', 'info:'], stdout=subprocess.PIPE, check=True).stdout.decode()
    return int(float(out.strip() or 0))


@unittest.skipUnless(os.path.exists(EXE), 'velmo.exe is not built')
class SymbolIconsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.env = VelmoEnv(BUILD, artifacts_dir=ARTIFACTS)
        if not cls.env.demo_map(MAP):
            cls.env.close()
            raise unittest.SkipTest('the native map tools are not built')

    @classmethod
    def tearDownClass(cls):
        cls.env.close()

    def shot(self, name, waypoints):
        self.env.stop_programs()
        self.env.reg_delete_key(SETTINGS_KEY)
        centre = {'MapXc': LON, 'MapYc': LAT}
        for key, value in {'SafetyWarning': 0, 'Language': 1049, 'ScanCOMPorts': 0, 'MapZoom': 8,
                           'ShowMapGauges': 0}.items():
            self.env.reg_add(SETTINGS_KEY, key, value, 'REG_DWORD')
        for key, degrees in centre.items():
            self.env.reg_add(SETTINGS_KEY, key, (int(degrees * (1 << 30) / 180 + 0.5) << 1) & 0xFFFFFFFF, 'REG_DWORD')
        self.env.put_file(r'C:\velmo\Waypoints.bin', waypoints_bin(waypoints))
        self.env.start(MAP)
        self.env.wait_window()
        self.env.ctl('resize', '640', '480')
        # Every test has an anchor shown: the pass is over once it is there.
        path = os.path.join(ARTIFACTS, name)
        self.env.wait_until(lambda: count_colour(self.env.screenshot(name), ANCHOR) > 0, 30, 0.5)
        return path

    def test_waypoints_show_their_symbols_icons(self):
        png = self.shot('symbols.png', [(16, 0, LAT, LON - 0.004, ''), (0, 0, LAT, LON, ''),
                                        (18, 0, LAT, LON + 0.004, ''), (5000, 0, LAT + 0.002, LON, '')])
        self.assertGreaterEqual(count_colour(png, RED_SQUARE), 90)  # the square has 10 x 10 inside
        self.assertGreaterEqual(count_colour(png, ANCHOR), 25)
        # Symbol 18 and a symbol past the strip: two default icons.
        self.assertGreaterEqual(count_colour(png, DEFAULT_RING), 2 * 100)

    def test_hidden_waypoints_draw_no_icon(self):
        png = self.shot('symbols-hidden.png', [(16, 3, LAT, LON, ''), (18, 3, LAT, LON + 0.004, ''),
                                               (0, 0, LAT + 0.002, LON, '')])
        self.assertGreaterEqual(count_colour(png, ANCHOR), 25)
        self.assertEqual(count_colour(png, RED_SQUARE), 0)
        self.assertEqual(count_colour(png, DEFAULT_RING), 0)


if __name__ == '__main__':
    unittest.main()

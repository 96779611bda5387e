"""End-to-end test of the waypoint symbol icons under Wine: waypoints of a
Waypoints.bin are drawn with their symbols' icons from the program's
resources (the icon strip and the default waypoint icon), and a hidden
waypoint draws nothing."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import DemoMapCase, centre_setting, count_colour, waypoint_record, waypoints_file  # noqa: E402

LAT, LON = 55.14, 37.37  # inside the demo region

# Colours only these icons have (render/overlay/res/make_symbols.py): the red square
# (symbol 16), the blue anchor (symbol 0) and the ring of the default icon
# (symbol 18 and every symbol past the strip).
RED_SQUARE, ANCHOR, DEFAULT_RING = '#DC1414', '#145AAA', '#D20A0A'


class SymbolIconsTest(DemoMapCase):
    def shot(self, name, waypoints):
        """The map at the centre with waypoints of (symbol, show mode, lat, lon)."""
        self.fresh_settings(MapZoom=8, ShowMapGauges=0, MapXc=centre_setting(LON), MapYc=centre_setting(LAT))
        records = [waypoint_record('', lat, lon, symbol, show) for symbol, show, lat, lon in waypoints]
        self.env.put_file(r'C:\velmo\Waypoints.bin', waypoints_file(records))
        self.env.start(self.MAP)
        self.env.wait_window()
        self.env.ctl('resize', '640', '480')
        # Every test has an anchor shown: the pass is over once it is there.
        self.env.wait_until(lambda: count_colour(self.env.screenshot(name), ANCHOR) > 0, 30, 0.5)
        return os.path.join(self.env.artifacts, name)

    def test_waypoints_show_their_symbols_icons(self):
        png = self.shot('symbols.png', [(16, 0, LAT, LON - 0.004), (0, 0, LAT, LON),
                                        (18, 0, LAT, LON + 0.004), (5000, 0, LAT + 0.002, LON)])
        self.assertGreaterEqual(count_colour(png, RED_SQUARE), 90)  # the square has 10 x 10 inside
        self.assertGreaterEqual(count_colour(png, ANCHOR), 25)
        # Symbol 18 and a symbol past the strip: two default icons.
        self.assertGreaterEqual(count_colour(png, DEFAULT_RING), 2 * 100)

    def test_hidden_waypoints_draw_no_icon(self):
        png = self.shot('symbols-hidden.png', [(16, 3, LAT, LON), (18, 3, LAT, LON + 0.004),
                                               (0, 0, LAT + 0.002, LON)])
        self.assertGreaterEqual(count_colour(png, ANCHOR), 25)
        self.assertEqual(count_colour(png, RED_SQUARE), 0)
        self.assertEqual(count_colour(png, DEFAULT_RING), 0)


if __name__ == '__main__':
    unittest.main()

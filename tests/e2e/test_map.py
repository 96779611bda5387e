"""End-to-end tests of the map page under Wine: a native map opens and is
drawn, the drawing pass restarts instead of queueing, an unchanged view is
not drawn again, and the view comes back after a restart."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import (SETTINGS_KEY, DemoMapCase, centre_setting, count_colour, golden_difference,  # noqa: E402
                       image_difference, waypoint_record, waypoints_file)

MAP = DemoMapCase.MAP
BIG_MAP = r'C:\maps\monaco.vel'
MONACO = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'shared', 'data', 'osm',
                      'monaco.osm.pbf')
DEBUG = '-all,+debugstr'


def image_difference_crops(a, region, b, dx, dy):
    """Fraction of differing pixels between a region of screenshot a and the
    same region moved by (dx, dy) in screenshot b."""
    x, y, w, h = region
    tmp = b + '.crops'
    os.makedirs(tmp, exist_ok=True)
    ca, cb = os.path.join(tmp, 'a.png'), os.path.join(tmp, 'b.png')
    subprocess.run(['convert', a, '-crop', '%dx%d+%d+%d' % (w, h, x, y), '+repage', ca], check=True)
    subprocess.run(['convert', b, '-crop', '%dx%d+%d+%d' % (w, h, x + dx, y + dy), '+repage', cb], check=True)
    return image_difference(ca, cb)


def distinct_colours(png, crop):
    out = subprocess.run(['convert', png, '-crop', crop, '+repage', '-format', '%k', 'info:'],
                         stdout=subprocess.PIPE, check=True).stdout.decode().strip()
    return int(out or 0)


class MapPageTest(DemoMapCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # A dense real map makes passes long enough to be interrupted.
        cls.have_monaco = os.path.exists(MONACO)
        if cls.have_monaco:
            velc = os.path.join(os.path.dirname(cls.env.demo_map_tools()[1]), 'velc')
            target = cls.env.host_path(BIG_MAP)
            subprocess.run([velc, MONACO, '-o', target], check=True, stdout=subprocess.DEVNULL)

    def setUp(self):
        self.fresh_settings(MapZoom=12)

    def tearDown(self):
        self.env.stop_programs()

    def start_dense_map(self):
        """Monaco at a detailed scale in a large window, so that a pass lasts
        long enough to be interrupted; with the debug output."""
        if not self.have_monaco:
            self.skipTest('the OpenStreetMap extracts are not there')
        self.env.reg_add(SETTINGS_KEY, 'MapZoom', 5, 'REG_DWORD')
        p = self.env.start(BIG_MAP, debug_channels=DEBUG)
        self.env.wait_window()
        self.env.ctl('resize', '1000', '740')
        return p

    def close_orderly(self, p):
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'SafeExit'), 1)

    def test_demo_map_is_drawn_and_the_view_comes_back_after_a_restart(self):
        p = self.env.start(MAP)
        self.env.wait_window()
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'MapFileName'), MAP)
        (l, t, r, b), (cx, cy) = self.env.window_rect()
        shot = self.env.wait_until(lambda: (lambda s: distinct_colours(s, '%dx%d+%d+%d' % (r - cx - 8, 150, cx, cy))
                                            > 8 and s)(self.env.screenshot('demo-map.png')), 20)
        self.assertTrue(shot, 'the map area shows no map')
        self.env.ctl('command', '40002', '40002', '40005')  # zoom out twice, pan
        self.assertEqual(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'MapZoom') == 14 and 14), 14)
        self.close_orderly(p)
        xc, yc = (self.env.reg_query(SETTINGS_KEY, 'MapXc'), self.env.reg_query(SETTINGS_KEY, 'MapYc'))
        # A start without arguments reopens the same map at the same view.
        p = self.env.start()
        self.env.wait_window()
        self.env.screenshot('demo-map-reopened.png')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'MapFileName'), MAP)
        self.close_orderly(p)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'MapZoom'), 14)
        self.assertEqual((self.env.reg_query(SETTINGS_KEY, 'MapXc'), self.env.reg_query(SETTINGS_KEY, 'MapYc')),
                         (xc, yc))

    def test_a_waypoint_saved_at_the_map_centre_is_stored_and_read_back(self):
        cli = os.path.join(os.path.dirname(self.env.demo_map_tools()[0]), '..', 'cli', 'velmo-cli')
        store = os.path.join(self.env.program_dir, 'Waypoints.bin')
        if os.path.exists(store):
            os.remove(store)
        p = self.env.start(MAP)
        self.env.wait_window()
        self.env.ctl('command', '40011')  # "Сохранить пут. точку..."
        self.assertTrue(self.env.wait_dialog(), 'no new-waypoint dialog')
        self.env.screenshot('new-waypoint-dialog.png')
        self.env.ctl('press-dialog', '1')
        self.assertTrue(self.env.wait_until(lambda: os.path.exists(store), 20), 'Waypoints.bin not written')
        self.env.screenshot('waypoint-on-map.png')
        self.close_orderly(p)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'ShowWaypoints'), 1)
        out = subprocess.run([cli, 'import', store], stdout=subprocess.PIPE, check=True).stdout.decode()
        rows = [line.split('\t') for line in out.splitlines() if line.startswith('W\t')]
        self.assertEqual(len(rows), 1, out)
        name, lat, lon = rows[0][1], float(rows[0][2]), float(rows[0][3])
        self.assertEqual(name, '001')
        # The demo region lies around 55° N, 37° E: the map centre is in it.
        self.assertTrue(54.5 < lat < 55.5 and 36.5 < lon < 37.8, (lat, lon))

    def test_zooming_during_a_pass_restarts_it_and_an_unchanged_view_is_not_drawn_again(self):
        p = self.start_dense_map()
        # A burst of zoom commands: each one arrives while the pass started by
        # the one before is running (the pass lets messages in every 20 ms).
        self.env.ctl('command', *(['40002', '40001'] * 6))
        restarted = self.env.wait_until(lambda: 'Re-start drawing...' in self.env.output(p) and True, 30)
        # Pressing and releasing without moving asks for RefreshMap(false)
        # of the view that is already drawn.
        (l, t, r, b), (cx, cy) = self.env.window_rect()
        self.env.xdotool('mousemove', str(cx + 200), str(cy + 200), 'click', '1')
        ignored = self.env.wait_until(lambda: 'RefreshMap(false) is ignored.' in self.env.output(p) and True, 20)
        self.close_orderly(p)
        log = self.env.output(p)
        self.assertTrue(restarted, 'no restarted pass in:\n' + log[-3000:])
        self.assertTrue(ignored, 'unchanged view drawn again:\n' + log[-3000:])


    def test_a_drag_moves_the_map_with_the_pointer_and_the_new_image_follows_when_it_rests(self):
        p = self.env.start(MAP, debug_channels=DEBUG)
        self.env.wait_window()
        self.env.ctl('resize', '640', '520')
        (l, t, r, b), (cx, cy) = self.env.window_rect()
        w, h = self.env.client_size()
        # Well inside the map, away from the north arrow, the scale bar and the GPS icon.
        region = (cx + w // 4, cy + h // 4, w // 2, h // 3)
        crop = '%dx%d+%d+%d' % (region[2], region[3], region[0], region[1])
        before = self.env.wait_until(lambda: (lambda s: distinct_colours(s, crop) > 8 and s)(
            self.env.screenshot('drag-before.png')), 20)
        self.assertTrue(before, 'the map area shows no map')
        xc0 = self.env.reg_query(SETTINGS_KEY, 'MapXc')
        dx, dy = 60, 40
        x0, y0 = cx + w // 2, cy + h // 2
        self.env.xdotool('mousemove', str(x0), str(y0), 'mousedown', '1')
        for i in range(1, 11):
            self.env.xdotool('mousemove', str(x0 + dx * i // 10), str(y0 + dy * i // 10))
        # The pointer rests with the button held: the new pass follows, and it
        # fills the strip at the left that the moved image left uncovered.
        strip = '%dx%d+%d+%d' % (dx - 10, h // 2, cx + 5, cy + h // 4)

        def moved_and_filled():
            shot = self.env.screenshot('drag-after.png')
            moved = image_difference_crops(before, region, shot, dx, dy) < 0.02
            return moved and distinct_colours(shot, strip) > 2 and shot
        after = self.env.wait_until(moved_and_filled, 10)
        self.env.xdotool('mouseup', '1')
        self.assertTrue(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'MapXc') != xc0, 10),
                        'the view did not move')
        self.close_orderly(p)
        log = self.env.output(p)
        self.assertTrue(after, 'the map did not follow the pointer by (%d, %d) with the uncovered strip drawn'
                        % (dx, dy))
        self.assertIn('CMapPage::OnDown ().', log)
        self.assertIn('CMapPage::OnUp ().', log)
        # The pass ran while the pointer rested, so the release finds the view drawn.
        self.assertIn('RefreshMap(false) is ignored.', log.split('CMapPage::OnUp ().')[-1])

    def test_closing_during_a_pass_stops_it_first_and_exits_cleanly(self):
        p = self.start_dense_map()
        self.env.ctl('command', '40002', '40001', '40002', '40001', 'close')
        self.assertEqual(self.env.wait_exit(p), 0)
        log = self.env.output(p)
        self.assertIn('Stop drawing.', log, log[-3000:])
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'SafeExit'), 1)


    def test_a_map_file_removed_while_open_is_reported_on_the_map(self):
        gone = r'C:\maps\gone.vel'
        with open(self.env.host_path(MAP), 'rb') as f:
            self.env.put_file(gone, f.read())
        p = self.env.start(gone)
        self.env.wait_window()
        self.env.ctl('resize', '400', '400')
        (l, t, r, b), (cx, cy) = self.env.window_rect()
        w, h = self.env.client_size()
        crop = '%dx%d+%d+%d' % (w - 100, h - 20, cx, cy + 10)
        self.assertTrue(self.env.wait_until(lambda: distinct_colours(self.env.screenshot('gone-before.png'), crop) > 8,
                                            20), 'the map was not drawn')
        os.remove(self.env.host_path(gone))
        self.env.ctl('command', '40004')  # draw again
        shot = self.env.wait_until(lambda: (lambda s: count_colour(s, '#FF0000', crop) > 200 and s)(
            self.env.screenshot('map-file-removed.png')), 20)
        self.close_orderly(p)
        self.assertTrue(shot, 'no message in place of the map')
        # The whole map area against its reviewed picture: the message in red
        # on the ground, the north arrow, the scale bar and the gauge strip.
        self.assertLess(golden_difference(shot, 'map-file-removed.png', '%dx%d+%d+%d' % (w, h, cx, cy)), 0.01)


    def test_a_fault_while_the_map_is_read_is_reported_on_the_map_and_the_pass_goes_on(self):
        log = self.env.host_path(r'C:\velmo_error_log.txt')
        if os.path.exists(log):
            os.remove(log)
        # An anchor waypoint at the centre: the waypoints are drawn after the map.
        lat, lon, anchor = 55.14, 37.37, '#145AAA'
        self.fresh_settings(MapZoom=8, ShowMapGauges=0, MapXc=centre_setting(lon), MapYc=centre_setting(lat))
        self.env.put_file(r'C:\velmo\Waypoints.bin', waypoints_file([waypoint_record('', lat, lon, 0, 0)]))
        # The test hook makes every guarded reading of the map fault.
        p = self.env.start(MAP, extra_env={'VELMO_TEST_CRASH': 'mappass'})
        self.env.wait_window()
        self.env.ctl('resize', '400', '400')
        shot = self.env.wait_until(lambda: (lambda s: count_colour(s, '#FF0000') > 200 and count_colour(s, anchor) >= 25
                                            and s)(self.env.screenshot('map-reader-fault.png')), 30, 0.5)
        self.assertTrue(shot, 'no failure message with the waypoint drawn after it')
        self.assertEqual(self.env.dialogs(), [], 'a fault in the map pass is no crash of the program')
        with open(log, 'rb') as f:
            entry = f.read()[2:].decode('utf-16-le')
        self.assertIn('Instruction at [0x', entry)
        self.assertIn('\r\nCMapPage::RefreshMap\r\n', entry)
        # The program goes on: it zooms and ends in order.
        self.env.ctl('command', '40001')
        self.assertEqual(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'MapZoom') == 7 and 7), 7)
        self.close_orderly(p)

    def open_map_dialog_filter(self):
        """Opens "Открыть карту..." and gives the text of its file-type box."""
        self.env.ctl('command', '57601')
        self.assertTrue(self.env.wait_until(lambda: [d for d in self.env.dialogs() if d[1] == 'Open'], 30),
                        self.env.describe_screen())
        types = [line.split('\t')[2] for line in self.env.ctl('dialog-controls').splitlines()
                 if line.startswith('1136\t')]  # the file dialog's type box
        return types[0] if types else None

    def test_the_open_map_dialog_starts_on_the_filter_last_used_and_opens_the_chosen_map(self):
        self.fresh_settings(MapZoom=12, MapFormat=1)
        p = self.env.start()
        self.env.wait_window()
        self.assertEqual(self.open_map_dialog_filter(), 'Карта VELMO (*.vel)')
        self.env.ctl('set-dialog-text', '1148', MAP)
        self.env.ctl('press-dialog', '1')
        self.assertEqual(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'MapFileName') == MAP, 30), True)
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'MapFormat'), 1)
        (l, t, r, b), (cx, cy) = self.env.window_rect()
        self.assertTrue(self.env.wait_until(
            lambda: distinct_colours(self.env.screenshot('opened-from-dialog.png'), '%dx%d+%d+%d' % (r - cx - 8, 150, cx, cy))
            > 8, 20), 'the chosen map is not drawn')
        # A stored filter line that no longer exists starts on the first line,
        # and the line used is stored when the dialog is confirmed.
        self.env.reg_add(SETTINGS_KEY, 'MapFormat', 99, 'REG_DWORD')
        self.assertTrue(self.open_map_dialog_filter().startswith('Все форматы'))
        self.env.ctl('set-dialog-text', '1148', MAP)
        self.env.ctl('press-dialog', '1')
        self.assertEqual(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'MapFormat') == 0, 30), True)
        self.close_orderly(p)

    def test_the_collections_dialog_lists_deletes_and_opens_registered_collections(self):
        root = r'HKLM\Software\Velmo\MapCollections'
        self.env.reg_delete_key(root)
        for name, maps in (('north', 3), ('south', 5)):
            key = root + '\\' + name
            self.env.reg_add(key, '', name)
            self.env.reg_add(key, 'Path', 'C:\\atlases\\' + name)
            self.env.reg_add(key, 'Maps', maps, 'REG_DWORD')
        p = self.env.start(MAP)
        self.env.wait_window()
        self.env.ctl('command', '40022')  # "Открыть атлас..."
        self.assertTrue(self.env.wait_dialog(), 'no collections dialog')
        self.env.screenshot('map-collections.png')
        self.assertEqual(self.env.ctl('list-count').strip(), '2')
        # The first row is selected: delete it (it is not the open map, so no question).
        self.env.ctl('press-dialog', '1504')
        self.assertTrue(self.env.wait_until(lambda: self.env.ctl('list-count').strip() == '1' and True, 10))
        remaining = [n for n in ('north', 'south') if self.env.reg_query_default(root + '\\' + n) is not None]
        self.assertEqual(len(remaining), 1, remaining)
        # OK opens the other one; its folder has no index, which is reported,
        # and the map that could not be opened is forgotten.
        self.env.ctl('press-dialog', '1')
        self.assertTrue(self.env.wait_until(
            lambda: 'Index.vidx' in self.env.ctl('dialog-text', check=False) and True, 20), 'no report')
        self.assertIn(remaining[0], self.env.ctl('dialog-text'))
        self.env.ctl('press-dialog', '2')
        self.assertEqual(self.env.wait_until(lambda: self.env.reg_query(SETTINGS_KEY, 'MapFileName') == '' and 'empty'),
                         'empty')
        self.close_orderly(p)


if __name__ == '__main__':
    unittest.main()

"""End-to-end tests of map collections under Wine: a folder of maps is added
in the collections dialog (its index is built), opened from there and drawn,
and opened again from the command line with -D."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase  # noqa: E402

FOLDER = r'C:\atlas'
MEMBER = FOLDER + r'\demo.vel'
ROOT = r'HKLM\Software\Velmo\MapCollections'


def distinct_colours(png, crop):
    out = subprocess.run(['convert', png, '-crop', crop, '+repage', '-format', '%k', 'info:'],
                         stdout=subprocess.PIPE, check=True).stdout.decode().strip()
    return int(out or 0)


class CollectionTest(DemoMapCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not cls.env.demo_map(MEMBER):
            raise unittest.SkipTest('the native map tools are not built')

    def setUp(self):
        self.fresh_settings(MapZoom=12)
        self.env.reg_delete_key(ROOT)
        index = self.env.host_path(FOLDER + r'\Index.vidx')
        if os.path.exists(index):
            os.remove(index)

    def tearDown(self):
        self.env.stop_programs()

    def close_orderly(self, p):
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)

    def map_is_drawn(self, name):
        (l, t, r, b), (cx, cy) = self.env.window_rect()
        crop = '%dx%d+%d+%d' % (r - cx - 8, 150, cx, cy)
        return self.env.wait_until(lambda: distinct_colours(self.env.screenshot(name), crop) > 8, 20)

    def test_a_folder_added_in_the_collections_dialog_is_indexed_opened_and_drawn(self):
        # The map of the folder is open, so the folder chooser starts there.
        p = self.env.start(MEMBER)
        self.env.wait_window()
        self.env.ctl('command', '40022')  # "Открыть атлас..."
        self.assertTrue(self.env.wait_dialog(), 'no collections dialog')
        self.assertEqual(self.env.ctl('list-count').strip(), '0')
        self.env.ctl('press-dialog', '1502')  # "Добавить..."
        # The folder chooser replaces the collections dialog in front.
        self.assertTrue(self.env.wait_until(lambda: 'SysTreeView32' in self.env.ctl('dialog-controls', check=False)
                                            and True, 30), 'no folder chooser')
        self.env.screenshot('collection-folder-chooser.png')
        self.env.ctl('press-dialog', '1')
        # Built and registered: the list shows the new collection with its one map.
        self.assertTrue(self.env.wait_until(lambda: self.env.reg_query(ROOT + r'\atlas', 'Maps') == 1, 60),
                        'the collection was not registered')
        self.assertEqual(self.env.reg_query(ROOT + r'\atlas', 'Path').rstrip('\\'), FOLDER)
        self.assertTrue(os.path.exists(self.env.host_path(FOLDER + r'\Index.vidx')))
        self.assertTrue(self.env.wait_until(lambda: self.env.ctl('list-count', check=False).strip() == '1', 20))
        self.env.screenshot('collection-added.png')
        # Re-indexing builds the index again in place of the old one.
        index = self.env.host_path(FOLDER + r'\Index.vidx')
        os.utime(index, (0, 0))
        self.env.ctl('press-dialog', '1503')  # "Переиндексировать"
        self.assertTrue(self.env.wait_until(lambda: os.stat(index).st_mtime > 0, 30), 'not re-indexed')
        self.assertTrue(self.env.wait_until(lambda: self.env.ctl('list-count', check=False).strip() == '1', 20))
        self.assertEqual(self.env.reg_query(ROOT + r'\atlas', 'Maps'), 1)
        self.env.ctl('press-dialog', '1')  # OK opens the selected collection
        self.assertTrue(self.env.wait_until(
            lambda: self.env.reg_query(SETTINGS_KEY, 'MapIsAtlas') == 1 and True, 30), 'the collection did not open')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'MapFileName').rstrip('\\'), FOLDER)
        self.assertTrue(self.map_is_drawn('collection-open.png'), 'the collection is not drawn')
        self.close_orderly(p)

    def test_minus_d_opens_a_collection_from_the_command_line(self):
        cli = os.path.join(os.path.dirname(self.env.demo_map_tools()[0]), '..', 'cli', 'velmo-cli')
        subprocess.run([cli, 'collection', 'build', self.env.host_path(FOLDER)], check=True,
                       stdout=subprocess.DEVNULL)
        p = self.env.start(MEMBER)
        self.env.wait_window()
        self.close_orderly(p)  # the view is now at the demo region
        p = self.env.start('-D' + FOLDER)
        self.env.wait_window()
        self.assertTrue(self.env.wait_until(
            lambda: self.env.reg_query(SETTINGS_KEY, 'MapIsAtlas') == 1 and True, 30), 'the collection did not open')
        self.assertEqual(self.env.reg_query(SETTINGS_KEY, 'MapFileName'), FOLDER)
        self.assertTrue(self.map_is_drawn('collection-minus-d.png'), 'the collection is not drawn')
        # The About-map page names the collection's format and lists its member.
        self.env.ctl('command', '40037')
        self.assertTrue(self.env.wait_until(lambda: [d for d in self.env.dialogs() if d[1] == 'О карте'], 60),
                        self.env.describe_screen())
        self.env.screenshot('collection-about-map.png')
        text = self.env.ctl('dialog-text')
        self.env.ctl('press-dialog', '1')
        self.assertTrue(self.env.wait_until(lambda: not self.env.dialogs(), 30), self.env.describe_screen())
        for expected in ('Карты атласа (1):', '  demo.vel'):
            self.assertIn(expected, text)
        self.close_orderly(p)


if __name__ == '__main__':
    unittest.main()

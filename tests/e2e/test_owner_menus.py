"""End-to-end: the owner-drawn popup menus of the main window in Russian and
in English, on screen under Wine, against reviewed golden crops (as the
menu bar is checked), and the night mode item with its menu bitmap."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, golden_difference  # noqa: E402


WM_KEYDOWN, WM_SYSCOMMAND, SC_KEYMENU = '0x100', '0x112', '0xF100'
VK_ESCAPE, VK_RIGHT, VK_DOWN = '0x1B', '0x27', '0x28'


class OwnerMenusTest(DemoMapCase):
    def tearDown(self):
        self.env.stop_programs()

    def open_popup(self, index):
        """Opens popup INDEX of the menu bar as the keyboard does (the menu
        key, then Right INDEX times, then Down) and returns its screen
        rectangle."""
        self.env.ctl('post', WM_SYSCOMMAND, SC_KEYMENU)
        for _ in range(index):
            self.env.ctl('post', WM_KEYDOWN, VK_RIGHT)
        self.env.ctl('post', WM_KEYDOWN, VK_DOWN)
        rect = self.env.wait_until(lambda: self.popup_rect(), 10)
        self.assertTrue(rect, 'no popup menu: ' + self.env.describe_screen())
        return rect

    def popup_rect(self):
        out = self.env.ctl('popup-rect', check=False)
        parts = out.split() if out else []
        return tuple(int(x) for x in parts) if len(parts) == 4 else None

    def close_popup(self):
        self.env.ctl('post', WM_KEYDOWN, VK_ESCAPE)
        self.env.ctl('post', WM_KEYDOWN, VK_ESCAPE)
        self.assertTrue(self.env.wait_until(lambda: self.popup_rect() is None, 10))

    def assert_popup(self, index, golden_name):
        l, t, r, b = self.open_popup(index)
        crop = '%dx%d+%d+%d' % (r - l, b - t, l, t)
        shot = self.env.wait_until(lambda: self.env.screenshot(golden_name + '.full.png'), 5)
        self.assertLess(golden_difference(shot, golden_name, crop), 0.01, 'popup differs from ' + golden_name)
        self.close_popup()

    def test_popups_in_russian_and_in_english(self):
        for language, suffix in ((1049, 'ru'), (0x0409, 'en')):
            self.fresh_settings(MapZoom=12, Language=language, NightMode=2)
            p = self.env.start(self.MAP)
            self.env.wait_window()
            # File (with "About map" enabled: a map is open) and View (the
            # night mode bitmap, the key names of zooming).
            self.assert_popup(0, 'menu-file-%s.png' % suffix)
            self.assert_popup(1, 'menu-view-%s.png' % suffix)
            self.env.ctl('close')
            self.assertEqual(self.env.wait_exit(p), 0)


if __name__ == '__main__':
    unittest.main()

"""End-to-end tests under Wine of the About-map page (40037) for the native
demo map and a Garmin IMG map, and of full-screen mode (40051): the window
covers the screen without frame or menu bar, and the map menu's item or
Escape bring the frame, the menu and the old size back."""
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import DemoMapCase  # noqa: E402

CMD_ABOUT_MAP, CMD_FULL_SCREEN = '40037', '40051'
IDOK = '1'
ABOUT_MAP_TEXT = 1790
IMG = os.path.join(os.path.dirname(__file__), '..', '..', '..', 'shared', 'data', 'img', 'monaco-6bit.img')
WM_KEYDOWN, VK_ESCAPE = '0x100', '0x1B'


class AboutMapAndFullScreenTest(DemoMapCase):
    def tearDown(self):
        self.env.stop_programs()

    def start(self, path):
        p = self.env.start(path)
        self.env.wait_window()
        return p

    def close_orderly(self, p):
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)

    def about_map_text(self, shot):
        self.env.ctl('command', CMD_ABOUT_MAP)
        self.assertTrue(self.env.wait_until(lambda: [d for d in self.env.dialogs() if d[1] == 'О карте'], 60),
                        self.env.describe_screen())
        self.env.screenshot(shot)
        text = self.env.ctl('dialog-text')
        self.env.ctl('press-dialog', IDOK)
        self.assertTrue(self.env.wait_until(lambda: not self.env.dialogs(), 30), self.env.describe_screen())
        return text

    def test_about_map_of_the_native_demo_map(self):
        self.fresh_settings(MapZoom=12)
        p = self.start(self.MAP)
        text = self.about_map_text('about-map-native.png')
        for expected in ('Название: demo', 'Права:\n  © OpenStreetMap contributors\n  ODbL 1.0', 'Границы:', "N55°",
                         "E37°", 'Масштабы:', r'Файл: C:\maps\demo.vel',
                         'Формат: Карта VELMO', 'Размер:', 'КБ'):
            self.assertIn(expected, text)
        self.close_orderly(p)

    @unittest.skipUnless(os.path.exists(IMG), 'the IMG sample maps are not there')
    def test_about_map_of_an_img_map(self):
        shutil.copy(IMG, self.env.host_path(r'C:\maps\monaco.img'))
        self.fresh_settings(MapZoom=12)
        p = self.start(r'C:\maps\monaco.img')
        text = self.about_map_text('about-map-img.png')
        for expected in ('Границы:', 'N43°', 'E7°', r'Файл: C:\maps\monaco.img', 'Формат: Карта Garmin',
                         'Размер: 559 КБ'):
            self.assertIn(expected, text)
        self.close_orderly(p)

    def test_full_screen_on_and_off(self):
        self.fresh_settings(MapZoom=12)
        p = self.start(self.MAP)
        before = self.env.window_rect()
        self.env.screenshot('full-screen-before.png')
        self.env.ctl('command', CMD_FULL_SCREEN)
        # The window covers the 1024x768 screen and its client area is all of it.
        self.assertTrue(self.env.wait_until(lambda: self.env.client_size() == (1024, 768), 30),
                        (self.env.window_rect(), self.env.client_size()))
        self.assertEqual(self.env.window_rect()[0], (0, 0, 1024, 768))
        self.env.screenshot('full-screen-on.png')
        # The map menu's item brings the frame back ...
        self.env.ctl('command', CMD_FULL_SCREEN)
        self.assertTrue(self.env.wait_until(lambda: self.env.window_rect() == before, 30),
                        (self.env.window_rect(), before))
        self.env.screenshot('full-screen-off.png')
        # ... and so does Escape.
        self.env.ctl('command', CMD_FULL_SCREEN)
        self.assertTrue(self.env.wait_until(lambda: self.env.client_size() == (1024, 768), 30))
        self.env.ctl('post', WM_KEYDOWN, VK_ESCAPE)
        self.assertTrue(self.env.wait_until(lambda: self.env.window_rect() == before, 30),
                        (self.env.window_rect(), before))
        # Closed while full screen: an orderly exit all the same.
        self.env.ctl('command', CMD_FULL_SCREEN)
        self.assertTrue(self.env.wait_until(lambda: self.env.client_size() == (1024, 768), 30))
        self.close_orderly(p)


if __name__ == '__main__':
    unittest.main()

"""The program on small screens and at high DPI under Wine: at each screen
size a small device has (240x320 and 480x640 portrait, 800x480 landscape)
and at 96 and 192 DPI, the main page, the waypoint list, the waypoint
properties and every page of the options dialog are shown, screenshotted,
and checked through the window API: every visible control lies inside its
window (or, on a page that scrolls, within its scroll range, and in view
once scrolled there), and every window of the program lies on the screen."""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import DemoMapCase, image_difference, waypoint_record, waypoints_file  # noqa: E402

SIZES = ((240, 320), (480, 640), (800, 480))
CMD_WAYPOINTS, CMD_OPTIONS = '40020', '40010'
OPTIONS = 'Настройки'
# A control of each page of the options dialog, in the order of its tabs:
# language, map view, GPS, units, address format, clock, off route,
# routing, avoid, sounds.
OPTION_PAGE_CONTROLS = (1002, 1750, 1760, 1771, 1781, 1786, 1700, 1710, 1720, 1900)
SB_PAGEDOWN = '3'
LIST_PROPERTIES, IDCANCEL = '1401', '2'
WAYPOINTS = waypoints_file([waypoint_record('Alpha', 55.01, 37.01, 0, altitude=120.0, comment='first'),
                            waypoint_record('Bravo', 55.02, 37.05, 5)])


def parse_layout(text, scrolled=None):
    """(screen (w, h, dpi), windows [(class, title, rect, controls)], outside lines);
    the controls beyond a scrolling page's view are added to scrolled."""
    screen, windows, outside = None, [], []
    for line in text.splitlines():
        fields = line.split('\t')
        if line.startswith('screen '):
            screen = tuple(int(v) for v in line.split()[1:])
        elif fields[0] == 'window':
            windows.append((fields[2], fields[3], tuple(int(v) for v in fields[4].split()), int(fields[5])))
        elif fields[0] == 'outside':
            outside.append(line)
        elif fields[0] == 'scrolled' and scrolled is not None:
            scrolled.add(tuple(fields[1:4]))  # id, class and text: statics share an id
    return screen, windows, outside


class SmallScreensTest(DemoMapCase):
    def settled_screenshot(self, name):
        """A screenshot once the screen stops changing (the windows painted)."""
        env = self.env
        previous = env.screenshot(name + '.previous.png')

        def settled():
            nonlocal previous
            shot = env.screenshot(name)
            if image_difference(shot, previous) == 0:
                return shot
            shutil.copy(shot, previous)
            return None
        return env.wait_until(settled, 20, 0.3)

    def pixel(self, png, x, y):
        return subprocess.run(['convert', png, '-format', '%%[hex:p{%d,%d}]' % (x, y), 'info:'],
                              stdout=subprocess.PIPE, check=True).stdout.decode().strip()

    def check_layout(self, name, size, dpi, expect_dialog, scrolled=None):
        """Screenshots the screen and checks the layout of every window of
        the program; returns the windows found."""
        self.settled_screenshot(name + '.png')
        screen, windows, outside = parse_layout(self.env.ctl('layout'), scrolled)
        self.assertEqual(screen, (size[0], size[1], dpi), 'the screen Wine gives the program')
        classes = [w[0] for w in windows]
        self.assertIn('velmo', classes)
        if expect_dialog:
            dialogs = [w for w in windows if w[0] == '#32770' and w[1] == expect_dialog]
            self.assertTrue(dialogs, windows)
            self.assertGreater(dialogs[0][3], 3, 'the dialog has its controls')
        self.assertEqual(outside, [], '%s: controls or windows outside' % name)
        # Button, check box and radio button texts fit their controls. On
        # the smallest screen at 192 DPI (a screen of 120x160 at 96) a long
        # Russian word is wider than a whole page: only there may a word,
        # never a text that a layout could fit, run past its control.
        clips = self.env.ctl('text-clips').splitlines()
        self.assertEqual([c for c in clips if not c.startswith('word\t')], [], '%s: texts cut off' % name)
        if size != SIZES[0] or dpi != 192:
            self.assertEqual(clips, [], '%s: words wider than the window' % name)
        return windows

    def run_screens(self, dpi):
        env = self.env
        env.set_dpi(dpi)
        for size in SIZES:
            with self.subTest(size=size, dpi=dpi):
                env.restart_display('%dx%dx24' % size)
                self.fresh_settings(MapZoom=12)
                env.put_file(r'C:\velmo\Waypoints.bin', WAYPOINTS)
                tag = '%dx%d-%d' % (size[0], size[1], dpi)
                env.start(self.MAP)
                env.wait_window()
                # The window as the program places it lies on the screen.
                self.check_layout('screens-start-' + tag, size, dpi, None)
                # A small screen's user gives the program the whole screen.
                env.ctl('move', '0', '0', str(size[0]), str(size[1]))
                w, h = env.client_size()
                self.assertGreater(w, size[0] * 9 // 10)
                # (At 192 DPI on the smallest screen the menu bar takes three rows.)
                self.assertGreater(h, size[1] // 3)
                # The page has painted its new size (the far corner of the
                # client area is not the black of the bare screen).
                _, (cx, cy) = env.window_rect()
                self.assertTrue(env.wait_until(lambda: self.pixel(env.screenshot('screens-corner.png'), cx + w - 3,
                                                                  cy + h - 3) != '000000', 30))
                self.check_layout('screens-main-' + tag, size, dpi, None)
                env.ctl('command', CMD_WAYPOINTS)
                self.wait_title('Путевые точки')
                self.assertEqual(env.wait_until(lambda: env.ctl('list-count').strip() == '2', 20), True)
                self.check_layout('screens-waypoints-' + tag, size, dpi, 'Путевые точки')
                env.ctl('press-dialog', LIST_PROPERTIES)
                self.wait_title('Свойства путевой точки')
                self.check_layout('screens-properties-' + tag, size, dpi, 'Свойства путевой точки')
                env.ctl('press-dialog', IDCANCEL)
                self.wait_title('Путевые точки')
                env.ctl('press-dialog', IDCANCEL)
                self.wait_gone('Путевые точки')
                self.check_options(size, dpi, tag)
                env.stop_programs()

    def page_shown(self, control):
        """Whether the top dialog shows the control; while the sheet changes
        pages there can be a moment with no top dialog to ask."""
        try:
            return control in self.controls()
        except RuntimeError:
            return False

    def check_options(self, size, dpi, tag):
        """Every page of the options dialog: on the screen, its controls in
        the sheet, those of a page too tall for it reached by scrolling."""
        env = self.env
        env.ctl('command', CMD_OPTIONS)
        self.wait_title(OPTIONS)
        for page, control in enumerate(OPTION_PAGE_CONTROLS):
            env.ctl('sheet-page', str(page))
            self.assertTrue(env.wait_until(lambda: self.page_shown(control), 20), 'options page %d' % page)
            name = 'screens-options%d-%s' % (page, tag)
            scrolled = set()
            self.check_layout(name, size, dpi, OPTIONS, scrolled)
            # A page that scrolls: page by page to its end, each control
            # beyond the view at the start comes into it on the way.
            unseen, step, position = set(scrolled), 0, 0
            while scrolled and step < 30:
                step += 1
                moved = int(env.ctl('page-scroll', SB_PAGEDOWN).strip())
                if moved == position:
                    break  # at the end
                self.assertGreater(moved, position, name)
                position = moved
                scrolled.clear()
                self.check_layout('%s-down%d' % (name, step), size, dpi, OPTIONS, scrolled)
                unseen &= scrolled
            self.assertEqual(unseen, set(), '%s: never in view while scrolling down the page' % name)
        env.ctl('press-dialog', IDCANCEL)
        self.wait_gone(OPTIONS)

    def test_96_dpi(self):
        self.run_screens(96)

    def test_192_dpi(self):
        self.run_screens(192)


if __name__ == '__main__':
    unittest.main()

"""scripts/check-layers on small trees: what it lets through and what it reports."""
import os
import subprocess
import sys
import tempfile
import unittest

TOP = os.environ.get('VELMO_SOURCE_DIR') or os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
SCRIPT = os.path.join(TOP, 'scripts', 'check-layers')


def run(root):
    p = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
    return p.returncode, p.stdout


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, rel, text):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w') as f:
            f.write(text)

    def test_includes_downwards_and_outside_the_layers_pass(self):
        self.write('gps/Positioning.cpp', '#include "gps/GpsFix.h"\n#include "platform/File.h"\n'
                   '#include "settings/Settings.h"\n#include <vector>\n#include "Local.h"\n')
        self.write('exchange/TrackFile.h', '#include "gps/GpsFix.h"\n#include "store/Waypoint.h"\n')
        self.write('render/overlay/StoreDraw.cpp', '#include "render/MapPage.h"\n#include "store/Waypoint.h"\n')
        self.write('map/vel/VelParser.cpp', '#include "map/MapParser.h"\n#include "view/MapUnits.h"\n')
        self.write('app/Main.cpp', '#include "render/overlay/MapEdit.h"\n#include "exchange/TrackFile.h"\n')
        # The tools and the tests stand on top and are not checked.
        self.write('tests/gps/X.cpp', '#include "app/Shell.h"\n')
        self.write('tools/cli/X.cpp', '#include "tests/gps/GpsTestUtil.h"\n')
        code, out = run(self.root)
        self.assertEqual(code, 0, out)

    def test_each_include_upwards_is_listed_with_its_line(self):
        self.write('gps/Positioning.cpp', '#include "gps/GpsFix.h"\n// #include "app/Shell.h"\n'
                   '  #  include "exchange/TrackFile.h"\n')
        self.write('store/detail/X.h', '\n\n#include "render/overlay/StoreDraw.h"\n')
        self.write('render/MapPage.cpp', '#include "render/overlay/MapEdit.h"\n')
        self.write('settings/Settings.cpp', '#include "res/Res.h"\n')
        self.write('platform/win32/File.cpp', '#include "app/Shell.h"\n')
        code, out = run(self.root)
        self.assertEqual(code, 1)
        lines = out.splitlines()
        self.assertIn('gps/Positioning.cpp:3: gps/ includes exchange/, a layer above it', lines)
        self.assertIn('store/detail/X.h:3: store/ includes render/overlay/, a layer above it', lines)
        self.assertIn('render/MapPage.cpp:1: render/ includes render/overlay/, a layer above it', lines)
        self.assertIn('settings/Settings.cpp:1: settings/ includes res/, a layer above it', lines)
        self.assertIn('platform/win32/File.cpp:1: platform/ includes app/, a layer above it', lines)
        # The commented-out include is not one.
        self.assertEqual(sum(1 for l in lines if 'a layer above it' in l), 5, out)

    def test_a_message_shown_below_the_shell_is_listed(self):
        self.write('gps/Tracking.cpp', 'void F() {\n  // ShowResMessage(u"x") is the old way\n'
                   '  ShowResMessage(sz);\n}\n')
        self.write('render/overlay/X.cpp', '  ::MessageBoxW(nullptr, L"x", L"y", 0);\n')
        self.write('map/vel/X.cpp', '  SetResMessageHook(Print);\n')
        self.write('res/Res.cpp', 'void ShowResMessage(const char16_t* pszText) {}\n')
        self.write('app/Dialogs.cpp', '  ::MessageBoxW(g_hWnd, psz, L"VELMO", 0);\n  ShowResMessage(psz);\n')
        self.write('tools/cli/X.cpp', '  SetResMessageHook(Print);\n')
        code, out = run(self.root)
        self.assertEqual(code, 1, out)
        lines = [l for l in out.splitlines() if 'below the shell:' in l]
        self.assertEqual(sorted(l.split(':')[0] + ':' + l.split(':')[1] for l in lines),
                         ['gps/Tracking.cpp:3', 'map/vel/X.cpp:1', 'render/overlay/X.cpp:1'], out)

    def test_the_tree_itself_follows_the_order(self):
        code, out = run(TOP)
        self.assertEqual(code, 0, out)


if __name__ == '__main__':
    unittest.main()

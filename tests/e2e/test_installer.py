"""The Windows installer under Wine: a silent install into Program Files,
the installed program started from there, the uninstall entry and the file
associations, and a silent uninstall that takes the program away and leaves
the user's own files."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, VelmoEnv  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, '..', '..'))
BUILD = os.environ.get('VELMO_BUILD_WIN', os.path.join(TOP, 'build', 'win'))
EXE = os.path.join(BUILD, 'app', 'velmo.exe')
ARTIFACTS = os.path.join(BUILD, 'e2e-artifacts')
UNINSTALL_KEY = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMO'
INSTALL_DIR = 'C:\\Program Files\\VELMO'
PROGRAM_FILES = ['velmo.exe', '0409.rll', 'day.skin', 'night.skin', 'demo.vel', 'uninstall.exe']


def installer_path():
    """The installer the build made, or one made now from the builds."""
    given = os.environ.get('VELMO_INSTALLER')
    if given:
        return given
    built = os.path.join(os.path.dirname(os.path.abspath(BUILD)), 'installer', 'velmo-setup.exe')
    # The build makes its installer before test_guide.py has taken the
    # guide's pictures: one older than the program or a picture is made anew.
    images = os.path.join(BUILD, 'guide', 'images')
    newest = os.path.getmtime(EXE)
    if os.path.isdir(images):
        newest = max([newest] + [os.path.getmtime(os.path.join(images, n)) for n in os.listdir(images)])
    if os.path.exists(built) and os.path.getmtime(built) >= newest:
        return built
    out = tempfile.mkdtemp(prefix='velmo-installer-')
    subprocess.run([os.path.join(TOP, 'scripts', 'make-installer'), out], check=True, timeout=600,
                   stdout=subprocess.DEVNULL)
    return os.path.join(out, 'velmo-setup.exe')


def unique_colours(png, crop):
    out = subprocess.run(['convert', png, '-crop', crop, '+repage', '-format', '%k', 'info:'],
                         stdout=subprocess.PIPE, check=True, timeout=60).stdout.decode().strip()
    return int(out)


@unittest.skipUnless(os.path.exists(EXE), 'velmo.exe is not built')
class InstallerTest(unittest.TestCase):
    """One install, run and uninstall, in order (the tests are numbered)."""

    @classmethod
    def setUpClass(cls):
        cls.setup_exe = installer_path()
        cls.env = VelmoEnv(BUILD, artifacts_dir=ARTIFACTS)
        # Wine hands each Start-menu shortcut to its menu builder, which
        # sometimes holds up the next program started in the prefix; the
        # shortcut files themselves are what is checked here.
        cls.env.env['WINEDLLOVERRIDES'] += ';winemenubuilder.exe=d'
        cls.env.reg_add(SETTINGS_KEY, 'SafetyWarning', 0, 'REG_DWORD')
        r = subprocess.run(['wine', cls.setup_exe, '/S'], env=cls.env.env, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=300)
        cls.env.wineserver_wait()
        cls.install_status = r.returncode
        cls.install_dir = cls.env.host_path(INSTALL_DIR)

    @classmethod
    def tearDownClass(cls):
        cls.env.close()

    def start_menu(self):
        return self.env.host_path('C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\VELMO')

    def test_1_installs_into_program_files(self):
        self.assertEqual(self.install_status, 0)
        for name in PROGRAM_FILES:
            self.assertTrue(os.path.isfile(os.path.join(self.install_dir, name)), name)
        with open(os.path.join(self.install_dir, 'velmo.exe'), 'rb') as a, open(EXE, 'rb') as b:
            self.assertEqual(a.read(), b.read(), 'the installed program is the one built')
        links = os.listdir(self.start_menu())
        self.assertIn('VELMO.lnk', links)
        self.assertTrue(any(n.startswith('VELMO - ') for n in links), links)
        # The user's guide (made by make-installer with cmark) in the language
        # of the installer: Russian on a Russian system, else English.
        guides = [n for n in links if n in ('Руководство VELMO.lnk', "VELMO user's guide.lnk")]
        self.assertEqual(len(guides), 1, links)
        for name in ('guide.html', 'guide.en.html'):
            with open(os.path.join(self.install_dir, 'guide', name), encoding='utf-8') as f:
                page = f.read()
            self.assertIn('<h1>', page)
            # Its pictures are there when test_guide.py made them before the installer.
            for picture in set(re.findall(r'<img src="(images/[^"]+)"', page)):
                if os.path.isdir(os.path.join(BUILD, 'guide', 'images')):
                    self.assertTrue(os.path.isfile(os.path.join(self.install_dir, 'guide', picture)), picture)
        self.assertEqual(len(links), 4, links)  # the program, the demo region, the guide, the uninstaller

    def test_2_registers_uninstall_entry_and_associations(self):
        env = self.env
        self.assertEqual(env.reg_query(UNINSTALL_KEY, 'DisplayName'), 'VELMO')
        self.assertEqual(env.reg_query(UNINSTALL_KEY, 'UninstallString'), '"%s\\uninstall.exe"' % INSTALL_DIR)
        self.assertEqual(env.reg_query(UNINSTALL_KEY, 'QuietUninstallString'),
                         '"%s\\uninstall.exe" /S' % INSTALL_DIR)
        self.assertEqual(env.reg_query(UNINSTALL_KEY, 'InstallLocation'), INSTALL_DIR)
        self.assertRegex(env.reg_query(UNINSTALL_KEY, 'DisplayVersion') or '', r'^\d+\.\d+')
        self.assertEqual(env.reg_query_default(r'HKCR\.vel'), 'velfile')
        command = env.reg_query_default(r'HKCR\velfile\Shell\Open with VELMO\Command')
        self.assertEqual(command, '"%s\\velmo.exe" %%1' % INSTALL_DIR)
        self.assertEqual(env.reg_query(SETTINGS_KEY, 'MapFileName'), INSTALL_DIR + '\\demo.vel')

    def test_3_installed_program_runs_on_the_demo_region(self):
        env = self.env
        env.program_dir = self.install_dir
        p = env.start()
        try:
            env.wait_window()
            # The first start opens the demo region the installer chose: the
            # page (the client area below the menu) fills with the map's colours.
            (_, _, _, _), (cx, cy) = env.window_rect()
            w, h = env.client_size()
            crop = '%dx%d+%d+%d' % (w, h // 2, cx, cy)
            shot = env.wait_until(lambda: (lambda s: unique_colours(s, crop) > 40 and s)(
                env.screenshot('installed-program.png')), 60)
            self.assertTrue(shot, env.describe_screen())
            # The program's own association refresh agrees with the installer's.
            self.assertEqual(env.reg_query_default(r'HKCR\velfile\Shell\Open with VELMO\Command'),
                             '"%s\\velmo.exe" %%1' % INSTALL_DIR)
            env.ctl('close')
            self.assertEqual(env.wait_exit(p), 0)
        finally:
            env.stop_programs()

    def test_4_uninstall_removes_the_program_and_keeps_user_data(self):
        env = self.env
        # What the user made and added meanwhile: the store, a track, a map
        # of their own in a folder of theirs, a document.
        user_files = [os.path.join(self.install_dir, 'Waypoints.bin'),
                      os.path.join(self.install_dir, 'Track-2026-12-08.plt'),
                      os.path.join(self.install_dir, 'Maps', 'region.vel'),
                      env.host_path('C:\\users\\%s\\Documents\\Route.mps' % os.environ.get('USER', 'root'))]
        for path in user_files:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'wb') as f:
                f.write(b'user data ' + os.path.basename(path).encode())
        env.reg_add(SETTINGS_KEY, 'MapZoom', 9, 'REG_DWORD')
        r = subprocess.run(['wine', os.path.join(self.install_dir, 'uninstall.exe'), '/S'], env=env.env,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        self.assertEqual(r.returncode, 0)
        # The uninstaller runs on from a copy of itself; wait for it to end.
        env.wineserver_wait()
        for name in PROGRAM_FILES:
            self.assertFalse(os.path.exists(os.path.join(self.install_dir, name)), name)
        self.assertFalse(os.path.exists(self.start_menu()))
        for path in user_files:
            with open(path, 'rb') as f:
                self.assertEqual(f.read(), b'user data ' + os.path.basename(path).encode(), path)
        self.assertIsNone(env.reg_query(UNINSTALL_KEY, 'DisplayName'))
        self.assertIsNone(env.reg_query_default(r'HKCR\velfile\Shell\Open with VELMO\Command'))
        self.assertIsNone(env.reg_query_default(r'HKCR\.vel'))
        # Settings are the user's: kept, except the choice of the removed demo map.
        self.assertEqual(env.reg_query(SETTINGS_KEY, 'MapZoom'), 9)
        self.assertIsNone(env.reg_query(SETTINGS_KEY, 'MapFileName'))


if __name__ == '__main__':
    unittest.main()

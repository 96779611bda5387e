"""End-to-end tests of the program's spine under Wine: single instance,
hand-over, restart, orderly and abnormal exits, languages, crash report."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, VelmoEnv, golden_difference  # noqa: E402

BUILD = os.environ.get('VELMO_BUILD_WIN', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'win'))
EXE = os.path.join(BUILD, 'app', 'velmo.exe')
ARTIFACTS = os.path.join(BUILD, 'e2e-artifacts')

MAIN_SETTINGS = {'SafetyWarning': 0, 'Language': 1049}


def patched_version(rll_bytes):
    """The English module with another version text in string 100."""
    old = '1.1.28.15 mek'.encode('utf-16-le')
    new = '9.9.99.99 mek'.encode('utf-16-le')
    assert old in rll_bytes
    return rll_bytes.replace(old, new)


@unittest.skipUnless(os.path.exists(EXE), 'velmo.exe is not built')
class ShellTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.env = VelmoEnv(BUILD, artifacts_dir=ARTIFACTS)

    @classmethod
    def tearDownClass(cls):
        cls.env.close()

    def setUp(self):
        self.env.stop_programs()
        self.env.reg_delete_key(SETTINGS_KEY)
        for name, value in MAIN_SETTINGS.items():
            self.env.reg_add(SETTINGS_KEY, name, value, 'REG_DWORD')
        self.env.install()

    def tearDown(self):
        self.env.stop_programs()

    def start_and_wait(self, *args, **kw):
        p = self.env.start(*args, **kw)
        self.env.wait_window()
        return p

    def close_orderly(self, p):
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)

    def assert_menu_bar(self, golden_name):
        """The menu bar on screen matches its reviewed golden image."""
        shot = self.env.wait_until(lambda: self.env.menu_bar_image(golden_name), 10)
        self.assertLess(golden_difference(shot, golden_name), 0.01, 'menu bar differs from ' + golden_name)

    def setting(self, name):
        return self.env.reg_query(SETTINGS_KEY, name)

    # --- single instance ------------------------------------------------------
    def test_second_start_without_arguments_leaves_one_instance(self):
        first = self.start_and_wait()
        second = self.env.start()
        self.assertEqual(self.env.wait_exit(second), 0)
        self.assertEqual(self.env.window_count(), 1)
        self.assertIsNone(first.poll())
        self.close_orderly(first)

    def test_second_start_with_a_path_hands_it_to_the_first(self):
        if not self.env.demo_map(r'C:\maps\Москва.vel'):
            self.skipTest('the native map tools are not built')
        first = self.start_and_wait()
        path = r'C:\maps\Москва.vel'
        second = self.env.start(path)
        self.assertEqual(self.env.wait_exit(second), 0)
        self.assertEqual(self.env.window_count(), 1)
        self.assertEqual(self.env.wait_until(lambda: self.setting('MapFileName') == path and path), path)
        self.assertEqual(self.setting('MapIsAtlas'), 0)
        self.close_orderly(first)

    def test_restart_flag_always_makes_a_new_instance(self):
        first = self.start_and_wait()
        second = self.env.start('/Start')
        # The first instance is still running, so the second one finds the
        # last run not ended in order and asks first.
        self.assertTrue(self.env.wait_dialog())
        self.env.ctl('press-dialog', '1')
        self.assertEqual(self.env.wait_until(lambda: self.env.window_count() == 2 and 2), 2)
        self.assertIsNone(first.poll())
        self.assertIsNone(second.poll())

    def test_collection_prefix_is_removed(self):
        p = self.start_and_wait(r'-DC:\atlas')
        # The folder, without the prefix, is opened as a collection through its
        # index; there is none in that folder: the user is told, and the map
        # that could not be opened is forgotten.
        self.assertTrue(self.env.wait_dialog())
        self.assertIn(r"'C:\atlas\Index.vidx'", self.env.ctl('dialog-text'))
        self.env.ctl('press-dialog', '2')
        self.assertEqual(self.env.wait_until(lambda: self.setting('MapFileName') == '' and 'empty'), 'empty')
        self.close_orderly(p)

    def test_a_map_that_cannot_be_opened_is_reported_and_forgotten(self):
        self.env.put_file(r'C:\maps\broken.vel', b'not a map at all' * 64)
        p = self.start_and_wait(r'C:\maps\broken.vel')
        self.assertTrue(self.env.wait_dialog())
        self.env.ctl('press-dialog', '2')
        self.assertEqual(self.env.wait_until(lambda: self.setting('MapFileName') == '' and 'empty'), 'empty')
        self.close_orderly(p)

    # --- exits ----------------------------------------------------------------
    def test_orderly_close_leaves_safe_exit_set(self):
        p = self.start_and_wait()
        self.assertEqual(self.setting('SafeExit'), 0)  # false while running
        self.close_orderly(p)
        self.assertEqual(self.setting('SafeExit'), 1)

    def test_killed_process_leaves_safe_exit_clear_and_next_start_asks_first(self):
        p = self.start_and_wait()
        self.env.kill(p)
        self.assertEqual(self.setting('SafeExit'), 0)
        self.env.reg_add(SETTINGS_KEY, 'MapZoom', 5, 'REG_DWORD')
        again = self.env.start()
        dialogs = self.env.wait_dialog()
        self.assertTrue(dialogs, 'the abnormal-exit dialog did not show')
        self.assertEqual(self.env.window_count(), 0, 'the dialog comes before the main window')
        self.env.screenshot('abnormal-exit-dialog.png')
        text = self.env.ctl('dialog-text')
        self.assertIn('некорректно', text)
        # Reset all settings: every value goes, the key stays.
        self.env.ctl('press-dialog', '1001')
        self.env.wait_window()
        self.assertIsNone(self.setting('MapZoom'))
        self.close_orderly(again)
        self.assertEqual(self.setting('SafeExit'), 1)

    def test_continue_after_abnormal_exit_keeps_the_settings(self):
        self.env.reg_add(SETTINGS_KEY, 'SafeExit', 0, 'REG_DWORD')
        self.env.reg_add(SETTINGS_KEY, 'MapZoom', 5, 'REG_DWORD')
        p = self.env.start()
        self.assertTrue(self.env.wait_dialog())
        self.env.ctl('press-dialog', '1')  # IDOK: continue
        self.env.wait_window()
        self.assertEqual(self.setting('MapZoom'), 5)
        self.close_orderly(p)

    # --- languages --------------------------------------------------------------
    def test_english_module_gives_english_menus(self):
        self.env.reg_add(SETTINGS_KEY, 'Language', 0x0409, 'REG_DWORD')
        p = self.start_and_wait()
        self.assert_menu_bar('menubar-en.png')
        self.env.screenshot('english-menus.png')
        self.close_orderly(p)

    def test_russian_is_the_programs_own_and_loads_no_module(self):
        # A module of another version would warn if it were loaded.
        rll = os.path.join(self.env.program_dir, '0409.rll')
        with open(rll, 'rb') as f:
            data = f.read()
        with open(rll, 'wb') as f:
            f.write(patched_version(data))
        self.env.reg_add(SETTINGS_KEY, 'Language', 1049, 'REG_DWORD')
        p = self.start_and_wait()
        self.assertEqual(self.env.dialogs(), [])
        self.assert_menu_bar('menubar-ru.png')
        self.env.screenshot('russian-menus.png')
        self.close_orderly(p)

    def test_module_of_another_version_warns_and_is_used(self):
        rll = os.path.join(self.env.program_dir, '0409.rll')
        with open(rll, 'rb') as f:
            data = f.read()
        with open(rll, 'wb') as f:
            f.write(patched_version(data))
        self.env.reg_add(SETTINGS_KEY, 'Language', 0x0409, 'REG_DWORD')
        p = self.env.start()
        self.assertTrue(self.env.wait_dialog())
        self.assertIn('incorrect version', self.env.ctl('dialog-text'))
        self.env.ctl('press-dialog', '2')  # IDCANCEL / close the message box
        self.env.wait_window()
        self.assert_menu_bar('menubar-en.png')
        self.close_orderly(p)

    # --- crash report -----------------------------------------------------------
    def test_fault_in_window_procedure_is_logged_and_ends_with_code_3(self):
        log = self.env.host_path(r'C:\velmo_error_log.txt')
        if os.path.exists(log):
            os.remove(log)
        p = self.env.start(extra_env={'VELMO_TEST_CRASH': 'wndproc'})
        self.assertTrue(self.env.wait_dialog(), 'no crash report shown')
        text = self.env.ctl('dialog-text')
        self.assertIn('Программный сбой', text)
        self.assertIn('invalid address', text)
        self.env.ctl('press-dialog', '2')
        self.assertEqual(self.env.wait_exit(p), 3)
        with open(log, 'rb') as f:
            data = f.read()
        self.assertEqual(data[:2], b'\xff\xfe')
        entry = data[2:].decode('utf-16-le')
        self.assertTrue(entry.startswith('-----------------------\r\nInstruction at [0x'))
        self.assertIn('\r\n_WndProc_ShowException\r\n** ', entry)
        self.assertEqual(self.setting('SafeExit'), 0)
        # A second report is appended after the first, with no second mark.
        self.env.reg_add(SETTINGS_KEY, 'SafeExit', 1, 'REG_DWORD')
        p = self.env.start(extra_env={'VELMO_TEST_CRASH': 'wndproc'})
        self.assertTrue(self.env.wait_dialog())
        self.env.ctl('press-dialog', '2')
        self.env.wait_exit(p)
        with open(log, 'rb') as f:
            data2 = f.read()
        self.assertTrue(data2.startswith(data))
        self.assertEqual(data2.count(b'\xff\xfe'), 1)
        self.assertEqual(data2[2:].decode('utf-16-le').count('_WndProc_ShowException'), 2)

    def test_file_associations_are_registered(self):
        # Another program's icon for .gdb files is left alone.
        self.env.reg_add(r'HKCR\GarminGpsDatabase\DefaultIcon', '', r'"C:\other\mapper.exe",3')
        self.env.reg_add(r'HKCR\.wpt', '', 'OziExplorer.WaypointsFile')
        p = self.start_and_wait()
        self.assertEqual(self.env.reg_query_default(r'HKCR\.vel'), 'velfile')
        self.assertEqual(self.env.reg_query_default(r'HKCR\.img'), 'imgfile')
        self.assertEqual(self.env.reg_query_default(r'HKCR\velfile\Shell\Open with VELMO\Command'),
                         r'"C:\velmo\velmo.exe" %1')
        self.assertEqual(self.env.reg_query_default(r'HKCR\velfile\DefaultIcon'), r'"C:\velmo\velmo.exe",0')
        self.assertEqual(self.env.reg_query_default(r'HKCR\MapSource.Document\DefaultIcon'),
                         r'"C:\velmo\velmo.exe",1')
        self.assertEqual(self.env.reg_query_default(r'HKCR\GarminGpsDatabase\DefaultIcon'), r'"C:\other\mapper.exe",3')
        self.assertIsNone(self.env.reg_query_default(r'HKCR\MapSource.Document\Shell'))
        self.assertEqual(self.env.reg_query_default(r'HKCR\GarminGpsDatabase'), 'Garmin GPS Database')
        self.assertEqual(self.env.reg_query_default(r'HKCR\.gpx'), 'GpsExchangeFormat')
        self.assertEqual(self.env.reg_query_default(r'HKCR\GpsExchangeFormat\DefaultIcon'), r'"C:\velmo\velmo.exe",1')
        self.close_orderly(p)


if __name__ == '__main__':
    unittest.main()

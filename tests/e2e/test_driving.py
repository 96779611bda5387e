"""End-to-end: what a driver meets on the road, under Wine on the demo region.

- Night colours come by themselves: fixes from a receiver on a COM port
  whose times cross sunset and sunrise turn the map dark and light again
  (checked by the pixels), and a stored night mode shows from the start.
- Nothing freezes: "GPS off" while the map draws a long track and while a
  port never answers, and the exit with such a port, return within 3 s.
- A tracks folder that cannot be written is told once, and fixes go on.
- Without a sound device the demo drive talks silently: at most one box.
- A map file another program holds gives message 2002 with the system's reason.
"""
import os
import shutil
import struct
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from velmo_e2e import SETTINGS_KEY, DemoMapCase, centre_setting  # noqa: E402

NATIVE = os.environ.get('VELMO_BUILD_NATIVE', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'native'))
CLI = os.path.join(NATIVE, 'tools', 'cli', 'velmo-cli')
DEMOTRACK = os.path.join(os.path.dirname(__file__), '..', '..', 'tools', 'demotrack', 'demotrack.py')

CMD_ZOOM_IN, CMD_GPS = '40001', '40052'
SOUND_STATE = 1903  # the sounds page's line on the device
PORT, DEAD_PORT = 5, 6
# Greenwich on the equator: the sun rises near 06:00 UT and sets near 18:00 UT
# every day of the year.
LON, LAT = 0.01, 0.01


def nmea(body):
    x = 0
    for c in body.encode('ascii'):
        x ^= c
    return ('$%s*%02X\r\n' % (body, x)).encode('ascii')


def degrees_text(value, width):
    d = int(abs(value))
    return '%0*d%07.4f' % (width, d, (abs(value) - d) * 60)


class Receiver(threading.Thread):
    """A 3D receiver standing at (LON, LAT): one RMC, GGA and GSA a second.
    `day_offset` and `hour` say which UTC time the fixes carry (today's date
    plus the offset); the seconds run on from the start."""

    def __init__(self, path, hour=12, lon=LON, lat=LAT):
        super().__init__(daemon=True)
        self.path = path
        self.hour = hour
        self.day_offset = 0
        self.lon, self.lat = lon, lat
        self.stop = threading.Event()
        self.sent = 0

    def run(self):
        fd = os.open(self.path, os.O_WRONLY | os.O_NOCTTY)
        try:
            while not self.stop.is_set():
                t = time.gmtime(time.time() + self.day_offset * 86400)
                hms = '%02d%02d%02d.00' % (self.hour, (self.sent // 60) % 60, self.sent % 60)
                dmy = '%02d%02d%02d' % (t.tm_mday, t.tm_mon, t.tm_year % 100)
                lat, lon = degrees_text(self.lat, 2), degrees_text(self.lon, 3)
                ns, ew = 'N' if self.lat >= 0 else 'S', 'E' if self.lon >= 0 else 'W'
                os.write(fd, nmea('GPRMC,%s,A,%s,%s,%s,%s,000.0,000.0,%s,,' % (hms, lat, ns, lon, ew, dmy)) +
                         nmea('GPGGA,%s,%s,%s,%s,%s,1,08,0.9,10.0,M,17.0,M,,' % (hms, lat, ns, lon, ew)) +
                         nmea('GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.5,0.9,1.2'))
                self.sent += 1
                self.stop.wait(1.0)
        finally:
            os.close(fd)


def track_log(lon, lat, count=10000):
    """A full Tracks.bin: a zigzag of `count` positions around (lon, lat)."""
    k = 2 ** 31 / 180
    entries = []
    for i in range(count):
        x = lon + ((i % 200) - 100) * 0.0002
        y = lat + ((i // 200) - 25) * 0.0004 + (i % 2) * 0.0001
        entries.append(struct.pack('<iI', int(round(x * k)), int(round(y * k)) & 0x7FFFFFFF))
    return struct.pack('<II', 0, 1) + b''.join(entries)


class DrivingTest(DemoMapCase):
    def ports(self, *open_ports):
        return {'Enable_COM%d' % n: int(n in open_ports) for n in range(20)}

    def documents_folders(self):
        users = os.path.join(self.env.prefix, 'drive_c', 'users')
        return [os.path.join(users, u, 'Documents') for u in os.listdir(users)
                if os.path.isdir(os.path.join(users, u, 'Documents'))]

    def clear_tracks_folders(self):
        for docs in self.documents_folders():
            path = os.path.join(docs, 'GPS Tracks and Waypoints')
            if os.path.isdir(path):
                shutil.rmtree(path)
            elif os.path.exists(path):
                os.remove(path)

    def map_brightness(self, name):
        """The mean grey level (0 black .. 1 white) of the middle of the map."""
        (l, t, r, b), (cx, cy) = self.env.window_rect()
        w, h = self.env.client_size()
        shot = self.env.screenshot(name)
        crop = '%dx%d+%d+%d' % (w // 2, h // 3, cx + w // 4, cy + h // 6)
        out = subprocess.run(['convert', shot, '-crop', crop, '+repage', '-colorspace', 'Gray', '-format',
                              '%[fx:mean]', 'info:'], stdout=subprocess.PIPE, check=True, timeout=60).stdout
        return float(out.decode().strip())

    def wait_brightness(self, dark, what, seconds=45):
        last = []

        def ok():
            v = self.map_brightness('night-%s.png' % what.replace(' ', '-'))
            last.append(v)
            return v < 0.3 if dark else v > 0.7
        self.assertTrue(self.env.wait_until(ok, seconds, interval=1.0), '%s: grey levels %s' % (what, last[-5:]))

    def test_night_colours_follow_the_sun_and_the_stored_mode(self):
        centre = {'MapXc': centre_setting(LON), 'MapYc': centre_setting(LAT), 'MapZoom': 12, 'ShowMapGauges': 0}
        # A stored night mode shows from the first drawing on, without a fix.
        self.fresh_settings(NightMode=2, **centre)
        p = self.start()
        self.wait_brightness(True, 'stored night mode')
        self.close_orderly(p)
        # Automatic mode, a receiver on a COM port: noon, after sunset, after sunrise.
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        receiver = Receiver(b, hour=12)
        receiver.start()
        try:
            self.fresh_settings(NightMode=3, ScanCOMPorts=1, FixupClock=0, RecordTrack=0, **centre,
                                **self.ports(PORT))
            p = self.start()
            self.wait_brightness(False, 'noon')
            receiver.hour = 21
            self.wait_brightness(True, 'after sunset')
            receiver.hour, receiver.day_offset = 8, 1
            self.wait_brightness(False, 'after sunrise')
            self.assertEqual(self.setting('NightMode'), 3)
            self.close_orderly(p)
        finally:
            receiver.stop.set()
            receiver.join(5)

    def test_gps_off_and_exit_return_while_a_port_never_answers(self):
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        # A port that never answers: a pipe nobody writes to.
        fifo = os.path.join(self.env.root, 'dead-port')
        if not os.path.exists(fifo):
            os.mkfifo(fifo)
        self.env.map_com_port(DEAD_PORT, fifo)
        self.clear_tracks_folders()
        for docs in self.documents_folders():
            os.makedirs(os.path.join(docs, 'GPS Tracks and Waypoints'))
            with open(os.path.join(docs, 'GPS Tracks and Waypoints', 'Tracks.bin'), 'wb') as f:
                f.write(track_log(LON, LAT))
        receiver = Receiver(b, hour=12)
        receiver.start()
        try:
            self.fresh_settings(ScanCOMPorts=1, RecordTrack=1, FixupClock=0, LogCOMPorts=1, MapZoom=14,
                                MapXc=centre_setting(LON),
                                MapYc=centre_setting(LAT), **self.ports(PORT, DEAD_PORT))
            # The first port thread stops answering once its port is open, as a
            # driver that never returns from a read.
            p = self.env.start(self.MAP, extra_env={'VELMO_TEST_HANG': 'port'})
            self.env.wait_window()
            self.assertTrue(self.env.wait_until(lambda: self.env.ctl('ping', '3000', check=False) != '', 30))
            time.sleep(3)  # fixes flow into the track the map draws
            # A redraw of the long track, and "GPS off" in the middle of it.
            self.env.ctl('command', CMD_ZOOM_IN, CMD_GPS)
            r = self.env.run_ctl('ping', '3000')
            self.assertEqual(r.returncode, 0, 'the window froze after "GPS off": ' + self.env.describe_screen())
            waited = int(r.stdout.decode().split()[0])
            sys.stderr.write('\n  the window answered %d ms after "GPS off" was handled\n' % waited)
            self.assertLessEqual(waited, 3000)
            self.assertTrue(self.env.wait_until(lambda: self.setting('ScanCOMPorts') == 0, 10))
            # The program goes on: GPS on again, the map answers, then the exit.
            self.env.ctl('command', CMD_GPS, CMD_ZOOM_IN)
            self.assertEqual(self.env.run_ctl('ping', '3000').returncode, 0, self.env.describe_screen())
            time.sleep(2)
            self.env.ctl('close')
            start = time.monotonic()
            code = self.env.wait_exit(p, 30)
            spent = time.monotonic() - start
            sys.stderr.write('  the exit took %.2f s\n' % spent)
            self.assertEqual(code, 0)
            self.assertLess(spent, 3.0, 'the exit took %.1f s' % spent)
        finally:
            receiver.stop.set()
            receiver.join(5)
        self.assertEqual(self.setting('SafeExit'), 1)
        log = self.env.host_path(r'C:\gps_log.txt')
        if os.path.exists(log):
            shutil.copy(log, os.path.join(self.env.artifacts, 'dead-port-gps-log.txt'))

    def test_an_unwritable_tracks_folder_is_told_once_and_fixes_go_on(self):
        a, b = self.env.pty_pair()
        self.env.map_com_port(PORT, a)
        self.clear_tracks_folders()
        # A file where the folder should be: no track file nor track log can be made.
        for docs in self.documents_folders():
            with open(os.path.join(docs, 'GPS Tracks and Waypoints'), 'wb') as f:
                f.write(b'not a folder')
        log = self.env.host_path(r'C:\gps_log.txt')
        if os.path.exists(log):
            os.remove(log)
        receiver = Receiver(b, hour=12)
        receiver.start()
        try:
            self.fresh_settings(ScanCOMPorts=1, RecordTrack=1, FixupClock=0, LogCOMPorts=1, **self.ports(PORT))
            p = self.start()
            self.assertTrue(self.env.wait_dialog(60), 'no message: ' + self.env.describe_screen())
            text = self.env.ctl('dialog-text')
            self.assertIn('GPS Tracks and Waypoints', text)
            self.assertNotIn('cannot create the file', text)
            self.env.screenshot('tracks-folder-message.png')
            # Fixes keep arriving while the message is up, and no second one comes.
            size = os.path.getsize(log) if os.path.exists(log) else 0
            self.assertTrue(self.env.wait_until(lambda: os.path.exists(log) and os.path.getsize(log) > size + 200, 30),
                            'no more data from the receiver')
            time.sleep(5)
            self.assertEqual(len(self.env.dialogs()), 1, self.env.describe_screen())
            self.env.ctl('press-dialog', '1')
            sent = receiver.sent
            self.assertTrue(self.env.wait_until(lambda: receiver.sent >= sent + 6, 20))
            self.assertEqual(self.env.dialogs(), [], 'a message per fix: ' + self.env.describe_screen())
            self.assertEqual(self.env.run_ctl('ping', '3000').returncode, 0)
            self.close_orderly(p)
        finally:
            receiver.stop.set()
            receiver.join(5)
            self.clear_tracks_folders()

    def test_no_sound_device_demo_drive_talks_silently(self):
        demogen = os.path.join(NATIVE, 'tools', 'demogen', 'demogen')
        wav = os.path.join(self.BUILD, 'app', 'wav')
        if not (os.path.exists(demogen) and os.path.isdir(wav)):
            self.skipTest('the native tools or the wave files are not built')
        osm = os.path.join(self.env.root, 'drive.osm')
        gpx = os.path.join(self.env.root, 'drive.gpx')
        gdb = os.path.join(self.env.program_dir, 'Demo.gdb')
        subprocess.run([demogen, '-o', osm], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([sys.executable, DEMOTRACK, osm, gpx], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(['gpsbabel', '-t', '-i', 'gpx', '-f', gpx, '-o', 'gdb,ver=3', '-F', gdb], check=True)
        target = os.path.join(self.env.program_dir, 'wav')
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(wav, target)
        # ALSA without a card: the default device is a card that is not there.
        home = os.path.join(self.env.root, 'no-sound-home')
        os.makedirs(home, exist_ok=True)
        with open(os.path.join(home, '.asoundrc'), 'w') as f:
            f.write('pcm.!default { type hw; card 7 }\nctl.!default { type hw; card 7 }\n')
        try:
            self.fresh_settings(ScanCOMPorts=1, RecordTrack=0, FixupClock=0, OptionsPage=8)
            p = self.env.start(self.MAP, extra_env={'HOME': home})
            self.env.wait_window()
            seen = 0
            end = time.monotonic() + 60
            while time.monotonic() < end:
                # GPS off and on again: every change of the position is a phrase.
                self.env.ctl('command', CMD_GPS, CMD_GPS)
                seen = max(seen, len(self.env.dialogs()))
                self.assertLessEqual(seen, 1, 'a box per phrase: ' + self.env.describe_screen())
                time.sleep(3)
            if seen:
                text = self.env.ctl('dialog-text')
                self.assertNotIn('waveOut', text)
                self.env.screenshot('no-sound-device.png')
                self.env.ctl('press-dialog', '1')
            self.assertEqual(self.env.dialogs(), [])
            if seen:
                # The sounds page says why nothing is heard.
                self.env.ctl('command', '40010')
                self.wait_title('Настройки')
                self.wait_control(SOUND_STATE, lambda v: 'Звук недоступен' in v[1], 'the sounds page is silent on it')
                self.env.ctl('press-dialog', '2')
                self.wait_gone('Настройки')
            # The window takes alt+F4 and closes in order.
            self.env.xdotool('search', '--onlyvisible', '--classname', 'velmo.exe', 'windowfocus', '--sync',
                             'key', '--clearmodifiers', 'alt+F4')
            self.assertEqual(self.env.wait_exit(p, 30), 0)
        finally:
            os.remove(gdb)
            shutil.rmtree(target, ignore_errors=True)
        self.assertEqual(self.setting('SafeExit'), 1)

    def test_a_locked_map_file_is_told_with_the_systems_reason(self):
        locked = r'C:\maps\locked.vel'
        shutil.copy(self.env.host_path(self.MAP), self.env.host_path(locked))
        self.fresh_settings()  # (stops every program of the prefix: before the holder starts)
        holder = subprocess.Popen(['wine', os.path.join(self.env.root, 'velmo_ctl.exe'), 'lock-file', locked, '60'],
                                  env=self.env.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(5)
            self.assertIsNone(holder.poll(), 'the file could not be locked')
            p = self.env.start(locked)
            self.env.wait_window()
            self.assertTrue(self.env.wait_dialog(60), 'no message: ' + self.env.describe_screen())
            text = self.env.ctl('dialog-text')
            self.assertIn('Не удается прочитать данные из файла', text)
            self.assertIn('locked.vel', text)
            self.assertNotIn('No such file', text)
            reason = text.rsplit('(', 1)[-1]
            self.assertTrue(any(w in reason.lower() for w in ('sharing', 'another process', 'used by')), text)
            self.env.screenshot('locked-map-message.png')
            self.env.ctl('press-dialog', '1')
            self.close_orderly(p)
        finally:
            holder.kill()
            holder.wait(30)


if __name__ == '__main__':
    unittest.main()

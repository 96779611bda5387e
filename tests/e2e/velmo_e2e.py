"""End-to-end harness: runs the real velmo.exe under Wine on its own X
server, in a fresh Wine prefix, and gives tests the means to drive and
inspect it.

    env = VelmoEnv(build_dir)          # fresh prefix + Xvfb, program installed
    p = env.start()                    # velmo.exe with arguments
    env.wait_window()                  # until the main window shows
    env.ctl('command', '40127')        # drive it through velmo_ctl.exe
    env.screenshot('out.png')
    env.reg_query(r'HKCU\\Software\\Velmo\\GisVelmo', 'SafeExit')
    env.close()                        # stops only what it started

Everything the environment starts is stopped by close(): the program, the
wineserver of its prefix, Xvfb and any socat pty pairs.
"""
import glob
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import unittest

SETTINGS_KEY = r'HKCU\Software\Velmo\GisVelmo'


class VelmoEnv:
    def __init__(self, build_dir, artifacts_dir=None, display_size='1024x768x24'):
        self.build_dir = os.path.abspath(build_dir)
        self.root = tempfile.mkdtemp(prefix='velmo-e2e-')
        self.prefix = os.path.join(self.root, 'prefix')
        self.artifacts = artifacts_dir or os.path.join(self.root, 'artifacts')
        os.makedirs(self.artifacts, exist_ok=True)
        self.procs = []
        self.socats = []
        self.xvfb = None
        self.display = None
        self._start_xvfb(display_size)
        self.env = dict(os.environ)
        self.env.update({
            'WINEPREFIX': self.prefix,
            'WINEDEBUG': '-all',
            'WINEDLLOVERRIDES': 'mscoree,mshtml=',
            'DISPLAY': self.display,
            # Arguments and file names pass through the host's encoding.
            'LANG': 'C.UTF-8',
            'LC_ALL': 'C.UTF-8',
        })
        self.env.pop('VELMO_TEST_CRASH', None)
        subprocess.run(['wineboot', '-i'], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=180)
        self.wineserver_wait()
        self._isolate_user_folders()
        self.program_dir = os.path.join(self.prefix, 'drive_c', 'velmo')
        os.makedirs(self.program_dir, exist_ok=True)
        self.install()

    # --- set-up -----------------------------------------------------------
    def _start_xvfb(self, size):
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(w), '-screen', '0', size, '-nolisten', 'tcp'],
                                     pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            num = f.readline().strip()
        if not num:
            raise RuntimeError('Xvfb did not start')
        self.display = ':' + num

    def restart_display(self, size):
        """Stops the programs and the X server and starts a new server with a
        screen of the given size ('WxHxD'); programs started afterwards see it."""
        self.stop_programs()
        if self.xvfb:
            self.xvfb.send_signal(signal.SIGTERM)
            self.xvfb.wait(timeout=10)
            self.xvfb = None
        self._start_xvfb(size)
        self.env['DISPLAY'] = self.display

    def set_dpi(self, dpi):
        """The screen's logical DPI as Wine reports it (LOGPIXELSX/Y), for
        programs started afterwards."""
        self.reg_add(r'HKCU\Control Panel\Desktop', 'LogPixels', dpi, 'REG_DWORD')
        self.reg_add(r'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts', 'LogPixels',
                     dpi, 'REG_DWORD')
        self.stop_programs()
        self.wineserver_wait()

    def _isolate_user_folders(self):
        """Wine links the user's Documents, Desktop ... to the host's home;
        make them real folders of the prefix so nothing leaves it."""
        for user_dir in glob.glob(os.path.join(self.prefix, 'drive_c', 'users', '*')):
            for name in os.listdir(user_dir):
                path = os.path.join(user_dir, name)
                if os.path.islink(path):
                    os.remove(path)
                    os.makedirs(path)

    def install(self, with_english=True):
        """Copies the program (and the English module) into C:\\velmo."""
        shutil.copy(os.path.join(self.build_dir, 'app', 'velmo.exe'), self.program_dir)
        for skin in ('day.skin', 'night.skin'):
            shutil.copy(os.path.join(self.build_dir, 'app', skin), self.program_dir)
        rll = os.path.join(self.build_dir, 'app', '0409.rll')
        target = os.path.join(self.program_dir, '0409.rll')
        if with_english and os.path.exists(rll):
            shutil.copy(rll, target)
        elif os.path.exists(target):
            os.remove(target)
        shutil.copy(os.path.join(self.build_dir, 'tests', 'e2e', 'velmo_ctl.exe'), self.root)

    @staticmethod
    def demo_map_tools():
        """Paths of demogen and velc of the native build."""
        native = os.environ.get('VELMO_BUILD_NATIVE',
                                os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'build', 'native'))
        return (os.path.join(native, 'tools', 'demogen', 'demogen'), os.path.join(native, 'tools', 'velc', 'velc'))

    def demo_map(self, windows_path, size=1):
        """Compiles the demo region (demogen + velc of the native build) to a
        C:\\ path of the prefix; False when the tools are not built."""
        demogen, velc = self.demo_map_tools()
        if not (os.path.exists(demogen) and os.path.exists(velc)):
            return False
        target = self.host_path(windows_path)
        if not os.path.exists(target):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            osm = os.path.join(self.root, 'demo-%d.osm' % size)
            subprocess.run([demogen, '--size', str(size), '-o', osm], check=True, stdout=subprocess.DEVNULL)
            subprocess.run([velc, osm, '-o', target], check=True, stdout=subprocess.DEVNULL)
        return True

    def put_file(self, windows_path, data):
        """Writes bytes to a C:\\ path inside the prefix."""
        path = self.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
        return path

    def host_path(self, windows_path):
        assert windows_path[1:3] == ':\\', windows_path
        rel = windows_path[3:].replace('\\', '/')
        return os.path.join(self.prefix, 'drive_c', rel)

    # --- the program --------------------------------------------------------
    def start(self, *args, extra_env=None, debug_channels=None):
        env = dict(self.env)
        if extra_env:
            env.update(extra_env)
        if debug_channels:
            env['WINEDEBUG'] = debug_channels
        # Named after this environment: test files run side by side share the artifacts folder.
        log = open(os.path.join(self.artifacts, '%s-%d.log' % (os.path.basename(self.root), len(self.procs))), 'w+b')
        p = subprocess.Popen(['wine', os.path.join(self.program_dir, 'velmo.exe'), *args], env=env,
                             stdout=log, stderr=subprocess.STDOUT, cwd=self.program_dir)
        p.log = log
        self.procs.append(p)
        return p

    def output(self, p):
        p.log.flush()
        p.log.seek(0)
        return p.log.read().decode('utf-8', 'replace')

    # Queries that change nothing and may be asked again when Wine itself
    # failed to run the tool (a busy wineserver on a loaded machine).
    _QUERIES = {'count', 'dialogs', 'client-size', 'window-rect', 'reg-get'}
    # Commands that fail only when they find no dialog (or list) to act on,
    # having done nothing: asked again, as a loaded Wine once answered one
    # with no dialog a moment after the same dialog had been listed.
    _FIND_FIRST = {'press-dialog', 'list-count', 'list-text', 'list-checks', 'list-selected',
                   'dialog-text', 'dialog-controls', 'listview-text'}

    def run_ctl(self, *args, timeout=60):
        """Runs velmo_ctl.exe once: a CompletedProcess with its output.

        The output goes through files, not pipes: when the prefix's server is
        not running, the tool's wine starts it together with the prefix's
        service processes, which inherit the tool's output handles and live
        as long as the program does; a pipe would then not reach its end
        until they exit, and reading it would hang past the tool's own end."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            r = subprocess.run(['wine', os.path.join(self.root, 'velmo_ctl.exe'), *args], env=self.env,
                               stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(r.args, r.returncode, out.read(), err.read())

    def ctl(self, *args, timeout=60, check=True):
        again = bool(args) and (args[0] in self._QUERIES or args[0] in self._FIND_FIRST)
        for attempt in range(3):
            r = self.run_ctl(*args, timeout=timeout)
            if r.returncode == 0 or not check:
                break
            # The tool says so when it fails; a failure without its word is
            # Wine's, which did not run it (seen on a loaded machine: exit 1
            # and no output), and nothing was done: run it again.
            ran = b'velmo_ctl: exit' in r.stderr
            if attempt == 2 or (ran and not again):
                break
            time.sleep(0.5)
        if check and r.returncode != 0:
            raise RuntimeError('velmo_ctl %s failed (%d): %s' % (' '.join(args), r.returncode,
                                                                  r.stderr.decode('utf-8', 'replace')[-2000:]))
        return r.stdout.decode('utf-8', 'replace').replace('\r', '')

    def window_rect(self):
        """(left, top, right, bottom) of the main window and the screen
        position of its client area's top left corner."""
        v = [int(x) for x in self.ctl('window-rect').split()]
        return tuple(v[:4]), (v[4], v[5])

    def client_size(self):
        """(width, height) of the main window's client area."""
        return tuple(int(x) for x in self.ctl('client-size').split())

    def menu_bar_image(self, name):
        """A crop of the screen holding the main window's menu bar."""
        (l, t, r, b), (cx, cy) = self.window_rect()
        full = self.screenshot(name + '.full.png')
        path = os.path.join(self.artifacts, name)
        subprocess.run(['convert', full, '-crop', '%dx%d+%d+%d' % (r - l, cy - t, l, t), '+repage', path],
                       check=True, timeout=60)
        return path

    def wait_window(self, seconds=60):
        return self.ctl('wait-window', str(seconds), timeout=seconds + 30).strip()

    def window_count(self):
        return int(self.ctl('count').strip())

    def wait_until(self, predicate, seconds=30, interval=0.2):
        end = time.time() + seconds
        while time.time() < end:
            value = predicate()
            if value:
                return value
            time.sleep(interval)
        return predicate()

    def dialogs(self):
        out = self.ctl('dialogs').strip()
        return [line.split('\t') for line in out.splitlines() if line]

    def describe_screen(self):
        """What a failed wait reports: the visible dialogs, or why they
        could not be listed, and the last lines of each program's output."""
        r = self.run_ctl('dialogs')
        text = 'dialogs (exit %d): %r' % (r.returncode, r.stdout.decode('utf-8', 'replace'))
        if r.returncode:
            text += '; stderr: ' + r.stderr.decode('utf-8', 'replace')[-1000:]
        for p in self.procs:
            if getattr(p, 'log', None):
                text += '\nprogram %s (exit %r), output tail:\n%s' % (p.pid, p.poll(), self.output(p)[-1500:])
        return text

    def port_report(self, lines=15):
        """What a test tells when the program stops taking a receiver's
        sentences: the last lines of the GPS log (LogCOMPorts) and of the
        error log, and the state of each of the program's threads as the
        host sees it (a thread blocked in the system shows its wait)."""
        text = ''
        for name in (r'C:\gps_log.txt', r'C:\velmo_error_log.txt'):
            path = self.host_path(name)
            if os.path.exists(path):
                with open(path, 'rb') as f:
                    tail = f.read().decode('utf-16-le', 'replace').lstrip('\ufeff').splitlines()[-lines:]
                text += '\n%s, last lines:\n%s' % (name, '\n'.join(line[:300] for line in tail))
        for pid in subprocess.run(['pgrep', '-f', r'velmo\.exe'], stdout=subprocess.PIPE).stdout.decode().split():
            try:  # this prefix's program, not that of a test running beside
                with open('/proc/%s/environ' % pid, 'rb') as f:
                    if ('WINEPREFIX=%s' % self.prefix).encode() not in f.read().split(b'\0'):
                        continue
            except OSError:
                continue
            threads = []
            for tid in sorted(os.listdir('/proc/%s/task' % pid), key=int) if os.path.isdir('/proc/%s' % pid) else []:
                try:
                    with open('/proc/%s/task/%s/stat' % (pid, tid)) as f:
                        stat = f.read().rsplit(')', 1)[1].split()
                    with open('/proc/%s/task/%s/wchan' % (pid, tid)) as f:
                        wchan = f.read().strip()
                    with open('/proc/%s/task/%s/comm' % (pid, tid)) as f:
                        comm = f.read().strip()
                except OSError:
                    continue
                threads.append('%s %s %s %s cpu %s' % (tid, comm, stat[0], wchan or '-', int(stat[11]) + int(stat[12])))
            text += '\nvelmo.exe %s threads (id, name, state, wait, cpu ticks):\n%s' % (pid, '\n'.join(threads))
        return text

    def wait_dialog(self, seconds=30):
        return self.wait_until(self.dialogs, seconds)

    def kill(self, p):
        """Ends the program abruptly (as a crash or power loss would)."""
        subprocess.run(['wine', 'taskkill', '/F', '/IM', 'velmo.exe'], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        try:
            p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()

    def wait_exit(self, p, seconds=60):
        return p.wait(timeout=seconds)

    # --- screen -------------------------------------------------------------
    def screenshot(self, name):
        path = os.path.join(self.artifacts, name)
        subprocess.run(['import', '-display', self.display, '-window', 'root', path], check=True, timeout=60)
        return path

    def xdotool(self, *args):
        env = dict(self.env)
        return subprocess.run(['xdotool', *args], env=env, stdout=subprocess.PIPE, timeout=60).stdout.decode()

    # --- registry -------------------------------------------------------------
    def reg_query(self, key, value):
        """A value as int (REG_DWORD) or str (REG_SZ); None when absent.
        Read through the Win32 API, so any text comes back intact."""
        # Exit 2 says the value is absent; any other failure is the tool not
        # getting its answer (a wine start on a loaded machine), tried again.
        for attempt in range(4):
            r = self.run_ctl('reg-get', key, value)
            if r.returncode in (0, 2):
                break
            time.sleep(0.5)
        else:
            raise RuntimeError('velmo_ctl reg-get %s %s failed (%d): %s' % (
                key, value, r.returncode, r.stderr.decode('utf-8', 'replace')[-2000:]))
        out = r.stdout.decode('utf-8', 'replace').replace('\r', '').rstrip('\n')
        if r.returncode == 2 or '\t' not in out:
            return None
        kind, data = out.split('\t', 1)
        return int(data) if kind == 'REG_DWORD' else data

    def reg_query_default(self, key):
        """The default value of a key (None when the key or value is missing)."""
        return self.reg_query(key, '')

    def reg_add(self, key, value, data, kind='REG_SZ'):
        if kind == 'REG_SZ':
            self.ctl('reg-set-sz', key, value, str(data))
            return
        args = ['wine', 'reg', 'add', key, '/v', value, '/t', kind, '/d', str(data), '/f']
        # Wine's reg tool now and then exits with 1 while the prefix's server
        # is still starting after the previous program: a second try, after
        # the server has settled, writes the value. On a loaded machine the
        # server can stay in that state (every try of a test class failed
        # once): from the third try on it is ended and started afresh.
        done = False
        for attempt in range(5):
            done = subprocess.run(args, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=60).returncode == 0
            if done or attempt == 4:
                break
            if attempt >= 1:
                subprocess.run(['wineserver', '-k'], env=self.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
                self.wineserver_wait()
            time.sleep(1 + attempt)
        if not done:
            raise subprocess.CalledProcessError(1, args)

    def reg_delete_key(self, key):
        subprocess.run(['wine', 'reg', 'delete', key, '/f'], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    # --- serial ports -----------------------------------------------------------
    def pty_pair(self):
        """A connected pair of ptys; returns (program side, test side)."""
        a = os.path.join(self.root, 'pty-a-%d' % len(self.socats))
        b = os.path.join(self.root, 'pty-b-%d' % len(self.socats))
        p = subprocess.Popen(['socat', '-d', 'pty,raw,echo=0,link=' + a, 'pty,raw,echo=0,link=' + b],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.socats.append(p)
        self.wait_until(lambda: os.path.exists(a) and os.path.exists(b), 10)
        return a, b

    def map_com_port(self, number, pty_path):
        """Maps COMn of the prefix to a host pty (takes effect for programs
        started afterwards)."""
        self.reg_add(r'HKLM\Software\Wine\Ports', 'COM%d' % number, os.path.realpath(pty_path))
        subprocess.run(['wineserver', '-k'], env=self.env, timeout=60)
        self.wineserver_wait()

    # --- tear-down ------------------------------------------------------------
    def wineserver_wait(self):
        subprocess.run(['wineserver', '-w'], env=self.env, timeout=120)

    def stop_programs(self):
        subprocess.run(['wineserver', '-k'], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        for p in self.procs:
            try:
                p.wait(timeout=20)
            except subprocess.TimeoutExpired:
                p.kill()
            p.log.close()
        self.procs = []

    def close(self, keep=False):
        self.stop_programs()
        for p in self.socats:
            p.terminate()
            p.wait(timeout=10)
        self.socats = []
        if self.xvfb:
            self.xvfb.send_signal(signal.SIGTERM)
            self.xvfb.wait(timeout=10)
            self.xvfb = None
        if not keep:
            shutil.rmtree(self.prefix, ignore_errors=True)


class PortReceiver(threading.Thread):
    """A receiver on the test end of a pty, there from the program's start
    as a real one would be: it says "no fix" once a second until `drive` is
    set, then writes `fixes` (NMEA sentences, text or bytes), one every `interval`
    seconds. Writes never block: a program that stops reading its port
    makes the receiver give up after `give_up` seconds without room
    (`stalled`), not hang; `stop` ends it at once."""
    NO_FIX = b'$GPRMC,,V,,,,,,,,,,N*53\r\n'

    def __init__(self, path, fixes, interval, give_up=240):
        super().__init__(daemon=True)
        self.path, self.fixes, self.interval, self.give_up = path, fixes, interval, give_up
        self.drive, self.stop = threading.Event(), threading.Event()
        self.written = 0
        self.stalled = False

    def put(self, fd, data):
        give_up = time.monotonic() + self.give_up
        while data and not self.stop.is_set():
            try:
                data = data[os.write(fd, data):]
            except BlockingIOError:
                if time.monotonic() > give_up:
                    self.stalled = True
                    return False
                time.sleep(0.05)
        return not data

    def run(self):
        fd = os.open(self.path, os.O_WRONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            while not self.drive.wait(1.0):
                if self.stop.is_set() or not self.put(fd, self.NO_FIX):
                    return
            due = time.monotonic()
            for fix in self.fixes:
                data = fix.encode('ascii') if isinstance(fix, str) else fix
                if self.stop.is_set() or not self.put(fd, data):
                    return
                self.written += 1
                due += self.interval
                self.stop.wait(max(0.0, due - time.monotonic()))
        finally:
            os.close(fd)


def image_difference(a, b):
    """Fraction of differing pixels between two images (ImageMagick AE with a
    small fuzz), for golden screenshots."""
    r = subprocess.run(['compare', '-metric', 'AE', '-fuzz', '8%', a, b, 'null:'], stderr=subprocess.PIPE,
                       stdout=subprocess.DEVNULL)
    text = r.stderr.decode().strip()
    m = re.match(r'([0-9.e+]+)', text)
    if not m:
        return 1.0
    w, h = [int(x) for x in subprocess.run(['identify', '-format', '%w %h', a], stdout=subprocess.PIPE)
            .stdout.decode().split()]
    return float(m.group(1)) / float(w * h)


GOLDEN_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'golden')


def golden_difference(png, name, crop=None):
    """Fraction of pixels of a screenshot (or a crop 'WxH+X+Y' of it) that
    differ from the reviewed golden image tests/e2e/golden/NAME; 1.0 when
    there is no golden. VELMO_UPDATE_GOLDEN=1 stores the picture as the new
    golden (look at it before committing)."""
    shot = png
    if crop:
        shot = png + '.' + name
        subprocess.run(['convert', png, '-crop', crop, '+repage', shot], check=True, timeout=60)
    golden = os.path.join(GOLDEN_DIR, name)
    if os.environ.get('VELMO_UPDATE_GOLDEN'):
        shutil.copy(shot, golden)
    if not os.path.exists(golden):
        return 1.0
    return image_difference(shot, golden)


def count_colour(png, colour, crop=None):
    """Pixels of one colour (e.g. '#808080') in a screenshot, or in a crop
    ('WxH+X+Y') of it."""
    args = ['convert', png] + (['-crop', crop, '+repage'] if crop else [])
    out = subprocess.run(args + ['-fill', 'black', '+opaque', colour, '-fill', 'white', '-opaque', colour,
                                 '-format', '%[fx:mean*w*h]', 'info:'], stdout=subprocess.PIPE,
                         check=True).stdout.decode().strip()
    return int(float(out or 0))


def centre_setting(degrees):
    """A view centre coordinate as the settings keep it ("MapXc", "MapYc"):
    twice the map unit, as an unsigned 32-bit value."""
    return (int(degrees * (1 << 30) / 180 + 0.5) << 1) & 0xFFFFFFFF


def store_text(text):
    return struct.pack('<I', len(text)) + text.encode('utf-16-le')


def waypoint_record(name, lat, lon, symbol=18, show=1, altitude=None, comment='', time=0.0):
    """One waypoint of a Waypoints.bin: the 40-byte record and its four texts."""
    k = 2 ** 31 / 180
    flags = 0 if altitude is not None else 2
    rec = struct.pack('<IiidffBBBBff', flags, int(round(lon * k)), int(round(lat * k)), time, altitude or 0.0, 0.0,
                      symbol & 0xFF, show | ((symbol >> 8) & 0x3F) << 2, 0, 0, 0.0, 0.0)
    return rec + store_text(name) + store_text(comment) + store_text('') + store_text('')


def waypoints_file(records):
    """A Waypoints.bin of waypoints only ("WR")."""
    return b'WR' + bytes([2, 40, 4]) + b''.join(records)


class DemoMapCase(unittest.TestCase):
    """Tests of velmo.exe on the demo region, one Wine prefix per class; the
    Windows build is VELMO_BUILD_WIN (build/win by default)."""
    MAP = r'C:\maps\demo.vel'
    BUILD = os.environ.get('VELMO_BUILD_WIN', os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'win'))

    @classmethod
    def setUpClass(cls):
        if not os.path.exists(os.path.join(cls.BUILD, 'app', 'velmo.exe')):
            raise unittest.SkipTest('velmo.exe is not built')
        cls.env = VelmoEnv(cls.BUILD, artifacts_dir=os.path.join(cls.BUILD, 'e2e-artifacts'))
        if not cls.env.demo_map(cls.MAP):
            cls.env.close()
            raise unittest.SkipTest('the native map tools are not built')

    @classmethod
    def tearDownClass(cls):
        cls.env.close()

    def fresh_settings(self, **dwords):
        """Stops the program and starts the settings over: no safety warning,
        Russian, no port scan, and the given DWORD values."""
        self.env.stop_programs()
        self.env.reg_delete_key(SETTINGS_KEY)
        values = {'SafetyWarning': 0, 'Language': 1049, 'ScanCOMPorts': 0}
        values.update(dwords)
        for name, value in values.items():
            self.env.reg_add(SETTINGS_KEY, name, value, 'REG_DWORD')

    # --- driving the program on the demo region -----------------------------------
    def tearDown(self):
        self.env.stop_programs()

    def start(self):
        """The program on the demo region, once its window shows."""
        p = self.env.start(self.MAP)
        self.env.wait_window()
        return p

    def close_orderly(self, p):
        self.env.ctl('close')
        self.assertEqual(self.env.wait_exit(p), 0)

    def top_title(self):
        dialogs = self.env.dialogs()
        return dialogs[0][1] if dialogs else None

    # Waits are generous: they end as soon as the screen is right, and a
    # loaded machine may take long to show a dialog.
    def wait_title(self, title, seconds=60):
        if self.env.wait_until(lambda: self.top_title() == title, seconds):
            return
        self.fail('no dialog "%s": %s' % (title, self.env.describe_screen()))

    def wait_gone(self, title):
        if self.env.wait_until(lambda: title not in [d[1] for d in self.env.dialogs()], 60):
            return
        self.fail('%s still open: %s' % (title, self.env.describe_screen()))

    def controls(self):
        """id -> (class, text, enabled, state) of the top dialog's controls."""
        out = {}
        for line in self.env.ctl('dialog-controls').splitlines():
            f = line.split('\t')
            if len(f) >= 5 and f[0].lstrip('-').isdigit():
                out[int(f[0])] = (f[1], f[2], f[3] == '1', int(f[4]))
        return out

    def wait_control(self, ident, predicate, what):
        value = self.env.wait_until(lambda: ident in self.controls() and predicate(self.controls()[ident]), 20)
        self.assertTrue(value, '%s: %s' % (what, self.controls().get(ident)))

    def setting(self, name):
        return self.env.reg_query(SETTINGS_KEY, name)

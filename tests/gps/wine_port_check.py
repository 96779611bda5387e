#!/usr/bin/env python3
"""The Windows serial port and the port threads under Wine.

A fresh Wine prefix maps COM5 to one end of a socat pty pair; the other end
gets a real NMEA capture. gps_wine_port_check.exe (built with mingw) must
find the receiver on COM5 by trial, deliver the capture's fixes, write an
MPS track file whose points our own reader reads back, and a Tracks.bin of
80 008 bytes. Stops only what it started.

    wine_port_check.py WIN_BUILD_DIR NATIVE_BUILD_DIR [CAPTURE]
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', '..', '..', 'shared', 'data', 'gps')


def main():
    win_build, native_build = sys.argv[1], sys.argv[2]
    capture = sys.argv[3] if len(sys.argv) > 3 else 'humminbird-M37'
    raw = os.path.join(DATA, capture, 'raw.bin')
    if not os.path.exists(raw):
        print('SKIP: no capture', raw)
        return 0
    if not shutil.which('socat') or not shutil.which('wine'):
        print('SKIP: wine and socat are needed')
        return 0
    exe = os.path.join(win_build, 'tests', 'gps', 'gps_wine_port_check.exe')
    cli = os.path.join(native_build, 'tools', 'cli', 'velmo-cli')
    root = tempfile.mkdtemp(prefix='velmo-gps-wine-')
    env = dict(os.environ, WINEPREFIX=os.path.join(root, 'prefix'), WINEDEBUG='-all',
               WINEDLLOVERRIDES='mscoree,mshtml=', LANG='C.UTF-8', LC_ALL='C.UTF-8')
    env.pop('DISPLAY', None)
    socat = prog = None
    failures = []
    try:
        subprocess.run(['wineboot', '-i'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=240)
        subprocess.run(['wineserver', '-w'], env=env, timeout=120)
        # Wine links the user's folders to the host's home: make them real
        # folders of the prefix so that nothing is written outside it.
        for link in glob.glob(os.path.join(env['WINEPREFIX'], 'drive_c', 'users', '*', '*')):
            if os.path.islink(link):
                os.unlink(link)
                os.makedirs(link)
        a, b = os.path.join(root, 'pty-a'), os.path.join(root, 'pty-b')
        socat = subprocess.Popen(['socat', '-d', 'pty,raw,echo=0,link=' + a, 'pty,raw,echo=0,link=' + b],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(a) and os.path.exists(b):
                break
            time.sleep(0.1)
        subprocess.run(['wine', 'reg', 'add', r'HKLM\Software\Wine\Ports', '/v', 'COM5', '/t', 'REG_SZ', '/d',
                        os.path.realpath(a), '/f'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=60)
        subprocess.run(['wineserver', '-k'], env=env, timeout=60)
        subprocess.run(['wineserver', '-w'], env=env, timeout=120)
        out_path = os.path.join(root, 'out.txt')
        with open(out_path, 'wb') as out:
            prog = subprocess.Popen(['wine', exe, '5', '14'], env=env, stdout=out, stderr=subprocess.STDOUT)
            # The receiver talks once the program has started its port search
            # (its first status line).
            end = time.time() + 60
            while time.time() < end and b'status\t' not in open(out_path, 'rb').read() and prog.poll() is None:
                time.sleep(0.1)
            data = open(raw, 'rb').read()
            fd = os.open(b, os.O_WRONLY)
            # About 9600 bit/s: the capture in a few seconds, in small reads.
            for i in range(0, len(data), 64):
                os.write(fd, data[i:i + 64])
                time.sleep(0.064)
            os.close(fd)
            prog.wait(timeout=120)
        text = open(out_path, 'rb').read().decode('utf-8', 'replace')
        print(text)
        lines = text.splitlines()
        fixes = [l for l in lines if l.startswith('fix\t') and l.split('\t')[2]]
        statuses = [l.split('\t', 1)[1] for l in lines if l.startswith('status\t')]
        if not any('COM5' in s and 'NMEA-0183' in s for s in statuses):
            failures.append('no status naming the protocol and COM5: %r' % statuses)
        if len(fixes) < 15:
            failures.append('only %d fixes with a position' % len(fixes))
        bins = [l.split('\t') for l in lines if l.startswith('tracks-bin\t')]
        if not bins or bins[0][2] != '80008':
            failures.append('Tracks.bin is not 80 008 bytes: %r' % bins)
        mps = glob.glob(os.path.join(env['WINEPREFIX'], 'drive_c', 'users', '*', 'Documents', 'GPS Tracks and Waypoints',
                                     '*.mps'))
        if len(mps) != 1:
            failures.append('track files: %r' % mps)
        elif not os.path.exists(cli):
            print('no native velmo-cli at %s: the track file is not read back' % cli)
        else:
            r = subprocess.run([cli, 'track', mps[0]], capture_output=True, text=True, timeout=60)
            points = [l for l in r.stdout.splitlines() if l.strip() and not l.startswith('#')]
            print('velmo-cli track: %d lines' % len(points))
            print('\n'.join(points[:3]))
            if r.returncode != 0 or len(points) < 10:
                failures.append('our reader read %d points back (rc %d)' % (len(points), r.returncode))
    finally:
        if prog and prog.poll() is None:
            prog.kill()
        subprocess.run(['wineserver', '-k'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        if socat:
            socat.terminate()
            socat.wait(timeout=10)
        shutil.rmtree(root, ignore_errors=True)
    for f in failures:
        print('FAIL:', f)
    print('PASS' if not failures else 'FAILED')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

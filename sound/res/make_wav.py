#!/usr/bin/env python3
"""Speaks the phrase table into wave files.

usage: make_wav.py PHRASES OUTDIR [ESPEAK]

Each line NAME<TAB>TEXT of PHRASES (lines starting with '#' and empty lines
are skipped) becomes OUTDIR/NAME.wav: 16-bit mono PCM from espeak-ng's
Russian voice. The same table and the same espeak-ng give the same bytes:
no time stamps or random choices go into the files. Each file is written
atomically and checked to be a plain RIFF wave with its "fmt " and "data".
"""
import os
import struct
import subprocess
import sys
import tempfile


def read_table(path):
    rows = []
    with open(path, encoding='utf-8') as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            name, sep, text = line.partition('\t')
            if not sep or not name or not text.strip():
                sys.exit('%s:%d: want NAME<TAB>TEXT' % (path, n))
            rows.append((name, text.strip()))
    return rows


def check_wave(data, name):
    if len(data) < 44 or data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        sys.exit('%s: espeak-ng gave no RIFF wave' % name)
    off, found = 12, set()
    while off + 8 <= len(data):
        cid, size = data[off:off + 4], struct.unpack('<I', data[off + 4:off + 8])[0]
        if cid == b'fmt ':
            tag, channels, rate, _, align, bits = struct.unpack('<HHIIHH', data[off + 8:off + 24])
            if tag != 1 or bits != 16 or channels != 1:
                sys.exit('%s: not 16-bit mono PCM' % name)
        found.add(cid)
        off += 8 + size
    if b'fmt ' not in found or b'data' not in found:
        sys.exit('%s: wave without "fmt " or "data"' % name)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    table, outdir = sys.argv[1], sys.argv[2]
    espeak = sys.argv[3] if len(sys.argv) == 4 else 'espeak-ng'
    os.makedirs(outdir, exist_ok=True)
    for name, text in read_table(table):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, 'out.wav')
            subprocess.run([espeak, '-v', 'ru', '-s', '150', '-w', out, text], check=True,
                           env=dict(os.environ, LC_ALL='C.UTF-8'))
            with open(out, 'rb') as f:
                data = f.read()
        check_wave(data, name)
        target = os.path.join(outdir, name + '.wav')
        tmpname = target + '.tmp'
        with open(tmpname, 'wb') as f:
            f.write(data)
        os.replace(tmpname, target)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""The voice's wave files come out byte for byte the same on every build.

usage: check_wav_deterministic.py MAKE_WAV PHRASES BUILT_WAV_DIR ESPEAK

Speaks the phrase table twice into fresh folders and compares both with
each other and with the files the build wrote.
"""
import filecmp
import os
import subprocess
import sys
import tempfile

make_wav, phrases, built, espeak = sys.argv[1:5]
with tempfile.TemporaryDirectory() as tmp:
    dirs = [os.path.join(tmp, 'a'), os.path.join(tmp, 'b')]
    for d in dirs:
        subprocess.run([sys.executable, make_wav, phrases, d, espeak], check=True)
    names = sorted(os.listdir(dirs[0]))
    if not names or names != sorted(os.listdir(dirs[1])):
        sys.exit('the two runs wrote different files')
    for name in names:
        for other in (dirs[1], built):
            if not filecmp.cmp(os.path.join(dirs[0], name), os.path.join(other, name), shallow=False):
                sys.exit('%s differs in %s' % (name, other))
print('%d wave files, identical in both runs and in the build' % len(names))

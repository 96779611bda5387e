#!/usr/bin/env python3
"""Runs every end-to-end test file, several at once (those that listen to the
program's sound last, alone).

Each file runs in its own `python3 -m unittest` process; every VelmoEnv has
its own Wine prefix and its own Xvfb display, so files do not share anything
but the machine. Files are started longest first (the durations of the last
run are kept in the build folder), each file's output is printed whole when
it ends, and the run ends with a line "N passed, N failed" counting test
methods.

Usage: run_all.py [-j N] [PATTERN]   (N: VELMO_E2E_JOBS, default 2)
"""
import argparse
import glob
import json
import os
import re
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# Files that compare what the program plays sample for sample: under the load
# of another Wine beside them the sound device may be fed late, so they run
# last, alone.
ALONE = {'test_guidance.py'}
# Files that use what another file makes: the installer packs the guide's
# pictures that test_guide.py takes, so it starts when they are all there.
AFTER = {'test_installer.py': {'test_guide.py'}}


def durations_path():
    build = os.environ.get('VELMO_BUILD_WIN', os.path.join(HERE, '..', '..', 'build', 'win'))
    return os.path.join(build, 'e2e-durations.json')


def load_durations():
    try:
        with open(durations_path()) as f:
            return {k: float(v) for k, v in json.load(f).items()}
    except (OSError, ValueError, AttributeError):
        return {}


def save_durations(durations):
    path = durations_path()
    try:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path + '.new', 'w') as f:
            json.dump(durations, f, indent=1, sort_keys=True)
        os.replace(path + '.new', path)
    except OSError:
        pass


def counts(output):
    """(run, failed, skipped) from unittest's closing lines."""
    run = re.search(r'^Ran (\d+) tests? in', output, re.M)
    n = int(run.group(1)) if run else 0
    failed = skipped = 0
    tail = re.search(r'^(OK|FAILED)(?: \((.*)\))?\s*$', output, re.M)
    if tail and tail.group(2):
        for part in tail.group(2).split(','):
            key, _, value = part.strip().partition('=')
            if key in ('failures', 'errors'):
                failed += int(value)
            elif key == 'skipped':
                skipped += int(value)
    return n, failed, skipped


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('-j', type=int, default=int(os.environ.get('VELMO_E2E_JOBS', '2')))
    ap.add_argument('pattern', nargs='?', default='test_*.py')
    args = ap.parse_args()

    files = sorted(os.path.basename(p) for p in glob.glob(os.path.join(HERE, args.pattern)))
    if not files:
        print('no end-to-end test files match %s' % args.pattern)
        return 1
    known = load_durations()
    # Unknown files first (they may be long), then the longest.
    queue = sorted(files, key=lambda f: -known.get(f, 1e9))
    lock = threading.Condition()
    results = {}
    unfinished = set(files)

    def ready(name):
        return not (AFTER.get(name, set()) & unfinished)

    def worker():
        while True:
            with lock:
                while queue and not any(ready(f) for f in queue):
                    lock.wait()
                if not queue:
                    return
                name = next(f for f in queue if ready(f))
                queue.remove(name)
            start = time.monotonic()
            module = name[:-3]
            proc = subprocess.run([sys.executable, '-m', 'unittest', '-v', module], cwd=HERE,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                  errors='replace')
            took = time.monotonic() - start
            n, failed, skipped = counts(proc.stdout)
            if proc.returncode != 0 and failed == 0:
                failed = max(1, n)  # crashed or could not be imported
            with lock:
                results[name] = (proc.returncode, n, failed, skipped, took)
                unfinished.discard(name)
                lock.notify_all()
                print('=== %s (%.0f s, exit %d)' % (name, took, proc.returncode))
                print(proc.stdout.rstrip())
                sys.stdout.flush()

    alone = [f for f in queue if f in ALONE]
    queue[:] = [f for f in queue if f not in ALONE]
    threads = [threading.Thread(target=worker) for _ in range(max(1, args.j))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    queue[:] = alone
    worker()

    durations = dict(known)
    durations.update({name: r[4] for name, r in results.items()})
    save_durations(durations)

    total = sum(r[1] for r in results.values())
    failed = sum(r[2] for r in results.values())
    skipped = sum(r[3] for r in results.values())
    bad = [name for name, r in sorted(results.items()) if r[0] != 0]
    print()
    for name, r in sorted(results.items(), key=lambda kv: -kv[1][4]):
        print('%-28s %5.0f s  %s' % (name, r[4], 'FAILED' if r[0] else 'ok'))
    if bad:
        print('failed files: ' + ' '.join(bad))
    print('e2e: %d passed, %d failed, %d skipped' % (total - failed - skipped, failed, skipped))
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())

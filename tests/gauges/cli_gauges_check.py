#!/usr/bin/env python3
"""velmo-cli gauges over a receiver capture: one line per gauge (identifier,
value, unit), every gauge once, and values that agree with the fixes that
velmo-cli replay decodes from the same bytes.

Usage: cli_gauges_check.py VELMO_CLI CAPTURE_DIR"""
import subprocess
import sys


def main():
    cli, captures = sys.argv[1], sys.argv[2]
    raw = captures + '/bundg_zeus_9/raw.bin'
    try:
        open(raw, 'rb').close()
    except OSError:
        print('the shared receiver captures are not there: skipped')
        return 0
    out = subprocess.run([cli, 'gauges', raw, '--protocol', 'nmea'], stdout=subprocess.PIPE, check=True)
    lines = out.stdout.decode('utf-8').splitlines()
    rows = [line.split('\t') for line in lines]
    assert all(len(r) == 3 for r in rows), lines
    ids = [r[0] for r in rows]
    assert len(ids) == 77 and len(set(ids)) == 77, ids
    value = {r[0]: (r[1], r[2]) for r in rows}
    # The decoded fixes: "fix  time  lat  lon  alt  speed  course ..."
    rep = subprocess.run([cli, 'replay', '--protocol', 'nmea', raw], stdout=subprocess.PIPE, check=True)
    fixes = [line.split('\t') for line in rep.stdout.decode().splitlines() if line.startswith('fix\t')]
    speeds = [float(f[5]) for f in fixes if f[5]]
    alts = [float(f[4]) for f in fixes if f[4]]
    assert speeds and alts
    assert abs(float(value['maxspeed'][0]) - max(speeds)) < 0.051, (value['maxspeed'], max(speeds))
    assert value['maxspeed'][1] == 'км/ч', value['maxspeed']
    assert int(value['maxelev'][0]) == round(max(alts)), (value['maxelev'], max(alts))
    assert int(value['minelev'][0]) == round(min(alts)), (value['minelev'], min(alts))
    assert value['odometer'] == value['tripodometer'] == value['tripodometer2'], value['odometer']
    assert value['triptime_measured'][0] == '0:02:26', value['triptime_measured']
    # Navigation shows "-" without guidance; the last fix's speed is shown.
    assert value['distance_cur'] == ('-', ''), value['distance_cur']
    assert abs(float(value['speed'][0]) - float(fixes[-1][5])) < 0.051, (value['speed'], fixes[-1][5])
    print('velmo-cli gauges: %d gauges, max speed %s, odometer %s %s' %
          (len(ids), value['maxspeed'][0], *value['odometer']))
    return 0


if __name__ == '__main__':
    sys.exit(main())

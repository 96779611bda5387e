#!/usr/bin/env python3
"""Our route search next to Routino on the fixed pairs of each extract.

usage: compare_routino.py BUILD_DIR [--work DIR] [--runs N] [--reuse] [EXTRACT...]

Runs BUILD_DIR/bench/routing/bench_routing (graph build, then the 20 pairs of
../shared/peers/baseline/<extract>/pairs.csv as car routes by length with
U-turns allowed) and, in the same run, ../shared/peers/bench_routino.py on
the same extract with the same pairs (Routino's --shortest motorcar routes
and its own in-process time). Navit's in-process times come from the stored
baseline (navit_routes.csv), Navit not being installed here. Prints one line
per pair outside 1 % and a Markdown table per extract. --reuse keeps Routino
results already in the work folder.
"""
import argparse
import csv
import os
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.normpath(os.path.join(HERE, "..", "..", "..", "shared"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("extracts", nargs="*", default=["monaco", "andorra", "moscow", "north-bayreuth"])
    ap.add_argument("--work", default="/tmp/velmo-route-compare")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--reuse", action="store_true")
    a = ap.parse_args()

    ours = subprocess.run([os.path.join(a.build, "bench", "routing", "bench_routing"), "--runs", str(a.runs)]
                          + a.extracts, check=True, capture_output=True, text=True).stdout
    build, query, pairs = {}, {}, {}
    for row in csv.reader(ours.splitlines()):
        if row[0] == "build":
            build[row[1]] = float(row[2])
        elif row[0] == "query":
            query[row[1]] = (float(row[2]), float(row[3]))
        elif row[0] == "pair":
            pairs[(row[1], int(row[2]))] = (row[3] == "1", float(row[4]), float(row[5]), float(row[6]), float(row[7]))

    print("| extract | graph build ms | our query ms median / max | Routino ms median | Navit ms median (stored) "
          "| within 1 % | within 5 % | worst pair |")
    print("|---|---|---|---|---|---|---|---|")
    notes = []
    for e in a.extracts:
        base = os.path.join(SHARED, "peers", "baseline", e)
        out = os.path.join(a.work, e)
        os.makedirs(out, exist_ok=True)
        shutil.copy(os.path.join(base, "pairs.csv"), os.path.join(out, "pairs.csv"))
        routes = os.path.join(out, "routino_routes.csv")
        if not (a.reuse and os.path.exists(routes)):
            subprocess.run([sys.executable, os.path.join(SHARED, "peers", "bench_routino.py"),
                            os.path.join(SHARED, "data", "osm", e + ".osm.pbf"), out, "--runs", str(a.runs),
                            "--build-runs", "1"], check=True, stdout=subprocess.DEVNULL)
        with open(routes) as f:
            routino = {int(r["pair"]): r for r in csv.DictReader(f) if r["mode"] == "shortest"}
        navit_ms = []
        navit_csv = os.path.join(base, "navit_routes.csv")
        if os.path.exists(navit_csv):
            with open(navit_csv) as f:
                navit_ms = [float(r["internal_ms_median"]) for r in csv.DictReader(f) if r["ok"] == "1"]
        within1 = within5 = 0
        worst = (0.0, None)
        for n, r in sorted(routino.items()):
            ok, km, ms, snap_from, snap_to = pairs.get((e, n), (False, 0, 0, 0, 0))
            rkm = float(r["length_km"])
            if not ok or r["ok"] != "1" or rkm <= 0:
                notes.append(f"{e} pair {n}: ours {'%.3f' % km if ok else 'none'} km, Routino "
                             f"{rkm if r['ok'] == '1' else 'none'} km")
                worst = max(worst, (float("inf"), n))
                continue
            diff = (km - rkm) / rkm * 100
            within1 += diff <= 1
            within5 += diff <= 5
            worst = max(worst, (diff, n))
            if diff > 1 or diff < -1:
                notes.append(f"{e} pair {n}: ours {km:.3f} km, Routino {rkm:.3f} km ({diff:+.2f} %), "
                             f"snap {snap_from:.0f} m / {snap_to:.0f} m")
        rms = statistics.median(float(r["internal_ms_median"]) for r in routino.values())
        nms = "%.1f" % statistics.median(navit_ms) if navit_ms else "-"
        q = query.get(e, (0, 0))
        print(f"| {e} | {build.get(e, 0):.2f} | {q[0]:.2f} / {q[1]:.2f} | {rms:.2f} | {nms} | {within1}/20 | "
              f"{within5}/20 | pair {worst[1]} ({worst[0]:+.2f} %) |")
    for line in notes:
        print(line)


if __name__ == "__main__":
    main()

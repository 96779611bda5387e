#!/usr/bin/env python3
"""One whole `velmo-cli route` next to one whole `routino-router` run, in turns.

usage: cli_vs_routino.py BUILD_DIR [--work DIR] [--runs N] [--pairs K] [EXTRACT...]

For each extract of ../shared/data/osm (default: all four), the map is
compiled with BUILD_DIR's velc and Routino's database with planetsplitter
(both kept in the work folder), then the first K pairs of
../shared/peers/baseline/<extract>/pairs.csv are routed by each program in
turn (velmo-cli's quickest car route; routino-router --quickest, profile
motorcar, no output files), N times each. Prints per pair the median wall
time and processor time (user + system, from the children's rusage) of
each and their ratio, and per extract the median of the ratios.
"""
import argparse
import csv
import os
import resource
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.normpath(os.path.join(HERE, "..", "..", "..", "shared"))
EXTRACTS = ["monaco", "andorra", "moscow", "north-bayreuth"]


def timed(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - t
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--work", default="/tmp/velmo-cli-vs-routino")
    ap.add_argument("--runs", type=int, default=21)
    ap.add_argument("--pairs", type=int, default=3)
    ap.add_argument("extracts", nargs="*", default=EXTRACTS)
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)
    cli = os.path.join(a.build, "tools", "cli", "velmo-cli")
    velc = os.path.join(a.build, "tools", "velc", "velc")
    print("| extract | pair | velmo-cli wall ms | routino wall ms | wall ratio | cpu ratio |")
    print("|---|---|---|---|---|---|")
    for e in a.extracts:
        pbf = os.path.join(SHARED, "data", "osm", e + ".osm.pbf")
        pairs_csv = os.path.join(SHARED, "peers", "baseline", e, "pairs.csv")
        if not os.path.exists(pbf) or not os.path.exists(pairs_csv):
            print("%s: no extract or pairs, skipped" % e, file=sys.stderr)
            continue
        vel = os.path.join(a.work, e + ".vel")
        if not os.path.exists(vel):
            subprocess.run([velc, pbf, "-o", vel, "--quiet"], check=True, stderr=subprocess.DEVNULL)
        if not os.path.exists(os.path.join(a.work, e + "-nodes.mem")):
            subprocess.run(["planetsplitter", "--dir=" + a.work, "--prefix=" + e,
                            "--tagging=/usr/share/routino/tagging.xml", pbf],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(pairs_csv) as f:
            pairs = list(csv.DictReader(f))[:a.pairs]
        ratios = []
        for p in pairs:
            ours = [cli, "route", vel, p["from_lat"], p["from_lon"], p["to_lat"], p["to_lon"]]
            theirs = ["routino-router", "--dir=" + a.work, "--prefix=" + e,
                      "--profiles=/usr/share/routino/profiles.xml",
                      "--translations=/usr/share/routino/translations.xml", "--quickest",
                      "--profile=motorcar", "--lat1=" + p["from_lat"], "--lon1=" + p["from_lon"],
                      "--lat2=" + p["to_lat"], "--lon2=" + p["to_lon"], "--output-none", "--quiet"]
            timed(ours)
            timed(theirs)  # warm the page cache for both
            w_ours, c_ours, w_theirs, c_theirs = [], [], [], []
            for _ in range(a.runs):
                w, c = timed(ours)
                w_ours.append(w)
                c_ours.append(c)
                w, c = timed(theirs)
                w_theirs.append(w)
                c_theirs.append(c)
            wr = statistics.median(x / y for x, y in zip(w_ours, w_theirs))
            cr = statistics.median(c_ours) / max(statistics.median(c_theirs), 1e-6)
            ratios.append(wr)
            print("| %s | %s | %.2f | %.2f | %.2f | %.2f |" % (
                e, p["pair"], statistics.median(w_ours) * 1000, statistics.median(w_theirs) * 1000, wr, cr))
        if ratios:
            print("| %s | median | | | %.2f | |" % (e, statistics.median(ratios)))


if __name__ == "__main__":
    main()

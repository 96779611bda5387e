#!/usr/bin/env python3
"""Our route search next to Routino on the fixed pairs of each extract.

usage: compare_routino.py BUILD_DIR [--work DIR] [--runs N] [--reuse] [EXTRACT...]

Runs BUILD_DIR/bench/routing/bench_routing (graph build, then the 20 pairs of
../shared/peers/baseline/<extract>/pairs.csv as car routes by length with
U-turns allowed) and, in the same run, ../shared/peers/bench_routino.py on
the same extract with the same pairs (Routino's --shortest motorcar routes
and its own in-process time). Navit's in-process times come from the stored
baseline (navit_routes.csv), Navit not being installed here.

Routino's reported lengths are not measured the way ours are: its database
keeps each segment's length in whole metres, cut down, and planetsplitter
prunes nodes of nearly straight roads, so on roads with many short segments
(mountain bends, city blocks) it reports a route 1-3 % shorter than its own
points are. The comparison therefore also routes every pair with Routino on
an unpruned database of the same extract and measures the route through
Routino's printed points with the same formula as ours ("geometry km"); the
within-1 % counts use that length, Routino's own figure is printed beside
it. Each route is also compared with the other point by point: "same roads"
when no point of either lies more than 15 m from the other route.

Prints one line per pair outside 1 % and a Markdown table per extract.
--reuse keeps Routino results already in the work folder.
"""
import argparse
import csv
import math
import os
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.normpath(os.path.join(HERE, "..", "..", "..", "shared"))


# Our map units: 180 degrees are 20,000 km.
METRES_PER_DEGREE = 2e7 / 180


def length_m(pts):
    """Length of a polyline of (lat, lon), east-west scaled by the cosine of
    each segment's mean latitude (as the route bench measures ours)."""
    f = 0.0
    for (a, b), (c, d) in zip(pts, pts[1:]):
        k = math.cos(math.radians((a + c) / 2))
        f += math.hypot((c - a), (d - b) * k) * METRES_PER_DEGREE
    return f


def segment_distance(p, a, b):
    k = math.cos(math.radians(p[0]))
    ax, ay = (a[1] - p[1]) * k * METRES_PER_DEGREE, (a[0] - p[0]) * METRES_PER_DEGREE
    bx, by = (b[1] - p[1]) * k * METRES_PER_DEGREE, (b[0] - p[0]) * METRES_PER_DEGREE
    dx, dy = bx - ax, by - ay
    t = 0.0 if dx == dy == 0 else max(0.0, min(1.0, -(ax * dx + ay * dy) / (dx * dx + dy * dy)))
    return math.hypot(ax + t * dx, ay + t * dy)


def farthest_off(pts, route):
    """Metres from the point of pts farthest from the polyline route."""
    if len(route) < 2:
        return float("inf")
    return max(min(segment_distance(p, a, b) for a, b in zip(route, route[1:])) for p in pts)


def read_points(path):
    try:
        with open(path) as f:
            return [tuple(float(v) for v in line.split()) for line in f if line.strip()]
    except OSError:
        return []


def routino_geometry(db, name, pairs, runs_dir, reuse):
    """Routino's --shortest motorcar route of every pair on the unpruned
    database: {pair: (points, Routino's own km)}."""
    out = {}
    for pr in pairs:
        path = os.path.join(runs_dir, "routino-%s.txt" % pr["pair"])
        if not (reuse and os.path.exists(path)):
            p = subprocess.run(["routino-router", "--dir=" + db, "--prefix=" + name, "--profile=motorcar", "--shortest",
                                "--lon1=" + pr["from_lon"], "--lat1=" + pr["from_lat"], "--lon2=" + pr["to_lon"],
                                "--lat2=" + pr["to_lat"], "--output-text-all", "--output-stdout"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            with open(path, "w") as f:
                f.write(p.stdout if p.returncode == 0 else "")
        pts, km = [], 0.0
        with open(path) as f:
            for line in f:
                if line.startswith("#") or not line.strip():
                    continue
                cols = line.split("\t")
                pts.append((float(cols[0]), float(cols[1])))
                km += float(cols[4])
        out[int(pr["pair"])] = (pts, km)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("extracts", nargs="*", default=["monaco", "andorra", "moscow", "north-bayreuth"])
    ap.add_argument("--work", default="/tmp/velmo-route-compare")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--reuse", action="store_true")
    a = ap.parse_args()

    ours_dir = os.path.join(a.work, "ours")
    os.makedirs(ours_dir, exist_ok=True)
    ours = subprocess.run([os.path.join(a.build, "bench", "routing", "bench_routing"), "--runs", str(a.runs),
                           "--points", ours_dir] + a.extracts, check=True, capture_output=True, text=True).stdout
    build, query, pairs = {}, {}, {}
    for row in csv.reader(ours.splitlines()):
        if row[0] == "build":
            build[row[1]] = float(row[2])
        elif row[0] == "query":
            query[row[1]] = (float(row[2]), float(row[3]))
        elif row[0] == "pair":
            pairs[(row[1], int(row[2]))] = (row[3] == "1", float(row[4]), float(row[5]), float(row[6]), float(row[7]))

    print("| extract | graph build ms | our query ms median / max | Routino ms median | Navit ms median (stored) "
          "| within 1 % | within 5 % | same roads | worst pair |")
    print("|---|---|---|---|---|---|---|---|---|")
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
        # Routino's routes on an unpruned database, for their geometry.
        db = os.path.join(out, "unpruned")
        os.makedirs(db, exist_ok=True)
        if not (a.reuse and os.path.exists(os.path.join(db, e + "-nodes.mem"))):
            subprocess.run(["planetsplitter", "--dir=" + db, "--prefix=" + e, "--prune-none", "--loggable",
                            os.path.join(SHARED, "data", "osm", e + ".osm.pbf")], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(os.path.join(out, "pairs.csv")) as f:
            geometry = routino_geometry(db, e, list(csv.DictReader(f)), db, a.reuse)
        navit_ms = []
        navit_csv = os.path.join(base, "navit_routes.csv")
        if os.path.exists(navit_csv):
            with open(navit_csv) as f:
                navit_ms = [float(r["internal_ms_median"]) for r in csv.DictReader(f) if r["ok"] == "1"]
        within1 = within5 = same_roads = 0
        worst = (-float("inf"), None)
        for n, r in sorted(routino.items()):
            ok, km, ms, snap_from, snap_to = pairs.get((e, n), (False, 0, 0, 0, 0))
            gpts, gown = geometry.get(n, ([], 0.0))
            gkm = length_m(gpts) / 1000 if len(gpts) > 1 else 0.0
            if not ok or gkm <= 0:
                notes.append(f"{e} pair {n}: ours {'%.3f' % km if ok else 'none'} km, Routino "
                             f"{'%.3f' % gkm if gkm > 0 else 'none'} km")
                worst = max(worst, (float("inf"), n))
                continue
            opts = read_points(os.path.join(ours_dir, "%s-%d.txt" % (e, n)))
            off = max(farthest_off(opts, gpts), farthest_off(gpts, opts)) if opts else float("inf")
            same_roads += off <= 15
            diff = (km - gkm) / gkm * 100
            within1 += diff <= 1
            within5 += diff <= 5
            worst = max(worst, (diff, n))
            if diff > 1 or diff < -1:
                notes.append(f"{e} pair {n}: ours {km:.3f} km, Routino {gkm:.3f} km by its points "
                             f"({gown:.3f} km its own figure) ({diff:+.2f} %), "
                             f"{'same roads' if off <= 15 else 'routes part up to %.0f m' % off}, "
                             f"snap {snap_from:.0f} m / {snap_to:.0f} m")
        rms = statistics.median(float(r["internal_ms_median"]) for r in routino.values())
        nms = "%.1f" % statistics.median(navit_ms) if navit_ms else "-"
        q = query.get(e, (0, 0))
        print(f"| {e} | {build.get(e, 0):.2f} | {q[0]:.2f} / {q[1]:.2f} | {rms:.2f} | {nms} | {within1}/20 | "
              f"{within5}/20 | {same_roads}/20 | pair {worst[1]} ({worst[0]:+.2f} %) |")
    for line in notes:
        print(line)


if __name__ == "__main__":
    main()

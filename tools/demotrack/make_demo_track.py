#!/usr/bin/env python3
"""Writes the demo track: a drive along the roads of the demo region (the
OSM XML of tools/demogen) by the quickest roads from the first town to the
farthest one, at the usual speed of each road class, one point a second, as
GPX; then turns it into Demo.gdb with gpsbabel. Put Demo.gdb beside
velmo.exe and the program replays it instead of reading the ports.

    make_demo_track.py REGION.osm OUT_DIR        (writes demo.gpx, Demo.gdb)
"""
import heapq
import math
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

# km/h by road class; ramps and small streets slower.
SPEEDS = {'motorway': 110, 'motorway_link': 60, 'trunk': 90, 'primary': 80, 'secondary': 70,
          'tertiary': 60, 'unclassified': 50, 'residential': 40, 'living_street': 20, 'service': 20}
START = (2026, 5, 16, 9, 0, 0)  # local morning drive, written as UTC
EARTH = 6371008.8


def dist(a, b):
    (lon1, lat1), (lon2, lat2) = a, b
    x = math.radians(lon2 - lon1) * math.cos(math.radians((lat1 + lat2) / 2))
    y = math.radians(lat2 - lat1)
    return EARTH * math.hypot(x, y)


def load(path):
    root = ET.parse(path).getroot()
    nodes = {n.get('id'): (float(n.get('lon')), float(n.get('lat'))) for n in root.iter('node')}
    towns = [nodes[n.get('id')] for n in root.iter('node')
             if any(t.get('k') == 'place' and t.get('v') in ('city', 'town', 'village') for t in n.iter('tag'))]
    graph = {}
    for w in root.iter('way'):
        tags = {t.get('k'): t.get('v') for t in w.iter('tag')}
        kind = tags.get('highway')
        if kind not in SPEEDS:
            continue
        refs = [nd.get('ref') for nd in w.iter('nd') if nd.get('ref') in nodes]
        oneway = tags.get('oneway') == 'yes'
        for a, b in zip(refs, refs[1:]):
            d = dist(nodes[a], nodes[b])
            cost = d / (SPEEDS[kind] / 3.6)
            graph.setdefault(a, []).append((b, cost, kind))
            if not oneway:
                graph.setdefault(b, []).append((a, cost, kind))
    return nodes, towns, graph


def nearest(nodes, graph, p):
    return min(graph, key=lambda n: dist(nodes[n], p))


def route(graph, a, b):
    best = {a: 0.0}
    prev = {}
    heap = [(0.0, a)]
    while heap:
        c, n = heapq.heappop(heap)
        if n == b:
            break
        if c > best.get(n, 1e18):
            continue
        for m, w, kind in graph.get(n, []):
            if c + w < best.get(m, 1e18):
                best[m] = c + w
                prev[m] = (n, kind)
                heapq.heappush(heap, (c + w, m))
    if b not in prev and a != b:
        return []
    path = []
    n = b
    while n != a:
        p, kind = prev[n]
        path.append((p, n, kind))
        n = p
    return list(reversed(path))


def drive(nodes, legs):
    """Points one second apart along the legs, each leg at its road's speed."""
    points = []
    t = 0.0
    carry = 0.0  # metres already driven into the current second
    for (a, b, kind) in legs:
        pa, pb = nodes[a], nodes[b]
        d = dist(pa, pb)
        v = SPEEDS[kind] / 3.6
        s = 0.0
        while d > 0 and s + (v - carry) <= d:
            s += v - carry
            carry = 0.0
            f = s / d
            t += 1
            points.append((pa[0] + (pb[0] - pa[0]) * f, pa[1] + (pb[1] - pa[1]) * f, t))
        carry += d - s if d > 0 else 0.0
        carry = min(carry, v)
    return points


def write_gpx(points, path):
    import datetime
    t0 = datetime.datetime(*START)
    with open(path, 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write('<gpx version="1.1" creator="velmo demo track" xmlns="http://www.topografix.com/GPX/1/1">\n')
        f.write('<trk><name>Demo</name><trkseg>\n')
        for lon, lat, t in points:
            when = (t0 + datetime.timedelta(seconds=t)).strftime('%Y-%m-%dT%H:%M:%SZ')
            f.write('<trkpt lat="%.7f" lon="%.7f"><ele>150.0</ele><time>%s</time></trkpt>\n' % (lat, lon, when))
        f.write('</trkseg></trk>\n</gpx>\n')


def main():
    region, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    nodes, towns, graph = load(region)
    if len(towns) < 2:
        sys.exit('the region has fewer than two towns')
    start = nearest(nodes, graph, towns[0])
    far = max(towns[1:], key=lambda p: dist(p, towns[0]))
    goal = nearest(nodes, graph, far)
    legs = route(graph, start, goal)
    if not legs:
        sys.exit('no road from the first town to the farthest one')
    points = drive(nodes, legs)
    gpx = os.path.join(out, 'demo.gpx')
    write_gpx(points, gpx)
    gdb = os.path.join(out, 'Demo.gdb')
    subprocess.run(['gpsbabel', '-t', '-i', 'gpx', '-f', gpx, '-o', 'gdb', '-F', gdb], check=True)
    km = sum(dist(nodes[a], nodes[b]) for a, b, _ in legs) / 1000
    print('%d points, %.1f km, %d:%02d min -> %s' % (len(points), km, len(points) // 60, len(points) % 60, gdb))


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Writes the demo drive: a trip along the roads of the demo region at
plausible speeds, one point a second, as GPX 1.1 (a track). The run script
turns it into Demo.gdb with gpsbabel; the program replays that file when
it has no receiver.

usage: demotrack.py IN.osm OUT.gpx

Deterministic: the same region gives the same drive. The drive starts in
the first town's street grid, takes the main roads to the farthest town
that can be reached, and comes back by another way where there is one.
"""
import heapq
import math
import random
import sys
import xml.etree.ElementTree as ET
from datetime import datetime, timedelta, timezone

# km/h by road class; classes not listed are not driven.
SPEEDS = {
    'motorway': 100, 'motorway_link': 60, 'trunk': 80, 'trunk_link': 50,
    'primary': 70, 'primary_link': 40, 'secondary': 60, 'secondary_link': 40,
    'tertiary': 50, 'tertiary_link': 30, 'unclassified': 40, 'residential': 30,
    'living_street': 15, 'service': 20,
}
EARTH_R = 6371008.8
START = datetime(2026, 6, 21, 9, 0, 0, tzinfo=timezone.utc)


def distance(a, b):
    lat1, lon1 = map(math.radians, a)
    lat2, lon2 = map(math.radians, b)
    h = math.sin((lat2 - lat1) / 2) ** 2 + math.cos(lat1) * math.cos(lat2) * math.sin((lon2 - lon1) / 2) ** 2
    return 2 * EARTH_R * math.asin(math.sqrt(h))


def load(path):
    root = ET.parse(path).getroot()
    nodes = {}
    for n in root.iter('node'):
        nodes[n.get('id')] = (float(n.get('lat')), float(n.get('lon')))
    edges = {}  # node -> list of (node, metres, speed)
    towns = []
    for n in root.iter('node'):
        tags = {t.get('k'): t.get('v') for t in n.iter('tag')}
        if tags.get('place') in ('city', 'town', 'village'):
            towns.append(n.get('id'))
    for w in root.iter('way'):
        tags = {t.get('k'): t.get('v') for t in w.iter('tag')}
        speed = SPEEDS.get(tags.get('highway'))
        if not speed:
            continue
        refs = [nd.get('ref') for nd in w.iter('nd') if nd.get('ref') in nodes]
        oneway = tags.get('oneway') == 'yes' or tags.get('junction') == 'roundabout' or \
            tags.get('highway') == 'motorway'
        for a, b in zip(refs, refs[1:]):
            d = distance(nodes[a], nodes[b])
            edges.setdefault(a, []).append((b, d, speed))
            if not oneway:
                edges.setdefault(b, []).append((a, d, speed))
    return nodes, edges, towns


def fastest(edges, start, penalty=None):
    """Dijkstra on travel time; returns (time, previous) maps."""
    best = {start: 0.0}
    prev = {}
    heap = [(0.0, start)]
    while heap:
        t, n = heapq.heappop(heap)
        if t > best.get(n, float('inf')):
            continue
        for m, d, v in edges.get(n, ()):
            cost = d / (v / 3.6) * (penalty.get((n, m), 1.0) if penalty else 1.0)
            if t + cost < best.get(m, float('inf')):
                best[m] = t + cost
                prev[m] = n
                heapq.heappush(heap, (t + cost, m))
    return best, prev


def path_to(prev, start, end):
    out = [end]
    while out[-1] != start:
        out.append(prev[out[-1]])
    return out[::-1]


def nearest_road_node(nodes, edges, pos):
    return min(edges, key=lambda n: distance(nodes[n], pos))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    nodes, edges, towns = load(sys.argv[1])
    if not edges:
        sys.exit('demotrack: the region has no roads')
    centres = [nodes[t] for t in sorted(towns, key=int)] or [nodes[min(edges, key=int)]]
    start = nearest_road_node(nodes, edges, centres[0])
    best, prev = fastest(edges, start)
    # The farthest town that can be reached, else the farthest road node.
    goals = [nearest_road_node(nodes, edges, c) for c in centres[1:]]
    goals = [g for g in goals if g in best] or [max(best, key=best.get)]
    goal = max(goals, key=lambda g: best[g])
    there = path_to(prev, start, goal)
    # Back home, avoiding the way there where another road exists.
    used = {(a, b): 4.0 for a, b in zip(there, there[1:])}
    used.update({(b, a): 4.0 for a, b in zip(there, there[1:])})
    best2, prev2 = fastest(edges, goal, used)
    back = path_to(prev2, goal, start) if start in best2 else there[::-1]
    route = there + back[1:]
    speed_of = {}
    for n, out in edges.items():
        for m, d, v in out:
            speed_of[(n, m)] = v

    # One point a second along the polyline, slowing before sharp turns, with
    # the few decimetres of jitter a real receiver shows (deterministic).
    rng = random.Random(20261208)
    points = []
    t = 0.0
    carry = 0.0
    for i, (a, b) in enumerate(zip(route, route[1:])):
        pa, pb = nodes[a], nodes[b]
        d = distance(pa, pb)
        if d == 0:
            continue
        v = speed_of.get((a, b), 30) / 3.6
        if i + 2 < len(route):
            pc = nodes[route[i + 2]]
            h1 = math.atan2(pb[1] - pa[1], pb[0] - pa[0])
            h2 = math.atan2(pc[1] - pb[1], pc[0] - pb[0])
            turn = abs((h2 - h1 + math.pi) % (2 * math.pi) - math.pi)
            if turn > math.radians(45):
                v = min(v, 20 / 3.6)
        s = carry
        while s < d:
            f = s / d
            jitter_lat = rng.uniform(-2e-6, 2e-6)
            jitter_lon = rng.uniform(-3e-6, 3e-6)
            points.append((START + timedelta(seconds=t), pa[0] + (pb[0] - pa[0]) * f + jitter_lat,
                           pa[1] + (pb[1] - pa[1]) * f + jitter_lon))
            s += v
            t += 1.0
        carry = s - d
    with open(sys.argv[2], 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write('<gpx version="1.1" creator="demotrack" xmlns="http://www.topografix.com/GPX/1/1">\n')
        f.write('<trk><name>Demo</name><trkseg>\n')
        for when, lat, lon in points:
            f.write('<trkpt lat="%.7f" lon="%.7f"><ele>%.1f</ele><time>%s</time></trkpt>\n' %
                    (lat, lon, 150.0 + 20.0 * math.sin(lat * 900), when.strftime('%Y-%m-%dT%H:%M:%SZ')))
        f.write('</trkseg></trk>\n</gpx>\n')
    print('demotrack: %d points, %.1f km, %d min' %
          (len(points), sum(distance(nodes[a], nodes[b]) for a, b in zip(route, route[1:])) / 1000, len(points) // 60))


if __name__ == '__main__':
    main()

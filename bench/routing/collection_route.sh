#!/bin/sh
# The route between the two towns of the demo region that lie farthest
# apart, across its tiles: demogen --size N (default 200) compiled by velc
# as a folder of tiles, then bench_collection_route (first search with the
# members' graphs not yet built, then the same route with them built) and
# one whole `velmo-cli route` (process start, opening, graphs, search).
# Usage: bench/routing/collection_route.sh BUILD_NATIVE [SIZE] [WORKDIR]
set -eu
build=${1:?the native build folder}
size=${2:-200}
work=${3:-${TMPDIR:-/tmp}/velmo-collection-route}
mkdir -p "$work"
if [ ! -f "$work/tiles-$size/Index.vidx" ]; then
  "$build/tools/demogen/demogen" --size "$size" -o "$work/demo-$size.osm"
  rm -rf "$work/tiles-$size"
  "$build/tools/velc/velc" "$work/demo-$size.osm" -o "$work/tiles-$size/" --quiet
fi
index="$work/tiles-$size/Index.vidx"
# The two cities farthest apart.
set -- $("$build/tools/cli/velmo-cli" cities "$index" | python3 -c '
import math, re, sys
c = [tuple(map(float, m.groups())) for m in (re.search(r"\" ([-\d.]+),([-\d.]+)", l) for l in sys.stdin) if m]
d = lambda p, q: math.hypot(p[0] - q[0], (p[1] - q[1]) * math.cos(math.radians(p[0])))
a, b = max(((p, q) for p in c for q in c), key=lambda t: d(*t))
print(a[0], a[1], b[0], b[1])')
echo "tiles,$(ls "$work/tiles-$size"/*.vel | wc -l)"
echo "route,$1,$2,$3,$4"
"$build/bench/routing/bench_collection_route" "$work/tiles-$size/" "$1" "$2" "$3" "$4" --runs 5
python3 - "$build/tools/cli/velmo-cli" "$index" "$1" "$2" "$3" "$4" <<'PY'
import subprocess, sys, time
t = time.monotonic()
out = subprocess.run([sys.argv[1], "route"] + sys.argv[2:], stdout=subprocess.PIPE, check=True).stdout.decode()
ms = (time.monotonic() - t) * 1000
print("cli,%.1f,%s" % (ms, next(l for l in out.splitlines() if l.startswith("length"))))
PY

#!/bin/bash
# velc on large inputs: peak memory and seconds per million nodes with one
# thread and with two, beside Navit's maptool on the same file (when
# installed) and, with OLD_VELC, an earlier velc (or this one with the
# heap's large blocks kept in memory, a script that runs
# `exec velc --heap-spill 0 --jobs 1 "$@"`); then scripts/make-maps with
# four parts and two jobs against one velc run. One run of each, in one go, so the figures compare;
# with PAIRS=N, velc runs N times with one thread and with two in turns, and
# the table gives the medians (the ratio's range after it), as the machine's
# speed drifts from run to run.
#
#   [PAIRS=N] bench/map/velc_country.sh VELC VELMO_CLI IN.osm.pbf...
# (inputs: e.g. `demogen --size N` turned into PBF with `osmium cat`)
set -u
VELC=$(realpath "${1:?usage: velc_country.sh VELC VELMO_CLI IN.osm.pbf...}")
CLI=$(realpath "${2:?usage: velc_country.sh VELC VELMO_CLI IN.osm.pbf...}")
shift 2
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velc-country.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# run CMD... -> "seconds peak_MB" (or "failed"); peak RSS counts the pages of
# the memory-mapped temporary files too, which the system takes back when
# it needs them; ANON_PEAK is set to the peak of the anonymous memory alone
# (sampled every 0.2 s), what must fit in the machine's memory.
run() {
  /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" > "$WORK/log" 2>&1 &
  local pid=$! anon=0 a kids
  while kill -0 "$pid" 2> /dev/null; do
    kids=$(pgrep -P "$pid")
    for k in $kids; do
      a=$(awk '/^RssAnon/ {print $2}' "/proc/$k/status" 2> /dev/null)
      [ -n "$a" ] && [ "$a" -gt "$anon" ] && anon=$a
    done
    sleep 0.2
  done
  if ! wait "$pid"; then echo "failed"; tail -2 "$WORK/log" >&2; return; fi
  awk -v a="$anon" '{printf "%.1f %.0f %.0f", $1, $2 / 1024, a / 1024}' "$WORK/time"
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {if (NR % 2) print a[(NR + 1) / 2]; else printf "%.2f", (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
PAIRS=${PAIRS:-1}
per_m() { awk -v s="$1" -v n="$2" 'BEGIN {printf "%.2f", s / (n / 1e6)}'; }

echo "| input | M nodes | velc -j1 s | s/M nodes | peak RSS MB | anon MB | velc -j2 s | peak RSS MB | anon MB | -j1/-j2 | old velc s | old peak MB | old anon MB | maptool s | maptool peak MB | make-maps 4 parts -j2 s |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
for f in "$@"; do
  f=$(realpath "$f")
  nodes=$(osmium fileinfo -e -g data.count.nodes "$f")
  t1=() t2=() ratios=() m1=0 a1=0 m2=0 a2=0
  for ((k = 0; k < PAIRS; ++k)); do
    read -r s1 m a <<< "$(run "$VELC" "$f" -o "$WORK/j1/" --quiet --jobs 1)"
    [ "$s1" = failed ] && break
    t1+=("$s1") m1=$((m > m1 ? m : m1)) a1=$((a > a1 ? a : a1))
    read -r s2 m a <<< "$(run "$VELC" "$f" -o "$WORK/j2/" --quiet --jobs 2)"
    [ "$s2" = failed ] && break
    t2+=("$s2") m2=$((m > m2 ? m : m2)) a2=$((a > a2 ? a : a2))
    ratios+=("$(awk -v a="$s1" -v b="$s2" 'BEGIN {printf "%.2f", a / b}')")
    rm -rf "$WORK/j1" "$WORK/j2"
  done
  ratio=-
  if [ "${#ratios[@]}" -eq "$PAIRS" ]; then
    s1=$(median "${t1[@]}") s2=$(median "${t2[@]}") ratio=$(median "${ratios[@]}")
    [ "$PAIRS" -gt 1 ] && ratio="$ratio ($(printf '%s\n' "${ratios[@]}" | sort -g | sed -n '1p;$p' | paste -sd-))"
  fi
  so=- mo=- ao=-
  if [ -n "${OLD_VELC:-}" ]; then read -r so mo ao <<< "$(run "$OLD_VELC" "$f" -o "$WORK/old/")"; fi
  sm=- mm=-
  if command -v maptool > /dev/null; then
    read -r sm mm _ <<< "$(cd "$WORK" && run maptool --protobuf -i "$f" "$WORK/out.bin")"
    rm -f "$WORK"/*.tmp "$WORK/out.bin"
  fi
  # Four regions: the input's bounding box cut in quarters.
  read -r x0 y0 x1 y1 <<< "$(osmium fileinfo -e -g data.bbox "$f" | tr -d '()' | tr ',' ' ')"
  python3 - "$x0" "$y0" "$x1" "$y1" > "$WORK/r4.geojson" <<'PY'
import json, sys
x0, y0, x1, y1 = (float(v) for v in sys.argv[1:])
x0 -= 0.01; y0 -= 0.01; x1 += 0.01; y1 += 0.01
xm, ym = (x0 + x1) / 2, (y0 + y1) / 2
box = lambda a, b, c, d: {"type": "Polygon", "coordinates": [[[a, b], [c, b], [c, d], [a, d], [a, b]]]}
parts = [("sw", (x0, y0, xm, ym)), ("se", (xm, y0, x1, ym)), ("nw", (x0, ym, xm, y1)), ("ne", (xm, ym, x1, y1))]
print(json.dumps({"type": "FeatureCollection",
                  "features": [{"type": "Feature", "properties": {"name": n}, "geometry": box(*r)} for n, r in parts]}))
PY
  read -r sp mp _ <<< "$(run env VELC="$VELC" VELMO_CLI="$CLI" "$HERE/../../scripts/make-maps" "$f" "$WORK/r4.geojson" "$WORK/mm" -j2 --quiet)"
  echo "| $(basename "$f") | $(awk -v n="$nodes" 'BEGIN {printf "%.1f", n / 1e6}') | $s1 | $(per_m "$s1" "$nodes") | $m1 | $a1 | $s2 | $m2 | $a2 | $ratio | $so | $mo | $ao | $sm | $mm | $sp |"
  rm -rf "$WORK/j1" "$WORK/j2" "$WORK/old" "$WORK/mm"
done

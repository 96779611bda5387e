#!/bin/bash
# velc (with its road graph, and without it) against mkgmap (OSM -> Garmin
# IMG, without and with routing data: --route) and Navit's maptool (OSM ->
# binfile) on the same extracts, in one run: median wall time of N runs,
# peak RSS and output size for each tool.
#
#   bench/map/velc_vs_peers.sh VELC [RUNS] [EXTRACT.osm.pbf ...]
# (default extracts: ../shared/data/osm/*.osm.pbf; peers that are not
# installed are reported as missing). With VELC_TILES=1 velc writes a folder
# of tiles (needed for inputs larger than one map, such as
# `demogen --size 200` turned into PBF with `osmium cat`); the sizes are
# then those of all tiles and the index.
set -u
VELC=${1:?usage: velc_vs_peers.sh VELC [RUNS] [EXTRACT...]}
RUNS=${2:-3}
shift; shift || true
HERE=$(cd "$(dirname "$0")" && pwd)
EXTRACTS=("$@")
if [ ${#EXTRACTS[@]} -eq 0 ]; then EXTRACTS=("$HERE"/../../../shared/data/osm/*.osm.pbf); fi
WORK=$(mktemp -d /tmp/velc-peers.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# measure NAME OUTFILE CMD... -> "median_s peak_kb bytes" (or "failed")
measure() {
  local out=$1; shift
  local times=() peak=0
  for ((i = 0; i < RUNS; i++)); do
    rm -rf "$WORK/run"; mkdir -p "$WORK/run"
    if ! /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" > "$WORK/log" 2>&1; then echo "failed"; return; fi
    read -r t m < "$WORK/time"
    times+=("$t"); [ "$m" -gt "$peak" ] && peak=$m
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  local bytes
  bytes=$(stat -c %s $out 2>/dev/null | awk '{s+=$1} END {print s+0}')
  echo "$median $peak $bytes"
}

echo "| extract | input bytes | velc s | velc peak KB | .vel bytes | .vel bytes without graph | mkgmap s | mkgmap peak KB | .img bytes | mkgmap --route s | routable .img bytes | maptool s | maptool peak KB | .bin bytes |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for f in "${EXTRACTS[@]}"; do
  name=$(basename "$f" .osm.pbf)
  in_bytes=$(stat -c %s "$f")
  if [ "${VELC_TILES:-0}" = 1 ]; then
    v=$(measure "$WORK/run/tiles/*" "$VELC" "$f" -o "$WORK/run/tiles/")
    g=$(measure "$WORK/run/tiles/*" "$VELC" "$f" -o "$WORK/run/tiles/" --no-road-graph)
  else
    v=$(measure "$WORK/run/out.vel" "$VELC" "$f" -o "$WORK/run/out.vel")
    g=$(measure "$WORK/run/out.vel" "$VELC" "$f" -o "$WORK/run/out.vel" --no-road-graph)
  fi
  if command -v mkgmap > /dev/null; then
    m=$(measure "$WORK/run/out/*.img" mkgmap --output-dir="$WORK/run/out" --mapname=63240101 --family-id=6324 "$f")
    r=$(measure "$WORK/run/out/*.img" mkgmap --route --output-dir="$WORK/run/out" --mapname=63240101 --family-id=6324 "$f")
  else m="missing - -"; r="missing - -"; fi
  if command -v maptool > /dev/null; then
    # maptool leaves country_*.tmp scratch files in its working folder
    n=$(cd "$WORK" && measure "$WORK/run/out.bin" maptool --protobuf -i "$(realpath "$f")" "$WORK/run/out.bin")
  else n="missing - -"; fi
  read -r vt vm vb <<< "$v"; read -r gt gm gb <<< "$g"; read -r mt mm mb <<< "$m"; read -r rt rm rb <<< "$r"
  read -r nt nm nb <<< "$n"
  echo "| $name | $in_bytes | $vt | $vm | $vb | $gb | $mt | $mm | $mb | $rt | $rb | $nt | $nm | $nb |"
done

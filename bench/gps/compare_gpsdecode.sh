#!/bin/sh
# NMEA decode throughput of NMEA0183::ProcessData against gpsd's gpsdecode,
# on the same 50 MiB stream, in one run. Usage: compare_gpsdecode.sh BUILD_DIR
set -e
BUILD=${1:?usage: compare_gpsdecode.sh BUILD_DIR}
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS="$HERE/../../../shared/peers"
OUT="$BUILD/gps_bench"
mkdir -p "$OUT"
rm -f "$OUT/gpsdecode.csv"  # the peer script appends
"$BUILD/bench/gps/bench_gps" --benchmark_filter=BM_Nmea --benchmark_format=json > "$OUT/velmo.json"
python3 "$PEERS/bench_gpsdecode.py" "$OUT" "$OUT" --nmea "$BUILD/gps_nmea_stream.txt" --runs 3 | tee "$OUT/gpsdecode.txt"
python3 - "$OUT/velmo.json" "$OUT/gpsdecode.csv" <<'PY'
import csv, json, sys
v = json.load(open(sys.argv[1]))["benchmarks"][0]
ours = v["MiB/s"]
rows = list(csv.DictReader(open(sys.argv[2])))
peer = float(rows[-1]["mib_per_s"]) if rows and rows[-1].get("mib_per_s") else None  # this run: the last row
print("velmo NMEA0183: %.1f MiB/s, %.0f fixes/s" % (ours, v["fixes/s"]))
if peer:
    print("gpsdecode:      %.1f MiB/s" % peer)
    print("ratio:          %.1fx" % (ours / peer))
else:
    print("gpsdecode columns:", rows)
PY

#!/bin/sh
# Golden pictures of the trip computer and the satellite page drawn by the
# portable code on the software canvas with a fixed fix and satellite table
# (the picture tests of test_gauges). Each picture is compared with the stored
# PNG of this folder; at most 0.1 % of the pixels may differ at all.
#
#   tests/gauges/golden/run.sh TEST_GAUGES_BINARY [--rebuild]
#
# --rebuild stores the new pictures; look at them before committing.
set -e
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
rebuild=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
VELMO_GAUGE_PICTURES="$tmp" "$bin" --gtest_filter='SatellitePage.PictureOfAFixedSky:TripComputerPicture.*' \
  > "$tmp/log" 2>&1 || { cat "$tmp/log"; echo "FAIL: the picture tests failed"; exit 1; }
fail=0
for name in satellite_page trip_computer; do
  made="$tmp/${name}_test.png"
  golden="$here/$name.png"
  if [ ! -f "$made" ]; then
    echo "FAIL $name: no picture was drawn"
    fail=1
    continue
  fi
  if [ "$rebuild" = "--rebuild" ]; then
    cp "$made" "$golden"
    echo "rebuilt $name"
    continue
  fi
  if [ ! -f "$golden" ]; then
    echo "FAIL $name: no golden picture $golden"
    fail=1
    continue
  fi
  if [ "$(identify -format '%wx%h' "$made")" != "$(identify -format '%wx%h' "$golden")" ]; then
    echo "FAIL $name: the size changed ($(identify -format '%wx%h' "$made"))"
    fail=1
    continue
  fi
  differ=$(compare -metric AE "$golden" "$made" "$tmp/$name-diff.png" 2>&1 || true)
  limit=$(identify -format '%[fx:int(w*h/1000)]' "$golden")
  if [ "${differ%%.*}" -le "$limit" ] 2>/dev/null; then
    echo "ok $name ($differ pixels differ)"
  else
    cp "$made" "${TMPDIR:-/tmp}/${name}_new.png"
    echo "FAIL $name: $differ pixels differ (at most $limit); the new picture is ${TMPDIR:-/tmp}/${name}_new.png"
    fail=1
  fi
done
exit $fail

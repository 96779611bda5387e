#!/bin/sh
# Golden images of the map display drawn by real GDI under Wine: Monaco
# (compiled by the native velc from ../shared/data) at six scales, turned by
# 30° and with the night skin, rendered by the Windows velmo-cli and compared
# with the stored PNGs (at most 1 % of the pixels may differ by more than 8 %).
#
#   tests/render/golden/run.sh NATIVE_BUILD WINDOWS_BUILD [--rebuild]
#
# --rebuild writes new golden images; look at them before committing.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
native=$1
win=$2
rebuild=$3
pbf="$root/../shared/data/osm/monaco.osm.pbf"
if [ ! -f "$pbf" ]; then echo "SKIP: no $pbf"; exit 0; fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$native/tools/velc/velc" "$pbf" -o "$tmp/monaco.vel" > /dev/null
cp "$win/tools/cli/velmo-cli.exe" "$tmp/"
res=$(winepath -w "$root/render/res" 2>/dev/null || echo "Z:$root/render/res" | tr / '\\')
fail=0
render() {
  name=$1; shift
  (cd "$tmp" && "$root/scripts/wine-run" ./velmo-cli.exe render monaco.vel --lat 43.7384 --lon 7.4246 \
      --size 320x240 --map-only --res "$res" -o "$name.png" "$@" > /dev/null 2>&1)
  if [ "$rebuild" = "--rebuild" ]; then
    convert "$tmp/$name.png" -define png:compression-level=9 "$here/$name.png"
    echo "rebuilt $name"
    return
  fi
  differ=$(compare -metric AE -fuzz 8% "$here/$name.png" "$tmp/$name.png" null: 2>&1 || true)
  if [ "${differ%%.*}" -gt 768 ] 2>/dev/null; then
    echo "FAIL $name: $differ pixels differ"
    fail=1
  else
    echo "ok $name ($differ pixels differ)"
  fi
}
for scale in 3 5 7 9 11 13; do render "monaco_$scale" --scale $scale; done
render monaco_6_turned --scale 6 --angle 30
render monaco_6_night --scale 6 --night
exit $fail

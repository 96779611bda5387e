#!/bin/sh
# Golden images of the map display drawn by real GDI under Wine, run by ctest
# in the Windows build. Monaco twice, from ../shared/data:
#   - compiled by the native velc (goldens in tests/render/golden: six scales,
#     turned by 30° and with the night skin);
#   - the IMG map monaco-6bit.img read directly (goldens here, three scales,
#     the same centre, size and styles as the compiled map);
# and the demo region (demogen + velc of the native build; goldens here, six
# scales, turned by 30° and with the night skin).
# Each picture is drawn by the Windows velmo-cli and compared with the stored
# PNG: at most 1 % of the pixels may differ by more than 8 %.
#
#   tests/golden/run.sh NATIVE_BUILD WINDOWS_BUILD [--rebuild]
#
# Exit 77 (skipped) without the shared data or the native velc.
# --rebuild writes new IMG and demo golden images here (those of the compiled map are
# rebuilt by tests/render/golden/run.sh); look at them before committing.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$1
win=$2
rebuild=$3
data="$root/../shared/data"
pbf="$data/osm/monaco.osm.pbf"
img="$data/img/monaco-6bit.img"
velc="$native/tools/velc/velc"
demogen="$native/tools/demogen/demogen"
cli="$win/tools/cli/velmo-cli.exe"
for f in "$pbf" "$img" "$velc" "$demogen"; do
  if [ ! -f "$f" ]; then echo "SKIP: no $f"; exit 77; fi
done
if [ ! -f "$cli" ]; then echo "FAIL: no $cli (build the velmo-cli target)"; exit 1; fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$velc" "$pbf" -o "$tmp/monaco.vel" > /dev/null
"$demogen" --size 1 -o "$tmp/demo.osm" > /dev/null
"$velc" "$tmp/demo.osm" -o "$tmp/demo.vel" > /dev/null
cp "$cli" "$img" "$tmp/"
res=$(winepath -w "$root/render/res" 2>/dev/null || echo "Z:$root/render/res" | tr / '\\')
fail=0
# render GOLDEN_DIR NAME MAP_FILE ARGS... (centre: $lat $lon)
lat=43.7384 lon=7.4246
render() {
  dir=$1 name=$2 map=$3; shift 3
  rm -f "$tmp/$name.png"
  (cd "$tmp" && "$root/scripts/wine-run" ./velmo-cli.exe render "$map" --lat $lat --lon $lon \
      --size 320x240 --map-only --res "$res" -o "$name.png" "$@" > "$name.log" 2>&1) || true
  if [ ! -s "$tmp/$name.png" ]; then
    echo "FAIL $name: velmo-cli wrote no picture"
    cat "$tmp/$name.log"
    fail=1
    return
  fi
  if [ "$rebuild" = "--rebuild" ] && [ "$dir" = "$here" ]; then
    convert "$tmp/$name.png" -define png:compression-level=9 "$dir/$name.png"
    echo "rebuilt $dir/$name.png"
    return
  fi
  if [ ! -f "$dir/$name.png" ]; then
    echo "FAIL $name: no golden $dir/$name.png"
    fail=1
    return
  fi
  differ=$(compare -metric AE -fuzz 8% "$dir/$name.png" "$tmp/$name.png" null: 2>&1) || true
  case "$differ" in
    ''|*[!0-9.e+]*) echo "FAIL $name: cannot compare ($differ)"; fail=1 ;;
    *)
      if [ "${differ%%.*}" -gt 768 ]; then
        echo "FAIL $name: $differ pixels differ"
        cp "$tmp/$name.png" "${TMPDIR:-/tmp}/velmo-golden-$name.png" && echo "  drawn: ${TMPDIR:-/tmp}/velmo-golden-$name.png"
        fail=1
      else
        echo "ok $name ($differ pixels differ)"
      fi ;;
  esac
}
vel="$root/tests/render/golden"
for scale in 3 5 7 9 11 13; do render "$vel" "monaco_$scale" monaco.vel --scale $scale; done
render "$vel" monaco_6_turned monaco.vel --scale 6 --angle 30
render "$vel" monaco_6_night monaco.vel --scale 6 --night
for scale in 3 7 11; do render "$here" "monaco_img_$scale" monaco-6bit.img --scale $scale; done
# The demo region in the town Берёзовка: streets, a park, the river.
lat=54.9910 lon=37.0317
for scale in 4 7 10 12 14 17; do render "$here" "demo_$scale" demo.vel --scale $scale; done
render "$here" demo_12_turned demo.vel --scale 12 --angle 30
render "$here" demo_12_night demo.vel --scale 12 --night
exit $fail

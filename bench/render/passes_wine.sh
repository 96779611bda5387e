#!/bin/sh
# Full passes of the map display in a 1024 x 768 view at scales 2, 4, 6, 8,
# 12, 16 and 20 (or SCALES="..."): the Windows build through real GDI under
# Wine, and the native build through the software canvas, for the demo
# region and for Monaco.
# Prints one line per view with the median pass of each (velmo-cli render
# --passes). Needs both builds (scripts/build all). Where a pass's time
# goes (map walk, labels, each canvas call): bench/render/pass_profile.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
native=${VELMO_BUILD_NATIVE:-$top/build/native}
win=${VELMO_BUILD_WIN:-$top/build/win}
passes=${PASSES:-15}
scales=${SCALES:-2 4 6 8 12 16 20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$native/tools/demogen/demogen" --size 1 -o "$work/demo.osm" >/dev/null
"$native/tools/velc/velc" "$work/demo.osm" -o "$work/demo.vel" >/dev/null
# The middle of a map's bounds as "lat lon".
centre() {
  "$native/tools/cli/velmo-cli" info "$1" | sed -n 's/^bounds: \([-0-9.]*\),\([-0-9.]*\) \([-0-9.]*\),\([-0-9.]*\)$/\2 \4 \1 \3/p' |
    awk '{ printf "%.6f %.6f\n", ($1 + $2) / 2, ($3 + $4) / 2 }'
}
maps="demo $(centre "$work/demo.vel")"
monaco=$top/../shared/data/osm/monaco.osm.pbf
if [ -f "$monaco" ]; then
  "$native/tools/velc/velc" "$monaco" -o "$work/monaco.vel" >/dev/null
  maps="$maps
monaco $(centre "$work/monaco.vel")"
fi

median() { sed -n 's/^passes: [0-9]*, median \([0-9.]*\) ms.*/\1/p'; }

printf '%-8s %5s %12s %14s\n' map scale "GDI (Wine)" "software"
echo "$maps" | while read -r name lat lon; do
  for scale in $scales; do
    args="--lat $lat --lon $lon --scale $scale --size 1024x768 --res $top/render/res --passes $passes"
    gdi=$(WINEDEBUG=-all "$top/scripts/wine-run" "$win/tools/cli/velmo-cli.exe" render "$work/$name.vel" $args \
      -o "$work/$name-$scale-gdi.png" 2>/dev/null | median)
    soft=$("$native/tools/cli/velmo-cli" render "$work/$name.vel" $args -o "$work/$name-$scale.png" | median)
    printf '%-8s %5s %9s ms %11s ms\n' "$name" "$scale" "$gdi" "$soft"
  done
done

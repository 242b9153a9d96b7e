#!/usr/bin/env bash
# The Linux program's view after "Generate", pixel for pixel the picture koravel-export --render
# draws at the same size. Runs on the current X display. Usage: export_view_test.sh BUILD_DIR OUT_DIR
set -u
build=$1
out=$2
mkdir -p "$out"
rm -f "$out"/*.png

"$build/app/koravel" &
program=$!
trap 'kill "$program" 2>/dev/null' EXIT

window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Koravel$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "FAILED: the Koravel window did not appear"; exit 1; }
sleep 0.5

geometry=$(xwininfo -id "$window")
originX=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$geometry")
originY=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$geometry")
width=$(awk '/Width:/ {print $NF}' <<<"$geometry")
height=$(awk '/Height:/ {print $NF}' <<<"$geometry")
# The view fills the client area but for a one-pixel margin and the panel's 152 columns.
viewX=$((originX + 1)) viewY=$((originY + 1)) viewW=$((width - 153)) viewH=$((height - 2))
panelX=$((originX + width - 152)) panelY=$((originY + 1))

"$build/tools/panel-geometry" >"$out/panel.txt" || { echo "FAILED: no panel geometry"; exit 1; }
read -r _ left top right bottom < <(awk '$1 == 1007' "$out/panel.txt")  # "Generate"
xdotool mousemove $((panelX + (left + right) / 2)) $((panelY + (top + bottom) / 2)) click 1
sleep 1
import -window root -crop "${viewW}x${viewH}+${viewX}+${viewY}" +repage "$out/view.png"

"$build/tools/koravel-export" --render "$out/export.png" --view "${viewW}x${viewH}" >/dev/null ||
  { echo "FAILED: koravel-export --render"; exit 1; }
differing=$(compare -metric AE "$out/view.png" "$out/export.png" "$out/difference.png" 2>&1)
echo "view ${viewW}x${viewH}: ${differing} pixels differ"
[ "$differing" = "0" ]

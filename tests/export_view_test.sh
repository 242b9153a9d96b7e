#!/usr/bin/env bash
# The Linux program's view after "Generate", pixel for pixel the picture koravel-export --render
# draws at the same size. Runs on the current X display. Usage: export_view_test.sh BUILD_DIR OUT_DIR
set -u
build=$1 out=$2
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

# The client area is the window's one child X window, below the menu bar: "WxH+x+y  +absX+absY".
read -r width height originX originY < <(xwininfo -children -id "$window" |
  awk '/^ +0x/ {split($(NF-1), size, /[x+]/); split($NF, place, "+"); print size[1], size[2], place[2], place[3]; exit}')
# The view fills it but for a one-pixel margin and the panel's 152 columns; its viewport has the
# view's size, but the picture shows inside the view's one-pixel border: all of the viewport but
# the top two rows and the right two columns.
viewW=$((width - 153)) viewH=$((height - 2))
shownX=$((originX + 2)) shownY=$((originY + 2)) shownW=$((viewW - 2)) shownH=$((viewH - 2))
panelX=$((originX + width - 152)) panelY=$((originY + 1))

"$build/tools/panel-geometry" >"$out/panel.txt" || { echo "FAILED: no panel geometry"; exit 1; }
read -r _ left top right bottom < <(awk '$1 == 1007' "$out/panel.txt")  # "Generate"
xdotool mousemove $((panelX + (left + right) / 2)) $((panelY + (top + bottom) / 2)) click 1
sleep 1
import -window root -crop "${shownW}x${shownH}+${shownX}+${shownY}" +repage "$out/view.png"

"$build/tools/koravel-export" --render "$out/export.png" --view "${viewW}x${viewH}" >/dev/null ||
  { echo "FAILED: koravel-export --render"; exit 1; }
convert "$out/export.png" -crop "${shownW}x${shownH}+0+2" +repage "$out/export-shown.png"
differing=$(compare -metric AE "$out/view.png" "$out/export-shown.png" "$out/difference.png" 2>&1)
echo "view ${viewW}x${viewH}: ${differing} pixels differ"
# The view's framebuffer is two pixels smaller than its viewport, the offscreen one is the viewport's
# size; Mesa's rasteriser then settles a handful of pixels on triangle edges (4 of 615,000) the other way.
[ -n "$differing" ] && [ "$differing" -le 16 ] 2>/dev/null

#!/usr/bin/env bash
# Drives the Linux koravel as a user would on the current X display: generate, turn, tilt, type a
# seed, press Tab in a field, right-click buttons, export through the dialog (Ctrl+E) and save the
# picture (Ctrl+P), export 8193 x 8193 while turning the view, run "Single", close. Checks the
# pictures and files on the way and prints the frame rate, the export's time and the final
# screenshot. Usage: drive-koravel.sh BUILD_DIR OUT_DIR
set -u
build=$1
out=$2
mkdir -p "$out"
rm -rf "$out"/*.png "$out/texts.log" "$out/export" "$out/tool"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The program built with the logs of unattended runs: the shipped one keeps no such log.
export KORAVEL_TEXT_LOG="$out/texts.log"
"$build/app/koravel-unattended" &
program=$!
# Whatever happens below, the program does not outlive the run.
trap 'kill "$program" 2>/dev/null' EXIT

window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Koravel$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "FAILED: the Koravel window did not appear"
  kill "$program" 2>/dev/null
  exit 1
fi
sleep 0.5
xprop -id "$window" _NET_WM_ICON 2>/dev/null | grep -q "Icon (48 x 48)" || fail "the window has no icon"

# The window's client area on the screen (its one child X window, below the menu bar: "WxH+x+y  +absX+absY"),
# the view inside it and the panel's controls.
read -r width height originX originY < <(xwininfo -children -id "$window" |
  awk '/^ +0x/ {split($(NF-1), size, /[x+]/); split($NF, place, "+"); print size[1], size[2], place[2], place[3]; exit}')
viewX=$((originX + 1)) viewY=$((originY + 1)) viewW=$((width - 153)) viewH=$((height - 2))
panelX=$((originX + width - 152)) panelY=$((originY + 1))
if ! "$build/tools/panel-geometry" >"$out/panel.txt"; then
  echo "FAILED: the panel's geometry could not be read"
  exit 1
fi

click_control() {  # click_control ID [BUTTON]: the left button unless another is named (with click's options)
  local id=$1 button=${2:-1} left="" top="" right="" bottom=""
  read -r _ left top right bottom < <(awk -v id="$id" '$1 == id' "$out/panel.txt")
  if [ -z "$bottom" ]; then
    fail "no control $id in the panel"
    return
  fi
  # shellcheck disable=SC2086  # the button may come with click's options
  xdotool mousemove $((panelX + (left + right) / 2)) $((panelY + (top + bottom) / 2)) click $button
}

type_into() {  # type_into ID TEXT: replaces a field's text as a user does (Ctrl+A is no key of Windows edits)
  click_control "$1"
  xdotool key Home shift+End type "$2"
}

drag() {  # drag BUTTON DX DY from the middle of the view, in small steps
  local button=$1 dx=$2 dy=$3 x=$((viewX + viewW / 2)) y=$((viewY + viewH / 2))
  xdotool mousemove "$x" "$y" mousedown "$button"
  for step in 1 2 3 4 5; do
    xdotool mousemove $((x + dx * step / 5)) $((y + dy * step / 5))
    sleep 0.05
  done
  xdotool mouseup "$button"
}

shot() {  # the view's pixels as NAME.png
  sleep 0.5
  import -window root -crop "${viewW}x${viewH}+${viewX}+${viewY}" +repage "$out/$1.png"
}

control_shot() {  # control_shot ID NAME: a panel control's pixels as NAME.png
  local left="" top="" right="" bottom=""
  read -r _ left top right bottom < <(awk -v id="$1" '$1 == id' "$out/panel.txt")
  import -window root -crop "$((right - left))x$((bottom - top))+$((panelX + left))+$((panelY + top))" +repage \
    "$out/$2.png"
}

lit_fraction() {
  convert "$out/$1.png" -colorspace gray -threshold 3% -format "%[fx:mean]" info:
}

changed_pixels() {
  compare -metric AE -fuzz 2% "$out/$1.png" "$out/$2.png" null: 2>&1 | cut -d' ' -f1
}

# a > b, for two numbers; an empty measurement (a failed tool) is never above anything.
above() { [ -n "$1" ] && [ -n "$2" ] && awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# "Single" clicked while a long "Generate" still blocks the program: the rate it reports must be
# that of its own 72 steps, not reach back over the freeze to the last tick before it. Held
# against an ordinary run on the same terrain just after; if generation ever becomes quick,
# there is little freeze to count and the case still holds.
single_after_generate() {
  local count ordinary late start elapsed
  frame_rates() { awk -F'\t' '$1 == 1013 && $2 ~ /^Fps: / {print substr($2, 6)}' "$out/texts.log" 2>/dev/null; }
  next_frame_rate() {  # the first frame rate written after the first $1
    local rate=""
    for _ in $(seq 1200); do
      rate=$(frame_rates | sed -n "$(($1 + 1))p")
      [ -n "$rate" ] && break
      sleep 0.1
    done
    echo "$rate"
  }
  # The slowest settings the limits accept, and a burst of "Generate" clicks that keeps the
  # program busy, taking no tick, for well over a run's 360 ms: a rate reaching back over the
  # freeze would be less than half an ordinary run's.
  for field in "1025 4094" "1024 0" "1026 64"; do
    set -- $field
    type_into "$1" "$2"
  done
  count=$(frame_rates | wc -l)
  start=$(date +%s%N)
  click_control 1007 "--repeat 60 --delay 1 1"
  click_control 1006
  late=$(next_frame_rate "$count")
  elapsed=$((($(date +%s%N) - start) / 1000000))
  click_control 1006
  ordinary=$(next_frame_rate $((count + 1)))
  echo "Single after Generate: Fps: $late; an ordinary run: Fps: $ordinary; click to rate: $elapsed ms"
  above "$late" "$(awk -v rate="$ordinary" 'BEGIN { print rate / 2 }')" ||
    fail "\"Single\" after a long Generate reported $late frames per second, an ordinary run $ordinary"
}

same_picture() { [ "$(changed_pixels "$1" "$2")" = 0 ]; }

# Waits until the program has done what it was asked (a generation takes a while): until it has used
# less than a tenth of a core for 0.3 s, at most 15 s.
settle() {
  local before after
  for _ in $(seq 50); do
    before=$(awk '{print $14 + $15}' "/proc/$program/stat" 2>/dev/null) || return
    sleep 0.3
    after=$(awk '{print $14 + $15}' "/proc/$program/stat" 2>/dev/null) || return
    [ $((after - before)) -lt 3 ] && return
  done
}

# The program has no dialog navigation: Tab in Random Seed neither moves on to Freq. Scale nor types a
# character, so "5", Tab, "7" makes the seed 57 and leaves Freq. Scale alone.
check_tab_stays_in_the_field() {
  type_into 1022 5
  xdotool key Tab type 7
  click_control 1007
  settle
  shot tabbed
  type_into 1022 57
  type_into 1024 6
  click_control 1007
  settle
  shot seed57
  same_picture tabbed seed57 || fail "Tab in Random Seed moved on or typed: the terrain is not seed 57's"
}

# Buttons act on the left button only: a right click on "Generate" generates nothing and one on
# "Create River" ticks nothing.
check_right_clicks_do_nothing() {
  type_into 1022 99
  click_control 1007
  settle
  shot seed99
  control_shot 1021 riverBefore
  type_into 1022 98
  click_control 1007 3
  click_control 1021 3
  settle
  shot rightClicked
  control_shot 1021 riverAfter
  same_picture seed99 rightClicked || fail "a right click on Generate generated"
  same_picture riverBefore riverAfter || fail "a right click on Create River ticked it"
}

# ---- The menu's commands: the export dialog and the saved picture ----

wait_for_window() {  # wait_for_window TITLE-PATTERN: its X window, once shown (at most 20 s)
  local found=""
  for _ in $(seq 200); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$found" ] && break
    sleep 0.1
  done
  echo "$found"
}

wait_for_no_window() {  # wait_for_no_window TITLE-PATTERN SECONDS: true once none is shown
  for _ in $(seq $(($2 * 10))); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

keys_over_the_view() {  # the program's keys go to the window under the pointer
  xdotool mousemove $((viewX + 20)) $((viewY + 20)) key "$@"
}

dialogX="" dialogY=""
open_export_dialog() {  # Ctrl+E; the dialog's place and its controls' geometry
  local dialog
  keys_over_the_view ctrl+e
  dialog=$(wait_for_window '^Export Terrain$')
  [ -n "$dialog" ] || { fail "Ctrl+E opened no \"Export Terrain\" dialog"; return 1; }
  dialogX=$(xwininfo -id "$dialog" | awk '/Absolute upper-left X/ {print $NF}')
  dialogY=$(xwininfo -id "$dialog" | awk '/Absolute upper-left Y/ {print $NF}')
  "$build/tools/panel-geometry" ExportDlg >"$out/export-dialog.txt" || { fail "no geometry of the export dialog"; return 1; }
}

click_in_dialog() {  # click_in_dialog ID
  local left="" top="" right="" bottom=""
  read -r _ left top right bottom < <(awk -v id="$1" '$1 == id' "$out/export-dialog.txt")
  [ -n "$bottom" ] || { fail "no control $1 in the export dialog"; return; }
  xdotool mousemove $((dialogX + (left + right) / 2)) $((dialogY + (top + bottom) / 2)) click 1
}

type_in_dialog() {  # type_in_dialog ID TEXT
  click_in_dialog "$1"
  xdotool key Home shift+End type "$2"
}

answer_save_dialog() {  # answer_save_dialog TITLE PATH: the save-file dialog's name, typed, and Return
  local chooser
  chooser=$(wait_for_window "^$1\$")
  [ -n "$chooser" ] || { fail "no \"$1\" dialog"; return 1; }
  sleep 1
  xdotool windowfocus --sync "$chooser" key ctrl+a type "$2"
  xdotool key Return
}

# The terrain on view (seed 4321 with a river) exported at 257 a side as a PNG heightmap with its water
# mask, colour map and glTF mesh, the name chosen with "Browse...", "Export" pressed with Return: the
# same bytes as koravel-export's.
export_through_the_dialog() {
  for field in "1020 8" "1022 4321" "1024 6" "1025 4" "1029 0.4" "1026 5"; do
    set -- $field
    type_into "$1" "$2"
  done
  click_control 1021
  click_control 1007
  settle
  shot beforeExport
  open_export_dialog || return
  mkdir -p "$out/export" "$out/tool"
  type_in_dialog 1101 257
  for check in 1121 1122 1123; do click_in_dialog "$check"; done
  click_in_dialog 1103
  answer_save_dialog "Export Heightmap As" "$out/export/hm" || return
  sleep 0.5
  click_in_dialog 1102
  xdotool key End Return
  wait_for_no_window '^Export Terrain$' 60 || { fail "the export dialog did not close after Export"; return; }
  # Nothing draws the view after the export: where the dialog and the save-file dialog were, it shows its
  # picture again by itself.
  shot afterExport
  same_picture beforeExport afterExport ||
    fail "the closed dialogs stay painted over the view ($(changed_pixels beforeExport afterExport) pixels differ)"
  "$build/tools/koravel-export" --seed 4321 --river --size 257 --heights "$out/tool/hm.png" \
    --water "$out/tool/hm_water.png" --colour "$out/tool/hm_colour.png" --mesh "$out/tool/hm.glb" >/dev/null
  local name
  for name in hm.png hm_water.png hm_colour.png hm.glb; do
    cmp -s "$out/export/$name" "$out/tool/$name" || fail "the dialog's $name differs from koravel-export's"
  done
  [ "$(ls "$out/export" | wc -l)" -eq 4 ] || fail "the dialog wrote $(ls "$out/export" | tr '\n' ' ')"
}

# Ctrl+P saves the view's pixels: the same as a screenshot of the view, inside its border.
save_the_picture() {
  keys_over_the_view ctrl+p
  answer_save_dialog "Save Picture" "$out/picture.png" || return
  for _ in $(seq 50); do [ -s "$out/picture.png" ] && break; sleep 0.1; done
  [ -s "$out/picture.png" ] || { fail "Ctrl+P saved no picture"; return; }
  click_control 1015  # "Redraw": the same frame again, wherever the save-file dialog was
  sleep 0.5
  import -window root -crop "$((viewW - 2))x$((viewH - 2))+$((viewX + 1))+$((viewY + 1))" +repage "$out/picture-screen.png"
  same_picture picture picture-screen || fail "the saved picture is not the view on the screen ($(changed_pixels picture picture-screen) pixels differ)"
}

# An 8193 x 8193 PNG heightmap of the default terrain exported from the dialog while the view is
# dragged round: the view turns while the export runs. Prints the export's time.
export_8193_while_turning() {
  for field in "1022 0"; do
    set -- $field
    type_into "$1" "$2"
  done
  click_control 1021
  click_control 1007
  settle
  open_export_dialog || return
  type_in_dialog 1101 8193
  for check in 1121 1122 1123; do click_in_dialog "$check"; done  # ticked last time
  type_in_dialog 1102 "$out/export/big.png"
  # The view's left part, clear of the dialog in the middle of the screen.
  local x=$((viewX + 40)) y=$((viewY + viewH / 2)) width=$((dialogX - viewX - 80)) turns=0 drags=0 start elapsed
  view_part() { import -window root -crop "${width}x200+${viewX}+$((y - 100))" +repage "$out/$1.png"; }
  view_part turning0
  start=$(date +%s%N)
  click_in_dialog 1
  while xdotool search --onlyvisible --name '^Export Terrain$' >/dev/null 2>&1; do
    xdotool mousemove "$x" "$y" mousedown 1 mousemove $((x + 30)) "$y" sleep 0.05 mouseup 1
    drags=$((drags + 1))
    view_part "turning$drags"
    above "$(changed_pixels "turning$((drags - 1))" "turning$drags")" 500 && turns=$((turns + 1))
    [ $(($(date +%s%N) - start)) -gt 120000000000 ] && break
  done
  elapsed=$((($(date +%s%N) - start) / 1000000))
  echo "8193 x 8193 PNG export from the dialog: $elapsed ms (click to the dialog closing); the view turned $turns times in $drags drags meanwhile"
  [ -s "$out/export/big.png" ] || fail "the 8193 export wrote no file"
  [ "$turns" -ge 2 ] || fail "the view did not turn while the export ran ($turns of $drags drags)"
}

shot before
lit=$(lit_fraction before)
[ -n "$lit" ] && above 0.01 "$lit" || fail "the view is not black before the first terrain (lit fraction '$lit')"

click_control 1007
shot generated
lit=$(lit_fraction generated)
above "$lit" 0.2 || fail "no terrain in the view after Generate (lit fraction $lit)"
read -r green red < <(convert "$out/generated.png" -format "%[fx:mean.g] %[fx:mean.r]" info:)
above "$green" "$red" || fail "the terrain is not coloured by its green ramp (green $green, red $red)"

drag 1 80 0
shot turned
above "$(changed_pixels generated turned)" 5000 || fail "a left drag did not turn the terrain"

drag 3 0 40
shot tilted
above "$(changed_pixels turned tilted)" 5000 || fail "a right drag did not tilt the terrain"

type_into 1022 1234
click_control 1007
shot reseeded
above "$(changed_pixels tilted reseeded)" 5000 || fail "another seed gave the same terrain"

check_tab_stays_in_the_field
check_right_clicks_do_nothing
export_through_the_dialog
save_the_picture
export_8193_while_turning

click_control 1006
frameRate=""
for _ in $(seq 300); do
  frameRate=$(awk -F'\t' '$1 == 1013 && $2 ~ /^Fps: / {print $2}' "$out/texts.log" 2>/dev/null | tail -n 1)
  [ -n "$frameRate" ] && break
  sleep 0.1
done
[ -n "$frameRate" ] || fail "\"Single\" wrote no frame rate"
sleep 0.3
import -window "$window" "$out/koravel.png"
above "$(lit_fraction reseeded)" 0.2 || fail "the terrain vanished"

single_after_generate

"$build/tools/close-window" "$window"
status=""
for _ in $(seq 100); do
  kill -0 "$program" 2>/dev/null || { wait "$program"; status=$?; break; }
  sleep 0.1
done
if [ -z "$status" ]; then
  kill "$program" 2>/dev/null
  fail "the program did not end when its window was closed"
elif [ "$status" -ne 0 ]; then
  fail "the program ended with exit code $status"
fi

echo "screenshot: $out/koravel.png"
echo "${frameRate:-Fps: (none)}"
[ "$failures" -eq 0 ] && echo "end-to-end run passed" || echo "end-to-end run failed"
[ "$failures" -eq 0 ]

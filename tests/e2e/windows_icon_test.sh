#!/usr/bin/env bash
# koravel.exe shows its icon: Wine gives the main window's X window the class's icon as
# _NET_WM_ICON, whose 32 x 32 image must be the icon drawn at that size.
# Usage (on a display, with Wine's prefix in WINEPREFIX): windows_icon_test.sh KORAVEL_EXE ICON_32_PNG
set -u
program=$1 drawn=$2
wine "$program" &
running=$!
window=""
for _ in $(seq 300); do
  window=$(xdotool search --onlyvisible --name '^Koravel$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "FAILED: no Koravel window appeared"; wineserver -k; exit 1; }
sleep 1
# ARGB as decimal numbers: width, height and pixels of each image in turn; the 32 x 32 one's pixels.
shown=$(xprop -id "$window" -notype -f _NET_WM_ICON 32c _NET_WM_ICON | sed 's/^[^=]*=//' | tr ',' '\n' |
  awk 'NF { v[n++] = $1 + 0 } END {
    for (i = 0; i + 1 < n; i += 2 + v[i] * v[i + 1]) if (v[i] == 32) for (k = 0; k < 1024; k++) print v[i + 2 + k] % 4294967296 }')
expected=$(convert "$drawn" -depth 8 rgba:- | od -An -v -tu1 -w4 |
  awk '{ print $4 * 16777216 + $1 * 65536 + $2 * 256 + $3 }')
xdotool windowfocus --sync "$window" key alt+F4
wait "$running"
status=$?
[ -n "$shown" ] || { echo "FAILED: the window has no 32 x 32 icon"; exit 1; }
[ "$shown" = "$expected" ] || { echo "FAILED: the window's icon is not Koravel's ($(diff <(echo "$shown") <(echo "$expected") | grep -c '^<') pixels differ)"; exit 1; }
[ "$status" -eq 0 ] || { echo "FAILED: koravel.exe ended with exit code $status"; exit 1; }
echo "the window shows Koravel's icon"

#!/usr/bin/env bash
# Runs a command under Debian's openbox (a window manager without a compositor) on the current
# display, then ends openbox. Usage: with-openbox.sh COMMAND...
set -u
log=$(mktemp)
openbox --sm-disable >"$log" 2>&1 &
manager=$!
trap 'kill "$manager" 2>/dev/null; wait "$manager" 2>/dev/null; rm -f "$log"' EXIT
# Running once it has named itself on the root window (EWMH's supporting-WM check).
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  kill -0 "$manager" 2>/dev/null || { echo "with-openbox: openbox did not start:"; cat "$log"; exit 1; }
  sleep 0.1
done
"$@"

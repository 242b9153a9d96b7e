#!/usr/bin/env bash
# Runs a command on a private virtual X display (Xvfb) of its own, then stops the display.
set -u

display=""
server=""
for number in $(seq 90 250); do
  [ -e "/tmp/.X$number-lock" ] && continue
  Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 100); do
    xdpyinfo -display ":$number" >/dev/null 2>&1 && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$server" 2>/dev/null && xdpyinfo -display ":$number" >/dev/null 2>&1; then
    display=":$number"
    break
  fi
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
done
if [ -z "$display" ]; then
  echo "with-xvfb: no virtual display could be started" >&2
  exit 1
fi

DISPLAY="$display" "$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status

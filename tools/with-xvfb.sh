#!/usr/bin/env bash
# Runs a command on a private virtual X display (Xvfb) of its own, then stops the display.
set -u

numberFile=$(mktemp)
server=""
stop() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -f "$numberFile"
}
trap stop EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number itself and writes it out once it accepts clients. It never resets
# when its last client leaves: a program connecting just then would be refused.
# KORAVEL_XVFB_OPTIONS adds options of Xvfb's own, such as "-extension Composite".
# shellcheck disable=SC2086  # several options, split at spaces
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset ${KORAVEL_XVFB_OPTIONS:-} 3>"$numberFile" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do
  [ -s "$numberFile" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
number=$(tr -d '[:space:]' <"$numberFile")
if [ -z "$number" ]; then
  echo "with-xvfb: no virtual display could be started" >&2
  exit 1
fi

DISPLAY=":$number" "$@"

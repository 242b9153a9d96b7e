#!/usr/bin/env bash
# Measures how often an idle Koravel wakes up: context switches per second of all its threads over a
# quiet period on a virtual display. For the Windows program under Wine it also measures the Wine server
# of its prefix, first without the program and then with it, since Wine's own services wake it too.
# Usage: measure-idle.sh PROGRAM [SECONDS]   (PROGRAM: build/linux/app/koravel or build/windows/app/koravel.exe)
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$1
seconds=${2:-20}

if [ -z "${MEASURE_IDLE_ON_DISPLAY:-}" ]; then
  MEASURE_IDLE_ON_DISPLAY=1 exec "$here/with-xvfb.sh" "$0" "$@"
fi

# Voluntary and involuntary context switches of every thread of a process, summed.
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^voluntary_ctxt_switches/ {v += $2} /^nonvoluntary_ctxt_switches/ {n += $2} END {print v + 0, n + 0}'
}

declare -A before
report() {  # report NAME PID: switches per second since before[PID]
  local name=$1 pid=$2 v0 n0 v1 n1
  read -r v0 n0 <<<"${before[$pid]}"
  read -r v1 n1 <<<"$(switches "$pid")"
  awk -v name="$name" -v v=$((v1 - v0)) -v n=$((n1 - n0)) -v s="$seconds" -v t="$(ls /proc/"$pid"/task | wc -l)" \
    'BEGIN { printf "%s: %.2f wake-ups/s (%d voluntary, %d involuntary switches in %d s; %d threads)\n", name, (v + n) / s, v, n, s, t }'
}

server=""
if [[ $program == *.exe ]]; then
  if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX=$(mktemp -d)
    export WINEPREFIX
    trap 'wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
  else
    trap 'wineserver -k 2>/dev/null' EXIT
  fi
  export WINEDEBUG=-all
  # The server of this prefix, started here so that its process is known.
  wineserver -k 2>/dev/null
  wineserver -f -p &
  server=$!
  wineboot --init >/dev/null 2>&1
  sleep 8
  before[$server]=$(switches "$server")
  sleep "$seconds"
  report "wineserver without the program" "$server"
  wine "$program" &
  pid=$!
  settle=8
else
  "$program" &
  pid=$!
  settle=3
  trap 'kill "$pid" 2>/dev/null' EXIT
fi

sleep "$settle"
if ! kill -0 "$pid" 2>/dev/null; then
  echo "measure-idle: $program ended before the measurement" >&2
  exit 1
fi
before[$pid]=$(switches "$pid")
[ -n "$server" ] && before[$server]=$(switches "$server")
sleep "$seconds"
report "$(basename "$program")" "$pid"
[ -n "$server" ] && report "wineserver with the program" "$server"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit 0

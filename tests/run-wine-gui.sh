#!/usr/bin/env bash
# Runs a command under Wine on a private virtual display; Wine's server ends before the display does.
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../tools/with-xvfb.sh" bash -c '"$@"; status=$?; wineserver -w; exit $status' run-wine-gui "$@"

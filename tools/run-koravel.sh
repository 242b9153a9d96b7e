#!/usr/bin/env bash
# Builds Koravel and starts it on the desktop; without a display, shows it at work on a virtual one.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh
mkdir -p build
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/linux.configure.log 2>&1 ||
  { cat build/linux.configure.log; exit 1; }
# The program, its unattended twin, and what tools/drive-koravel.sh runs beside it on a virtual display.
cmake --build build/linux -j "$(nproc 2>/dev/null || echo 2)" \
  --target koravel koravel-unattended koravel-export panel-geometry close-window

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec build/linux/app/koravel
fi

echo "No display here: running Koravel on a virtual display (generate, turn, tilt, new seed, \"Single\")."
exec tools/with-xvfb.sh tools/drive-koravel.sh build/linux "$PWD/build/demo"

#!/usr/bin/env bash
# The include-floor check refuses a climbing include and passes this tree.
# Usage: include_floors_test.sh SOURCE_ROOT WORK_DIR
set -euo pipefail
root=$1
work=$2
check=$root/tools/check-include-floors.sh

# A tree with one climb (render/ up to app/), one step over on the ground floor
# (terrain/ to platform/), one into a folder with no floor, and lawful includes beside them.
rm -rf "$work"
mkdir -p "$work/terrain" "$work/render" "$work/app" "$work/platform/offscreen"
printf '#include "terrain/a.h"\n#include "tests/t.h"\n' >"$work/terrain/a.cpp"
printf '#include "platform/console/console.h"\n' >"$work/terrain/b.cpp"
printf '#include "render/r.h"\n#include "terrain/a.h"\n  #  include "app/app.h"\n' >"$work/render/r.cpp"
printf '#include "render/r.h"\n#include "koravel_version.h"\n' >"$work/platform/offscreen/o.cpp"
printf '#include "render/r.h"\n#include "platform/offscreen/o.h"\n' >"$work/app/app.cpp"
if "$check" "$work" >"$work/out.txt" 2>&1; then
  echo "the check passed a tree whose includes climb"; cat "$work/out.txt"; exit 1
fi
expected='render/r.cpp:3: includes "app/app.h": app/ (floor 6) is not below render/ (floor 2)
terrain/a.cpp:2: includes "tests/t.h": tests/ has no floor
terrain/b.cpp:1: includes "platform/console/console.h": platform/ (floor 0) is not below terrain/ (floor 0)'
if [ "$(grep -v '^Includes climb' "$work/out.txt")" != "$expected" ]; then
  echo "the check named the wrong includes:"; cat "$work/out.txt"; exit 1
fi

"$check" "$root"

#!/usr/bin/env bash
# The README's first command as a new user meets it: tools/run-koravel.sh in a fresh clone of the
# committed tree, with nothing built there and no display, must build what it needs and pass its run.
# Usage: first_command_test.sh WORK_DIR (run from inside the repository)
set -u
work=$1
source=$(git -C "$(dirname "$0")" rev-parse --show-toplevel 2>/dev/null) || {
  echo "first command: not a git checkout, so there is no committed tree to clone; skipped"
  exit 0
}

rm -rf "$work"
mkdir -p "$work"
clone=$work/koravel
git clone -q --no-hardlinks "$source" "$clone" || { echo "FAILED: git clone $source"; exit 1; }
echo "first command: tools/run-koravel.sh in a fresh clone of $(git -C "$clone" log -1 --format='%h %s')"
start=$(date +%s)
(cd "$clone" && env -u DISPLAY timeout 2400 tools/run-koravel.sh) >"$work/run.log" 2>&1
status=$?
echo "first command: exit $status after $(($(date +%s) - start)) s"
if [ "$status" -ne 0 ] || ! grep -q "^end-to-end run passed$" "$work/run.log"; then
  tail -n 40 "$work/run.log"
  echo "FAILED: the README's first command on a fresh clone (log: $work/run.log)"
  exit 1
fi
rm -rf "$clone"  # its tree is large; the log stays
echo "first command passed"

#!/usr/bin/env bash
# Refuses every #include "folder/..." in a source file that climbs above its own folder's floor.
# Usage: check-include-floors.sh [SOURCE_ROOT]   (default: this tree)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The floors from the ground up. A file may include its own folder and any folder on a lower
# floor, never a higher one nor another folder on its own floor. tests/ and tools/ stand on top.
floors='
platform 0
terrain 0
state 1
render 2
platform/offscreen 3
export 4
panel 5
app 6
'

folders=$(for folder in $(echo "$floors" | awk 'NF { print $1 }' | grep -v /); do
  if [ -d "$folder" ]; then echo "$folder"; fi
done)
# shellcheck disable=SC2086
if ! find $folders -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cpp' \) -print0 |
  sort -z | xargs -0 -r awk -v floors="$floors" '
    BEGIN {
      n = split(floors, lines, "\n")
      for (i = 1; i <= n; i++) if (split(lines[i], f, " ") == 2) floor[f[1]] = f[2]
      bad = 0
    }
    # The folder a path belongs to: its first part, or its first two where those have a floor.
    function folderOf(path,   parts) {
      split(path, parts, "/")
      if ((parts[1] "/" parts[2]) in floor) return parts[1] "/" parts[2]
      return parts[1]
    }
    /^[ \t]*#[ \t]*include[ \t]*"[^"\/]+\/[^"]*"/ {
      included = $0
      sub(/^[^"]*"/, "", included)
      sub(/".*$/, "", included)
      own = folderOf(FILENAME)
      target = folderOf(included)
      if (target == own) next
      if (!(target in floor)) {
        printf "%s:%d: includes \"%s\": %s/ has no floor\n", FILENAME, FNR, included, target
        bad = 1
      } else if (floor[target] >= floor[own]) {
        printf "%s:%d: includes \"%s\": %s/ (floor %d) is not below %s/ (floor %d)\n",
               FILENAME, FNR, included, target, floor[target], own, floor[own]
        bad = 1
      }
    }
    END { exit bad }'; then
  echo "Includes climb above their folder's floor (floors in tools/check-include-floors.sh)." >&2
  exit 1
fi

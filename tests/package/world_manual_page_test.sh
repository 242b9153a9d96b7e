#!/usr/bin/env bash
# Checks the manual page of koravel-world against the command: it renders without warnings, has an
# entry for every option of --help's usage and for no other, with the defaults --help shows, and
# explains the codes of a success and of a usage error.
# Usage: world_manual_page_test.sh PAGE WORK_DIR VERSION COMMAND... (COMMAND runs koravel-world)
set -u
page=$1 work=$2 version=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"
rm -rf "$work"
mkdir -p "$work"

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/page.txt")
[ -z "$warnings" ] || fail "man warns about the page:"$'\n'"$warnings"
grep -q "Koravel $version" "$work/page.txt" || fail "the rendered page does not carry version $version"

help=$(COLUMNS=100 "$@" --help 2>&1) || { fail "--help failed: $help"; finish; }
# The options, as the usage lines list them (-h is --help); the page's, as its OPTIONS entries.
usage=$(sed -n '/^usage:/,/^$/p' <<<"$help" | grep -oE -- '\[--[a-z][a-z0-9-]*' | tr -d '[')
options=$(entries "$page" OPTIONS)
expect_same_lines "the options (< --help, > the page)" "$(printf '%s\n' --help $usage | LC_ALL=C sort -u)" \
  "$(cut -f1 <<<"$options" | LC_ALL=C sort -u)"

# Each option's text in --help, on one line: "(default VALUE)" there is the page's "Default:", and
# an option without one there has none on the page.
for option in $usage; do
  text=$(awk -v o="$option" '
    /^  -/ { on = ($1 == o) }
    on { printf "%s ", $0 }' <<<"$help")
  shown=$(sed -nE 's/.*\(default ([^):]*)\).*/\1/p' <<<"$text")
  [ "$shown" = "$(entry_default "$options" "$option")" ] ||
    fail "--help shows $option defaulting to '$shown', the page says '$(entry_default "$options" "$option")'"
done

# The version, and the codes of a success and a usage error, which EXIT STATUS lists.
codes=$(entries "$page" "EXIT STATUS" | cut -f1)
expect_version "$version" "$@"
for run in --version --no-such-option; do
  "$@" $run >/dev/null 2>&1
  status=$?
  grep -qx "$status" <<<"$codes" || fail "'koravel-world $run' exits $status, which EXIT STATUS does not list"
done
finish

#!/usr/bin/env bash
# Checks the manual page of koravel-export: it renders without warnings, and it agrees with
# the tool on the options (--help), their defaults and the exit codes.
# Usage: manual_page_test.sh PAGE TOOL WORK_DIR VERSION
set -u
page=$1 tool=$2 work=$3 version=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/page.txt")
[ -z "$warnings" ] || fail "man warns about the page:"$'\n'"$warnings"
grep -q "Koravel $version" "$work/page.txt" || fail "the rendered page does not carry version $version"

options=$(entries "$page" OPTIONS)
page_default() { entry_default "$options" "$1"; }

# Every option --help names has an entry, and a default --help shows, "(default VALUE)", is the page's.
help=$("$tool" --help 2>&1 | tr -d '\r')
help_options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | LC_ALL=C sort -u)
[ -n "$help_options" ] || fail "--help names no option: '$help'"
for option in $help_options; do
  cut -f1 <<<"$options" | grep -qx -- "$option" || fail "the page has no entry for $option"
  shown=$(grep -E -- "^ +$option " <<<"$help" | sed -n 's/.*(default \([^)]*\)).*/\1/p')
  [ -z "$shown" ] || [ "$shown" = "$(page_default "$option")" ] ||
    fail "--help shows $option defaulting to '$shown', the page says '$(page_default "$option")'"
done

# Each default the page gives is the tool's: passing it changes neither the printed line nor the picture.
# The erosion's parameters go with --erode, against the eroded picture.
baseline=$("$tool" --render "$work/default.png" 2>&1) || fail "--render alone failed: $baseline"
eroded=$("$tool" --erode --render "$work/eroded.png" 2>&1) || fail "--erode --render failed: $eroded"
erosion_options=$(awk '/^\.SS Erosion/ { on = 1; next } /^\.S[SH]/ { on = 0 } on && /^\.BI/ { gsub(/\\-/, "-"); print }' \
                  "$page" | grep -oE -- '--[a-z][a-z-]*')
while IFS=$'\t' read -r option _; do
  value=$(page_default "$option")
  [ -n "$value" ] || continue
  if grep -qx -- "$option" <<<"$erosion_options"; then
    output=$("$tool" --erode "$option" "$value" --render "$work/with-default.png" 2>&1)
    [ "$output" = "$eroded" ] && cmp -s "$work/eroded.png" "$work/with-default.png" ||
      fail "--erode $option $value (the page's default) prints '$output' (not '$eroded') or draws another picture"
    continue
  fi
  output=$("$tool" "$option" "$value" --render "$work/with-default.png" 2>&1)
  [ "$output" = "$baseline" ] && cmp -s "$work/default.png" "$work/with-default.png" ||
    fail "$option $value (the page's default) prints '$output' (not '$baseline') or draws another picture"
done <<<"$options"

# Success, a refused option and an unwritable file each end with a code the page explains.
codes=$(entries "$page" "EXIT STATUS" | cut -f1)
for run in "" "--no-such-option" "--heights $work/no-such-folder/heights.f32"; do
  "$tool" $run >/dev/null 2>&1
  status=$?
  grep -qx "$status" <<<"$codes" || fail "'koravel-export $run' exits $status, which EXIT STATUS does not list"
done
finish

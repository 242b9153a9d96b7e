# Helpers shared by the install and package tests; sourced, not run.

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Ends the test: a line per failure went to stderr already.
finish() {
  [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
  echo "all checks passed"
}

# expect_same_lines what expected actual: compares two sorted lists, showing the difference.
expect_same_lines() {
  local difference
  difference=$(diff <(printf '%s\n' "$2") <(printf '%s\n' "$3")) ||
    fail "$1 differs from what is expected (< expected, > found):"$'\n'"$difference"
}

# pack GENERATOR BUILD_DIR WORK_DIR FILE: packs the built tree with cpack into a fresh WORK_DIR;
# the test ends there unless that makes WORK_DIR/FILE.
pack() {
  rm -rf "$3" && mkdir -p "$3"
  cpack --config "$2/CPackConfig.cmake" -G "$1" -B "$3" >"$3/cpack.log" 2>&1 ||
    { cat "$3/cpack.log" >&2; fail "cpack -G $1 failed"; finish; }
  [ -f "$3/$4" ] || { fail "no $4; cpack made: $(ls "$3")"; finish; }
}

# expect_version version command...: the command run with --version prints the version on a line of its own.
expect_version() {
  local version=$1 output
  shift
  output=$("$@" --version 2>&1 | tr -d '\r')
  grep -qxF -- "$version" <<<"$output" || fail "'$* --version' printed '$output', not version $version"
}

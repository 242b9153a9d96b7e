# Helpers shared by the install and package tests; sourced, not run.

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Ends the test: a line per failure went to stderr already.
finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

# expect_same_lines what expected actual: compares two sorted lists, showing the difference.
expect_same_lines() {
  local what=$1 expected=$2 actual=$3
  local difference
  if ! difference=$(diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual")); then
    fail "$what differs from what is expected (< expected, > found):"$'\n'"$difference"
  fi
}

# expect_version version command...: the command run with --version prints the version.
# A koravel-export from before --version existed (its --help names no --version) must
# instead generate the default terrain, which shows that it runs where it was unpacked.
expect_version() {
  local version=$1
  shift
  local output
  output=$("$@" --version 2>&1 | tr -d '\r')
  if grep -Eq "(^|[^0-9.])${version//./\\.}([^0-9.]|$)" <<<"$output"; then
    return
  fi
  if "$@" --help 2>&1 | grep -q -- '--version'; then
    fail "'$* --version' printed '$output', not version $version"
    return
  fi
  output=$("$@" 2>&1 | tr -d '\r')
  [[ $output == minHeight* ]] || fail "'$*' (no --version yet) did not run: '$output'"
}

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

# entries PAGE SECTION: "name<TAB>text" for each .TP entry of a manual page's section: the first
# long option (or the word) of its tag line, then its body joined on one line, roff's \- read as -.
entries() {
  awk -v wanted="$2" '
    function flush() { if (name != "") print name "\t" body; name = ""; body = "" }
    /^\.SH/ { flush(); section = $0; sub(/^\.SH +/, "", section); gsub(/"/, "", section); next }
    section != wanted { next }
    /^\.TP/ { flush(); tag = 1; next }
    tag {
      tag = 0; line = $0; gsub(/\\-/, "-", line)
      if (match(line, /--[a-z0-9][a-z0-9-]*/)) name = substr(line, RSTART, RLENGTH)
      else { sub(/^\.[A-Z]+ +/, "", line); name = line }
      next
    }
    name != "" { body = body " " $0 }
    END { flush() }' "$1"
}

# entry_default ENTRIES OPTION: the value of "Default: \fBvalue\fR" in the option's entry, if any.
entry_default() {
  awk -F'\t' -v o="$2" '$1 == o { if (match($2, /Default: \\fB[^\\]*/)) print substr($2, RSTART + 12, RLENGTH - 12) }' <<<"$1"
}

#!/usr/bin/env bash
# koravel-export against hostile paths and signals (Linux): each row names the exit code, the
# message and the final state of every file in its folder.
# Usage: export_hostile_test.sh TOOL PAUSED_TOOL WORK
#   PAUSED_TOOL is koravel-export built with tests/export/pause_renames.cpp (waits before its second rename).
set -u
set -m  # background runs are jobs of their own: they keep Ctrl+C's default handling
tool=$1
paused=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
failures=0
rows=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The state of a folder: each entry as name=what, sorted. what is "old" (the text old), "new" (anything
# else a run wrote) with the permission bits when they are not 644, "->target" for a symbolic link, "fifo"
# or "dir".
state() {
  local dir=$1 entry name what
  (cd "$dir" && for entry in $(LC_ALL=C ls -A); do
    name=$entry
    if [ -L "$entry" ]; then what="->$(readlink "$entry")"
    elif [ -p "$entry" ]; then what=fifo
    elif [ -d "$entry" ]; then what=dir
    else
      if [ "$(head -c 8 "$entry" | tr -d '\0')" = old ]; then what=old; else what=new; fi
      mode=$(stat -c %a "$entry")
      [ "$mode" != 644 ] && what="$what/$mode"
    fi
    printf '%s=%s ' "$name" "$what"
  done)
}

# row NAME SETUP CODE MESSAGE STATE ARGS...: runs the tool in a fresh folder after SETUP (a shell
# snippet run there; RUN is the tool), then holds its exit code, stderr (a pattern, or - for nothing)
# and the folder.
# ARGS may use shell redirections: the command runs through bash -c.
row() {
  local name=$1 setup=$2 code=$3 message=$4 expected=$5
  shift 5
  local dir="$work/row$((++rows))"
  mkdir -p "$dir"
  (cd "$dir" && umask 022 && eval "$setup")
  (cd "$dir" && umask 022 && RUN=$tool bash -c "$*" 2>"$dir.err")
  local result=$?
  local found
  found=$(state "$dir")
  local said=yes
  if [ "$message" = - ]; then [ -s "$dir.err" ] && said=no; else grep -Eq -- "$message" "$dir.err" || said=no; fi
  if [ "$result" != "$code" ] || [ "$said" = no ] || [ "$found" != "$expected" ]; then
    fail "$name: exit $result (expected $code), stderr '$(cat "$dir.err")' (expected /$message/), state '$found' (expected '$expected')"
  fi
}

old='echo old >'
range='minHeight -10.0665274 maxHeight 11.6338987'
# Devices and pipes are written where they are; the result line goes to stderr when stdout carries a file.
row "/dev/null" "$old a.png" 0 - "a.png=new " '$RUN --heights a.png --water /dev/null >/dev/null'
row "/dev/full" "$old a.png" 1 "cannot write /dev/full: No space left on device" "a.png=old " \
    '$RUN --heights a.png --water /dev/full'
row "FIFO with a reader" "mkfifo f" 0 - "f=fifo got=new " '(cat f >got &) ; $RUN --heights f >/dev/null'
row "/dev/stdout to a file" "" 0 "^$range\$" "out=new " '$RUN --heights /dev/stdout >out'
row "/dev/stdout appended" "$old out" 0 "^$range\$" "out=new " '$RUN --heights /dev/stdout >>out && test $(stat -c %s out) = 40004'
row "/dev/stdout to a pipe" "" 0 "^$range\$" "count=new " '$RUN --heights /dev/stdout | wc -c >count && test $(cat count) = 40000'
row "/dev/fd/3" "" 0 - "three=new " '$RUN --heights /dev/fd/3 3>three >/dev/null'
row "broken pipe" "$old a.png" 1 "cannot write /dev/stdout: Broken pipe" "a.png=old " \
    '$RUN --size 700 --heights a.png --water /dev/stdout | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}'
# Two names for one file.
row "./x.png" "" 2 "x.png and ./x.png name one file" "" '$RUN --heights x.png --water ./x.png'
row "d//x.png, d/../d/x.png" "mkdir d; $old d/x.png" 2 "name one file" "d=dir " '$RUN --heights d//x.png --water d/../d/x.png'
row "--colour, --render" "" 2 "name one file" "" '$RUN --colour x.png --render ./x.png'
row "a link and its target" "$old t.png; ln -s t.png l.png" 2 "l.png and t.png name one file" "l.png=->t.png t.png=old " \
    '$RUN --heights l.png --water t.png'
row "two hard links" "$old a.png; ln a.png b.png" 2 "name one file" "a.png=old b.png=old " '$RUN --heights a.png --water b.png --force'
# Replacing keeps what the user set: the mode, a symbolic link, read-only files and hard links (unless --force).
row "mode 600" "$old a.png; chmod 600 a.png" 0 - "a.png=new/600 " '$RUN --heights a.png >/dev/null'
row "symbolic link" "$old t.png; chmod 640 t.png; ln -s t.png l.png" 0 - "l.png=->t.png t.png=new/640 " \
    '$RUN --heights l.png >/dev/null'
row "dangling link" "ln -s t.png l.png" 0 - "l.png=->t.png t.png=new " '$RUN --heights l.png >/dev/null'
row "read-only" "$old a.png; $old r.png; chmod 444 r.png" 1 "cannot write r.png: it is read-only \(--force replaces it\)" \
    "a.png=old r.png=old/444 " '$RUN --heights a.png --water r.png'
row "read-only, --force" "$old r.png; chmod 444 r.png" 0 - "r.png=new/444 " '$RUN --heights r.png --force >/dev/null'
row "hard link" "$old a.png; ln a.png b.png" 1 "cannot write a.png: it has 2 names \(hard links\)" "a.png=old b.png=old " \
    '$RUN --heights a.png'
row "hard link, --force" "$old a.png; ln a.png b.png" 0 - "a.png=new b.png=old " '$RUN --heights a.png --force >/dev/null'
row "a folder" "mkdir d.png; $old a.png" 1 "cannot write d.png: it is a folder" "a.png=old d.png=dir " \
    '$RUN --heights a.png --water d.png'
row "é, Ω, 日本" "$old é.png" 0 - "é.png=new Ω.png=new 日本.png=new " '$RUN --heights é.png --water Ω.png --colour 日本.png >/dev/null'

# Another user's file in a sticky folder (as /tmp): a run as nobody refuses it before replacing anything.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && setpriv --reuid=nobody --regid=nogroup --clear-groups "$tool" --version >/dev/null 2>&1; then
  row "another user's file, sticky folder" "mkdir -m 1777 s; $old s/a.png; $old s/b.png; chmod 666 s/b.png; chown nobody s/a.png" \
      1 "cannot write s/b.png: it belongs to another user" "s=dir " \
      'setpriv --reuid=nobody --regid=nogroup --clear-groups $RUN --heights s/a.png --water s/b.png'
  [ "$(state "$work/row$rows/s")" = "a.png=old b.png=old/666 " ] || fail "sticky folder: '$(state "$work/row$rows/s")'"
else
  echo "skipped: another user's file in a sticky folder (needs root and setpriv to run as nobody)"
fi

# Signals at the start (generating), in the middle (a pipe that stalls) and during the renames. INT, TERM
# and HUP end the run with 128 + the signal and leave the old files; once renaming has begun the run
# finishes. PIPE from outside is ignored.
signal_code() { case $1 in INT) echo 130 ;; TERM) echo 143 ;; HUP) echo 129 ;; PIPE) echo 0 ;; esac; }
wait_for() {  # wait_for GLOB: up to 10 s for a file to appear
  local i
  for i in $(seq 100); do
    compgen -G "$1" >/dev/null && return 0
    sleep 0.1
  done
  return 1
}
handling_signals() {  # handling_signals PID: up to 10 s for the run to ignore SIGPIPE, its signals then set up
  local i ignored
  for i in $(seq 200); do
    ignored=$(awk '/^SigIgn:/ {print $2}' "/proc/$1/status" 2>/dev/null)
    [ -n "$ignored" ] && (((16#$ignored >> 12) & 1)) && return 0
    sleep 0.05
  done
  return 1
}
for signal in INT TERM HUP PIPE; do
  code=$(signal_code "$signal")
  for phase in start middle renames; do
    dir="$work/$signal-$phase"
    mkdir -p "$dir"
    echo old >"$dir/a.png"
    echo old >"$dir/b.png"
    expected="a.png=old b.png=old "
    [ "$signal" = PIPE ] && expected="a.png=new b.png=new "
    case $phase in
      start)
        (cd "$dir" && exec "$tool" --size 1500 --heights a.png --water b.png >/dev/null 2>err) &
        pid=$!
        handling_signals "$pid" || fail "$signal $phase: the run did not take up its signals"
        ;;
      middle)
        # b goes to a pipe whose reader waits: the run stalls writing it, a.png complete under its temporary name.
        mkfifo "$dir/pipe"
        (cd "$dir" && exec "$tool" --size 700 --heights a.png --water pipe >/dev/null 2>err) &
        pid=$!
        (cd "$dir" && sleep 2 && exec cat pipe >/dev/null) &
        reader=$!
        wait_for "$dir/.a.png.*.part" || fail "$signal $phase: no temporary file appeared"
        sleep 0.2
        expected="a.png=old pipe=fifo "
        [ "$signal" = PIPE ] && expected="a.png=new pipe=fifo "
        rm -f "$dir/b.png"
        ;;
      renames)
        (cd "$dir" && KORAVEL_TEST_RENAME_MARKER="$dir.renaming" exec "$paused" --heights a.png --water b.png \
           >/dev/null 2>err) &
        pid=$!
        wait_for "$dir.renaming" || fail "$signal $phase: the renames did not start"
        expected="a.png=new b.png=new "
        code=0
        ;;
    esac
    sent=$(date +%s%N)
    kill -s "$signal" "$pid"
    wait "$pid"
    result=$?
    took=$((($(date +%s%N) - sent) / 1000000))
    # The pipe's reader, which an ended run leaves waiting for a writer.
    if [ "$phase" = middle ]; then
      [ "$signal" = PIPE ] || kill -- -"$reader" 2>/dev/null
      wait "$reader" 2>/dev/null
    fi
    rm -f "$dir/err"
    found=$(state "$dir")
    if [ "$result" != "$code" ] || [ "$found" != "$expected" ]; then
      fail "$signal $phase: exit $result (expected $code), state '$found' (expected '$expected')"
    fi
    if [ "$signal" != PIPE ] && [ "$phase" != renames ] && [ "$took" -gt 1000 ]; then
      fail "$signal $phase: ended $took ms after the signal"
    fi
    code=$(signal_code "$signal")
  done
done

# Ctrl+C while waiting for a pipe's reader, which never comes: the run ends within a second.
dir="$work/fifo-open"
mkdir -p "$dir"
mkfifo "$dir/pipe"
(cd "$dir" && exec "$tool" --heights pipe 2>/dev/null) &
pid=$!
handling_signals "$pid" || fail "the run waiting for a pipe did not take up its signals"
sleep 0.3
sent=$(date +%s%N)
kill -INT "$pid"
wait "$pid"
result=$?
took=$((($(date +%s%N) - sent) / 1000000))
[ "$result" = 130 ] && [ "$took" -le 1000 ] || fail "INT while opening a pipe: exit $result after $took ms"

# No temporary or kept-aside file anywhere.
strays=$(find "$work" -name '.*.part' -o -name '.*.old')
[ -z "$strays" ] || fail "files left behind: $strays"

echo "hostile paths: $rows rows and 13 signal runs, $failures failures"
[ "$failures" = 0 ]

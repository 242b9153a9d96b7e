#!/usr/bin/env bash
# Times koravel-export from the command to the finished file, each figure beside its peer or limit
# measured in the same run, so the ratios hold on a busy machine: the whole process against
# FastNoiseLite's (tools/bench_peer.cpp), files against dd of the same bytes, PNGs against zlib level 6
# on the same rows, and the viewer's "Single" fresh against a warmed allocator (with --viewer).
# Usage: bench-export.sh [--viewer | --viewer-only] BUILD_DIR [PEER_BUILD_DIR]
#   BUILD_DIR holds tools/koravel-export (and app/koravel for --viewer); PEER_BUILD_DIR (default
#   BUILD_DIR) holds tools/bench-peer, built where KORAVEL_PEERS_DIR has FastNoiseLite.h, and
#   tools/panel-geometry. --viewer needs a display (tools/with-xvfb.sh gives one).
set -euo pipefail
viewer=0 exports=1
if [ "${1:-}" = --viewer ]; then viewer=1; shift; fi
if [ "${1:-}" = --viewer-only ]; then viewer=1 exports=0; shift; fi
build=$(cd "$1" && pwd)
peer=$(cd "${2:-$1}" && pwd)/tools/bench-peer
tool=$build/tools/koravel-export
runs=${BENCH_RUNS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-export.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
[ -x "$peer" ] || { echo "bench-export: no $peer (build it with FastNoiseLite.h in KORAVEL_PEERS_DIR)" >&2; exit 1; }

# The median wall time in seconds of $runs runs of a command.
seconds() {
  local times=() start end
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=("$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
row() { printf '%-44s %12s %14s %8s   %s\n' "$@"; }
size_of() { stat -c %s "$1"; }
copy_time() { runs=1 seconds dd if="$1" of="$work/copy" bs=4M status=none; rm -f "$work/copy"; }

echo "koravel-export at $tool on $(nproc) cores ($(date -u +%Y-%m-%dT%H:%MZ)), median of $runs runs"
row "figure" "koravel" "peer or limit" "ratio" "target"
if [ "$exports" = 1 ]; then

# Whole process, writing no file: against FastNoiseLite's whole process over the same samples.
own=$(seconds "$tool" --size 4097)
other=$(seconds "$peer" noise 4097)
row "--size 4097, no file (s)" "$own" "FNL $other" "$(ratio "$other" "$own")" "peer / koravel >= 12"
own16=$(seconds "$tool" --size 16384)
row "--size 16384, no file (s)" "$own16" "1.2" "$(ratio "$own16" 1.2)" "koravel / limit <= 1"
for side in 4097 16384; do
  one=$(seconds "$tool" --size "$side" --threads 1)
  two=$(seconds "$tool" --size "$side" --threads 2)
  row "--size $side: 1 thread / 2 threads" "$two" "$one" "$(ratio "$one" "$two")" ">= 1.5"
done
start=$(seconds "$tool" --size 1)
empty=$(seconds /bin/true)
row "start-up: --size 1 (s), less /bin/true" "$start" "$empty" "$(awk -v a="$start" -v b="$empty" 'BEGIN { printf "%.1f ms", (a - b) * 1000 }')" "<= 10 ms"

# PNGs at 4097: against the limits and zlib level 6 on the same filtered rows.
compressions=(default)
"$tool" --help | grep -q -- --compression && compressions=(default fast small)  # older builds have one
for compression in "${compressions[@]}"; do
  [ "$compression" = small ] && runs_png=1 || runs_png=$runs
  option=()
  [ ${#compressions[@]} -gt 1 ] && option=(--compression "$compression")
  own=$(runs=$runs_png seconds "$tool" --size 4097 --heights h.png "${option[@]}")
  read -r zlibTime zlibBytes < <("$peer" zlib6 h.png)
  limit=$([ "$compression" = default ] && echo 0.6 || ([ "$compression" = fast ] && echo 0.25 || echo -))
  row "heights PNG 4097, $compression (s)" "$own" "limit $limit" "$([ "$limit" = - ] || ratio "$own" "$limit")" "<= 1"
  row "  its bytes / zlib 6's on the same rows" "$(size_of h.png)" "$zlibBytes" "$(ratio "$(size_of h.png)" "$zlibBytes")" "default <= 1.10 (zlib 6: $zlibTime s)"
done
own=$(seconds "$tool" --size 4097 --river --water w.png)
read -r zlibTime zlibBytes < <("$peer" zlib6 w.png)
row "water mask PNG 4097 (s)" "$own" "zlib6 $zlibTime" "$(ratio "$(size_of w.png)" "$zlibBytes")" "bytes / zlib 6's"
own=$(seconds "$tool" --size 4097 --river --colour c.png)
read -r zlibTime zlibBytes < <("$peer" zlib6 c.png)
row "colour map PNG 4097 (s)" "$own" "zlib6 $zlibTime" "$(ratio "$(size_of c.png)" "$zlibBytes")" "bytes / zlib 6's"
rm -f h.png w.png c.png

# Meshes at 4097: against dd writing the same bytes.
own=$(runs=1 seconds "$tool" --size 4097 --river --mesh m.glb)
write=$(copy_time m.glb)
row "glb 4097 (s), dd of its $(size_of m.glb) bytes" "$own" "$write" "$(ratio "$own" "$write")" "<= 1.5"
rm -f m.glb
own=$(runs=1 seconds "$tool" --size 4097 --river --mesh m.obj)
write=$(copy_time m.obj)
row "OBJ 4097 (s), dd of its $(size_of m.obj) bytes" "$own" "$write" "$(ratio "$own" "$write")" "<= 2"
rm -f m.obj

# The picture of a 4097 terrain: against the limit, with its peak memory.
/usr/bin/time -f "%e %M" -o render.time "$tool" --size 4097 --river --render r.png >/dev/null
read -r own kib <render.time
row "--render 4097 (s), peak $((kib / 1024)) MiB" "$own" "3" "$(ratio "$own" 3)" "<= 1"
fi

# The viewer's "Single": a fresh program against one whose allocator is warmed (its thresholds
# raised, as a program that once freed a large block has them).
if [ "$viewer" = 1 ]; then
  single_fps() {  # single_fps [ENV...]: a fresh koravel's first "Single" on a virtual display
    local log=$work/texts.log window="" geometry
    rm -f "$log"
    env KORAVEL_TEXT_LOG="$log" "$@" "$build/app/koravel" &
    local program=$!
    for _ in $(seq 100); do
      window=$(xdotool search --onlyvisible --name '^Koravel$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
      sleep 0.1
    done
    sleep 0.5
    read -r width _ originX originY < <(xwininfo -children -id "$window" |
      awk '/^ +0x/ {split($(NF-1), size, /[x+]/); split($NF, place, "+"); print size[1], size[2], place[2], place[3]; exit}')
    "$(dirname "$peer")/panel-geometry" >"$work/panel.txt"
    click() {
      read -r _ left top right bottom < <(awk -v id="$1" '$1 == id' "$work/panel.txt")
      xdotool mousemove $((originX + width - 152 + (left + right) / 2)) $((originY + 1 + (top + bottom) / 2)) click 1
    }
    click 1007
    sleep 1
    click 1006
    for _ in $(seq 100); do
      grep -q 'Fps: ' "$log" 2>/dev/null && break
      sleep 0.1
    done
    kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null || true
    awk -F'\t' '$2 ~ /^Fps: / {printf "%.1f", substr($2, 6); exit}' "$log"
  }
  fresh=$(single_fps)
  warmed=$(single_fps GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=67108864)
  row "viewer \"Single\" fps, fresh / warmed" "$fresh" "$warmed" "$(ratio "$fresh" "$warmed")" ">= 0.9"
fi

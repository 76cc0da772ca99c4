#!/usr/bin/env bash
# Packing speed, size and peak memory of panvester-pack (1 and 2 threads) against
# `zip -r -6` on a generated game-like payload, side by side from one run.
# Usage: bench/pack_compare.sh [HOST_BUILD_DIR]   (default build/host; PV_BENCH_MB sets the
# payload size, default 300; PV_BENCH_GAME=1 packs the game-like tree of
# ${PV_SHARED:-../shared}/bench/gen_payload.py instead, with its movie and data pack over
# 32 MiB, against a 5x target). Everything generated goes to ${PV_BENCH_DIR:-/tmp/pv-bench}
# and is never committed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$root/build/host}
work=${PV_BENCH_DIR:-/tmp/pv-bench}
size=${PV_BENCH_MB:-300}
pack=$host/tools/pack/panvester-pack
payload=$work/payload$size
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
mkdir -p "$work"

target=3
if [ "${PV_BENCH_GAME:-}" = 1 ]; then
  target=5
  payload=$work/game
  "$root/bench/game_payload.sh" "$payload"
# A payload from before the packer required a title picture is made again.
elif [ ! -f "$payload/install.env" ] || [ ! -f "$payload/insttscr.rct" ]; then
  echo "generating a ${size} MB payload..."
  rm -rf "$payload"
  python3 "$root/bench/make_payload.py" "$payload" "$size"
fi
cat $(find "$payload" -type f) > /dev/null  # warm the page cache
echo "payload: $(du -sm "$payload" | cut -f1) MB in $(find "$payload" -type f | wc -l) files, $(nproc) cores"

# One run: wall seconds (to the nanosecond clock), peak resident KB and CPU seconds.
measure() {
  local t0 t1 kb user sys
  t0=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/usage" "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  read -r kb user sys <"$work/usage"
  echo "$(echo "$t1 - $t0" | bc) $kb $(echo "$user + $sys" | bc)"
}
# The machine may be shared: the three contenders take turns, five rounds, and the fastest
# run of each is the least disturbed one; the peak memory is the largest seen.
declare -A best peak cpu
for _ in 1 2 3 4 5; do
  for n in zip j1 j2; do
    case $n in
      # Each old output goes first, untimed: replacing a big file costs more than writing one.
      zip) rm -f "$work/p.zip"; r=$(measure sh -c "cd '$payload' && zip -q -r -6 '$work/p.zip' .") ;;
      j1) rm -f "$work/p1.arc"; r=$(measure "$pack" build -q -j 1 "$payload" --sidecar "$work/p1.arc") ;;
      j2) rm -f "$work/p2.arc"; r=$(measure "$pack" build -q -j 2 "$payload" --sidecar "$work/p2.arc") ;;
    esac
    read -r t kb c <<<"$r"
    if [ -z "${best[$n]:-}" ] || (( $(echo "$t < ${best[$n]}" | bc) )); then best[$n]=$t cpu[$n]=$c; fi
    if ((kb > ${peak[$n]:-0})); then peak[$n]=$kb; fi
  done
done
t_zip=${best[zip]}
"$pack" build -q -j 8 "$payload" --sidecar "$work/p8.arc" >/dev/null 2>&1
s_zip=$(stat -c %s "$work/p.zip")

row() { # label name bytes
  local t=${best[$2]}
  printf '%-10s %8.2f s %8.2fx %8.2f s %12d %8.4f %8d MB\n' "$1" "$t" "$(echo "$t_zip / $t" | bc -l)" "${cpu[$2]}" \
    "$3" "$(echo "$3 / $s_zip" | bc -l)" $((${peak[$2]} / 1024))
}
printf '%-10s %10s %9s %10s %12s %8s %11s\n' "" time "speed-up" "cpu" bytes "size" "peak mem"
row "zip -r -6" zip "$s_zip"
row "pack -j 1" j1 "$(stat -c %s "$work/p1.arc")"
row "pack -j 2" j2 "$(stat -c %s "$work/p2.arc")"
if cmp -s "$work/p1.arc" "$work/p2.arc" && cmp -s "$work/p1.arc" "$work/p8.arc"; then
  echo "1, 2 and 8 threads: identical archives"
else
  echo "1, 2 and 8 threads: the archives DIFFER"
fi
speedup=$(echo "$t_zip / ${best[j2]}" | bc -l)
if (( $(echo "$speedup >= $target" | bc) )) && (( $(stat -c %s "$work/p2.arc") <= s_zip )); then
  echo "target (pack -j 2 at least ${target}x faster than zip -r -6, no larger): met"
else
  echo "target (pack -j 2 at least ${target}x faster than zip -r -6, no larger): NOT met"
fi

#!/usr/bin/env bash
# Packing speed, size and peak memory of panvester-pack (1 and 2 threads) against
# `zip -r -6` on a generated game-like payload, side by side from one run.
# Usage: bench/pack_compare.sh [HOST_BUILD_DIR]   (default build/host; PV_BENCH_MB sets the
# payload size, default 300). Everything generated goes to ${PV_BENCH_DIR:-/tmp/pv-bench}
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

# A payload from before the packer required a title picture is made again.
if [ ! -f "$payload/install.env" ] || [ ! -f "$payload/insttscr.rct" ]; then
  echo "generating a ${size} MB payload..."
  rm -rf "$payload"
  python3 "$root/bench/make_payload.py" "$payload" "$size"
fi
cat $(find "$payload" -type f) > /dev/null  # warm the page cache
echo "payload: $(du -sm "$payload" | cut -f1) MB in $(find "$payload" -type f | wc -l) files, $(nproc) cores"

# One run: wall seconds (to the nanosecond clock) and peak resident KB, "SECONDS KB".
measure() {
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$(echo "$t1 - $t0" | bc) $(cat "$work/peak")"
}
# The machine may be shared: the fastest of three runs is the least disturbed one; the peak
# memory is the largest seen.
best_of() {
  local best=0 peak=0 t kb
  for _ in 1 2 3; do
    read -r t kb < <(measure "$@")
    if [ "$best" = 0 ] || (( $(echo "$t < $best" | bc) )); then best=$t; fi
    if ((kb > peak)); then peak=$kb; fi
  done
  echo "$best $peak"
}

read -r t_zip m_zip < <(best_of sh -c "rm -f '$work/p.zip'; cd '$payload' && zip -q -r -6 '$work/p.zip' .")
read -r t_j1 m_j1 < <(best_of "$pack" build -q -j 1 "$payload" --sidecar "$work/p1.arc")
read -r t_j2 m_j2 < <(best_of "$pack" build -q -j 2 "$payload" --sidecar "$work/p2.arc")
"$pack" build -q -j 8 "$payload" --sidecar "$work/p8.arc" >/dev/null 2>&1
s_zip=$(stat -c %s "$work/p.zip")

row() { # label seconds peak_kb bytes
  printf '%-10s %8.2f s %8.2fx %12d %8.4f %8d MB\n' "$1" "$2" "$(echo "$t_zip / $2" | bc -l)" "$4" \
    "$(echo "$4 / $s_zip" | bc -l)" $(($3 / 1024))
}
printf '%-10s %10s %9s %12s %8s %11s\n' "" time "speed-up" bytes "size" "peak mem"
row "zip -r -6" "$t_zip" "$m_zip" "$s_zip"
row "pack -j 1" "$t_j1" "$m_j1" "$(stat -c %s "$work/p1.arc")"
row "pack -j 2" "$t_j2" "$m_j2" "$(stat -c %s "$work/p2.arc")"
if cmp -s "$work/p1.arc" "$work/p2.arc" && cmp -s "$work/p1.arc" "$work/p8.arc"; then
  echo "1, 2 and 8 threads: identical archives"
else
  echo "1, 2 and 8 threads: the archives DIFFER"
fi
speedup=$(echo "$t_zip / $t_j2" | bc -l)
if (( $(echo "$speedup >= 3" | bc) )) && (( $(stat -c %s "$work/p2.arc") <= s_zip )); then
  echo "target (pack -j 2 at least 3x faster than zip -r -6, no larger): met"
else
  echo "target (pack -j 2 at least 3x faster than zip -r -6, no larger): NOT met"
fi

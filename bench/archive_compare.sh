#!/usr/bin/env bash
# Extraction speed against unzip and tar on a generated game-like payload: the walk on two
# threads and on one, a bare inflate+fwrite loop and its two halves, peak memory, and the
# Windows build of the walk under Wine.
# Usage: bench/archive_compare.sh [HOST_BUILD_DIR [WINDOWS_BUILD_DIR]]
#   (defaults build/host and build/win64; needs hyperfine; the Wine part is skipped when the
#   Windows tree or Wine is missing)
# Everything generated goes to ${PV_BENCH_DIR:-/tmp/pv-bench} and is never committed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$root/build/host}
work=${PV_BENCH_DIR:-/tmp/pv-bench}
pack=$host/tools/pack/panvester-pack
windows=${2:-$root/build/win64}
bench=$host/bench_archive_extract
mkdir -p "$work"

for size in 300 30; do
  # A payload from before the packer required a title picture is made again.
  if [ ! -f "$work/payload$size/install.env" ] || [ ! -f "$work/payload$size/insttscr.rct" ]; then
    echo "generating a ${size} MB payload..."
    rm -rf "$work/payload$size"
    python3 "$root/bench/make_payload.py" "$work/payload$size" "$size"
  fi
done
payload=$work/payload300
cat $(find "$payload" -type f) > /dev/null  # warm the page cache
echo "payload: $(du -sm "$payload" | cut -f1) MB in $(find "$payload" -type f | wc -l) files"

# Packing speed is bench/pack_compare.sh's; here only the archives the extraction reads.
rm -f "$work/a.arc" "$work/a.zip" "$work/a.tar.gz"
"$pack" build -q -j 2 "$payload" --sidecar "$work/a.arc" >/dev/null 2>&1
"$pack" build -q -j 2 "$work/payload30" --sidecar "$work/small.arc" >/dev/null 2>&1
(cd "$payload" && zip -q -r -6 "$work/a.zip" . && tar czf "$work/a.tar.gz" .)

echo "== extraction (full pass natively vs bare inflate+fwrite, unzip, tar) =="
export PV_BENCH_ARCHIVE=$work/a.arc PV_BENCH_ARCHIVE_SMALL=$work/small.arc PV_BENCH_OUT=$work/out
"$bench" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_format=json --benchmark_out="$work/bench.json" \
  --benchmark_out_format=json >/dev/null
hyperfine -N --runs 5 --prepare "rm -rf $work/unzip" "unzip -q -o $work/a.zip -d $work/unzip" \
  --export-json "$work/unzip.json" >/dev/null 2>&1 || \
  hyperfine --runs 5 --prepare "rm -rf $work/unzip" "unzip -q -o $work/a.zip -d $work/unzip" --export-json "$work/unzip.json" >/dev/null
hyperfine --runs 5 --prepare "rm -rf $work/untar; mkdir -p $work/untar" "tar xzf $work/a.tar.gz -C $work/untar" \
  --export-json "$work/untar.json" >/dev/null
python3 - "$work" <<'PY'
import json, sys
w = sys.argv[1]
# Fastest repetition: on a shared machine it is the one least disturbed by other work.
runs = [r for r in json.load(open(w + '/bench.json'))['benchmarks'] if r.get('run_type') == 'iteration']
def ms(prefix):
    scale = {'ms': 1, 'us': 1e-3, 'ns': 1e-6}
    return min(r['real_time'] * scale[r['time_unit']] for r in runs if r['run_name'].startswith(prefix))
walk, single = ms('WalkFullPass/overlapped'), ms('WalkFullPass/single')
bare, inflate, write = ms('InflateCeiling/bare'), ms('InflateCeiling/inflate_only'), ms('InflateCeiling/write_only')
unzip = json.load(open(w + '/unzip.json'))['results'][0]['min'] * 1000
untar = json.load(open(w + '/untar.json'))['results'][0]['min'] * 1000
print('best of 5, ms: walk %.0f, single-thread walk %.0f, bare inflate+fwrite %.0f, inflate alone %.0f, '
      'files alone %.0f, unzip -o %.0f, tar xzf %.0f' % (walk, single, bare, inflate, write, unzip, untar))
bound = max(inflate, write)
print('walk: %.2fx the bare loop, %.2fx the single-thread walk, %.2fx unzip, %.2fx tar xzf' % (
    bare / walk, single / walk, unzip / walk, untar / walk))
print('walk takes %.2fx max(inflate alone, files alone) = %.0f ms' % (walk / bound, bound))
large, small = ms('SetupPass/large'), ms('SetupPass/small')
print('setup pass: %.3f ms at 300 MB vs %.3f ms at 30 MB (ratio %.2f)' % (large, small, large / small))
PY

echo "== peak memory of the walk (panvester-pack extract, resident set) =="
for arc in small a; do
  rm -rf "$work/out/mem"
  kb=$( { /usr/bin/time -f %M "$pack" extract "$work/$arc.arc" "$work/out/mem" >/dev/null; } 2>&1 | tail -1)
  echo "$arc.arc ($(( $(stat -c %s "$work/$arc.arc") / 1048576 )) MB): $(( kb / 1024 )) MB peak"
done

exe=$windows/tools/pack/panvester-pack.exe
if [ -f "$exe" ] && command -v wine >/dev/null; then
  echo "== under Wine: the Windows build's walk threaded and on one thread =="
  . "$root/scripts/wine-env.sh"
  export WINEPREFIX=$work/wine
  [ -d "$WINEPREFIX" ] || { "$PV_WINE" wineboot -i >/dev/null 2>&1; wineserver -w; }
  out=$(winepath -w "$work/out/wine" 2>/dev/null)
  arc=$(winepath -w "$work/a.arc" 2>/dev/null)
  # Alternating runs, best of 5 each: under Wine one run can take a second longer than the next.
  best() { sort -n | head -1; }
  : > "$work/wine-2.txt"; : > "$work/wine-1.txt"
  for round in 1 2 3 4 5; do
    for j in 2 1; do
      rm -rf "$work/out/wine"
      start=$(date +%s%N)
      "$PV_WINE" "$exe" extract -j $j "$arc" "$out" >/dev/null 2>&1
      echo $(( $(date +%s%N) - start )) >> "$work/wine-$j.txt"
    done
  done
  wineserver -k || true
  two=$(best < "$work/wine-2.txt"); one=$(best < "$work/wine-1.txt")
  python3 -c "print('best of 5, s: threaded %.2f, one thread %.2f: %.2fx' % ($two / 1e9, $one / 1e9, $one / $two))"
fi

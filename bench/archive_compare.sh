#!/usr/bin/env bash
# Extraction speed against unzip and tar on a generated game-like payload.
# Usage: bench/archive_compare.sh [HOST_BUILD_DIR]   (default build/host; needs hyperfine)
# Everything generated goes to ${PV_BENCH_DIR:-/tmp/pv-bench} and is never committed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$root/build/host}
work=${PV_BENCH_DIR:-/tmp/pv-bench}
pack=$host/tools/pack/panvester-pack
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
walk, bare = ms('WalkFullPass'), ms('InflateCeiling')
unzip = json.load(open(w + '/unzip.json'))['results'][0]['min'] * 1000
untar = json.load(open(w + '/untar.json'))['results'][0]['min'] * 1000
print('best of 5, ms: walk %.0f, bare inflate+fwrite %.0f, unzip -o %.0f, tar xzf %.0f' % (walk, bare, unzip, untar))
print('walk speed = %.1f%% of the ceiling; %.2fx faster than unzip; %.2fx faster than tar xzf' % (
    100 * bare / walk, unzip / walk, untar / walk))
large, small = ms('SetupPass/large'), ms('SetupPass/small')
print('setup pass: %.3f ms at 300 MB vs %.3f ms at 30 MB (ratio %.2f)' % (large, small, large / small))
PY

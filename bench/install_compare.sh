#!/usr/bin/env bash
# The real setup program against NSIS (zlib, silent) under the same Wine, on the same
# game-like payload: the setup is driven through its real windows (pv-scripted-install
# presses the buttons), NSIS runs with /S. Each round takes a fresh prefix for each
# contender, in turn; the medians are printed with their ratios, and the setup's copying
# time against `panvester-pack.exe extract` of the same archive under the same Wine.
# PV_BASE_STUB=OTHER/Panvester.exe adds a setup made with that stub to every round, so that
# a change to the program is measured against the build before it.
# PV_BENCH_PERF=1 adds one profiled setup run (perf record over the whole machine) and prints
# where its CPU time went: the setup's threads, the Wine server, the X server, idle.
# Usage: bench/install_compare.sh [BUILD_DIR]   (ROUNDS, default 3; the payload generator is
# ${PV_SHARED:-../shared}/bench/gen_payload.py). Needs ./build.sh build first; generated files
# go to ${PV_BENCH_DIR:-/tmp/pv-bench-install} and are never committed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build}
work=${PV_BENCH_DIR:-/tmp/pv-bench-install}
rounds=${ROUNDS:-3}
if /usr/lib/wine/wine --version >/dev/null 2>&1; then tree=win32; else tree=win64; fi
pack=$out/host/tools/pack/panvester-pack
driver=$out/$tree/pv-scripted-install.exe
for need in "$pack" "$driver" "$out/$tree/Panvester.exe"; do
  [ -e "$need" ] || { echo "missing $need (run ./build.sh build first)" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "needs makensis (Debian package nsis)" >&2; exit 1; }
mkdir -p "$work"

game=$work/game
"$here/game_payload.sh" "$game"
echo "payload: $(du -sm --exclude=.done "$game" | cut -f1) MB in $(find "$game" -type f ! -name .done | wc -l) files, $(nproc) cores"

# Packing, timed once each (the pack bench compares packers in depth).
seconds() { local t0; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; echo "$(date +%s.%N) - $t0" | bc; }
setup=$work/setup.exe
pack_pv=$(seconds "$pack" build "$game" -o "$setup" --stub "$out/$tree/Panvester.exe" --uninstaller "$out/$tree/UnInst.exe")
base=${PV_BASE_STUB:-}
if [ -n "$base" ]; then
  "$pack" build "$game" -o "$work/base-setup.exe" --stub "$base" --uninstaller "$out/$tree/UnInst.exe" >/dev/null
fi
cat >"$work/bench.nsi" <<EOF
Unicode true
Target amd64-unicode
SetCompressor zlib
Name "Bench"
OutFile "$work/nsis-setup.exe"
InstallDir "C:\\BenchNsis"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r /x .done "$game/*"
SectionEnd
EOF
pack_nsis=$(seconds makensis -V1 "$work/bench.nsi")
size() { echo "scale=1; $(stat -c %s "$1") / 1000000" | bc; }

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
export PV_WINE_TEMPLATE=$out/$tree/wine-template
"$here/../scripts/wine-prefix.sh" "$PV_WINE_TEMPLATE"
# One contender in a fresh prefix: prints the driver's "whole MS" (and "copying MS").
run() { "$here/../scripts/wine-run.sh" "$driver" "$@" 2>/dev/null | tr -d '\r'; }
declare -A times
for round in $(seq "$rounds"); do
  r=$(run --time "$(winpath "$setup")")
  times[pv_whole]+=" $(awk '$1 == "whole" {print $2}' <<<"$r")"
  times[pv_copy]+=" $(awk '$1 == "copying" {print $2}' <<<"$r")"
  if [ -n "$base" ]; then
    r=$(run --time "$(winpath "$work/base-setup.exe")")
    times[base_whole]+=" $(awk '$1 == "whole" {print $2}' <<<"$r")"
    echo "round $round: base setup ${times[base_whole]##* } ms"
  fi
  r=$(run --time-run "$(winpath "$work/nsis-setup.exe")" /S '/D=C:\BenchNsis')
  times[nsis_whole]+=" $(awk '$1 == "whole" {print $2}' <<<"$r")"
  r=$(run --time-run "$(winpath "$out/$tree/tools/pack/panvester-pack.exe")" extract "$(winpath "$setup")" 'C:\BenchExtract')
  times[extract]+=" $(awk '$1 == "whole" {print $2}' <<<"$r")"
  echo "round $round: setup ${times[pv_whole]##* } ms (copying ${times[pv_copy]##* }), nsis ${times[nsis_whole]##* } ms, extract ${times[extract]##* } ms"
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
pv=$(median "${times[pv_whole]}") copy=$(median "${times[pv_copy]}")
nsis=$(median "${times[nsis_whole]}") extract=$(median "${times[extract]}")
ratio() { echo "scale=2; $1 / $2" | bc; }
printf '\n%-44s %10s %10s %10s\n' "" "whole ms" "pack s" "size MB"
printf '%-44s %10s %10s %10s\n' "Panvester setup (copy dialog, copying $copy ms)" "$pv" "$pack_pv" "$(size "$setup")"
printf '%-44s %10s %10s %10s\n' "NSIS zlib, silent /S" "$nsis" "$pack_nsis" "$(size "$work/nsis-setup.exe")"
printf '%-44s %10s\n' "panvester-pack.exe extract (same archive)" "$extract"
[ -n "$base" ] && printf '%-44s %10s\n' "setup with PV_BASE_STUB" "$(median "${times[base_whole]}")"
echo
echo "setup vs NSIS (whole run): $(ratio "$nsis" "$pv")x faster (target at least 1.25)"
echo "setup copying vs extract: $(ratio "$copy" "$extract")x the time (target at most 1.5)"

if [ "${PV_BENCH_PERF:-}" = 1 ] && command -v perf >/dev/null; then
  # CPU seconds by process and thread of one setup run: what waits on what shows as idle.
  perf record -q -a -F 999 -o "$work/perf.data" -- "$here/../scripts/wine-run.sh" "$driver" --time "$(winpath "$setup")" >/dev/null 2>&1
  echo
  echo "one profiled setup run: share of both cores' time by thread (swapper = idle)"
  perf report -i "$work/perf.data" --no-children --sort pid --stdio -g none 2>/dev/null |
    awk '/%/ { if (++n <= 12) printf "  %-36s %7s\n", $2, $1 }'
fi

#!/usr/bin/env bash
# Packs the sample distribution into a setup program, starts it under Wine (on Xvfb when
# there is no display) and saves a screenshot of what appears.
# Usage: run-sample.sh BUILD_DIR TREE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=$1
tree=$2
run_dir=$out/sample
shots=$out/screenshots
mkdir -p "$run_dir" "$shots"

setup=$run_dir/setup.exe
"$out/host/tools/pack/panvester-pack" build "$root/examples/sample" -o "$setup" \
  --stub "$out/$tree/Panvester.exe"
echo "packed: $setup"

. "$here/wine-env.sh"
export PV_WINE_TEMPLATE=$out/$tree/wine-template
"$here/wine-prefix.sh" "$PV_WINE_TEMPLATE"
export PV_KEEP_PREFIX=$run_dir/prefix
rm -rf "$PV_KEEP_PREFIX"

start_display() {
  if [ -z "${DISPLAY:-}" ]; then
    Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:77
    sleep 1
  fi
}
xvfb_pid=
start_display
trap '[ -n "$xvfb_pid" ] && kill $xvfb_pid 2>/dev/null || true' EXIT

"$here/wine-run.sh" "$setup" &
program=$!
sleep "${PV_SHOT_DELAY:-6}"
import -window root "$shots/main-window.png"
echo "screenshot: $shots/main-window.png"
if [ -z "${PV_INTERACTIVE:-}" ]; then
  WINEPREFIX=$PV_KEEP_PREFIX "$PV_WINE" "$root/build/$tree/tests/close-window.exe" >/dev/null 2>&1 || true
fi
wait $program || true

#!/usr/bin/env bash
# Packs the sample distribution into a setup program and installs it under Wine the way a
# player would (pressing the real buttons), then prints what the installation left behind.
# Pictures of every window land in BUILD_DIR/screenshots.
# Usage: run-sample.sh BUILD_DIR TREE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=$1
tree=$2
sample=$root/examples/sample
run_dir=$out/sample
shots=$out/screenshots
rm -rf "$run_dir" "$shots"
mkdir -p "$run_dir" "$shots"

setup=$run_dir/setup.exe
"$out/host/tools/pack/panvester-pack" build "$sample" -o "$setup" --stub "$out/$tree/Panvester.exe" \
  --uninstaller "$out/$tree/UnInst.exe"
echo "packed: $setup"

. "$here/wine-env.sh"
export PV_WINE_TEMPLATE=$out/$tree/wine-template
"$here/wine-prefix.sh" "$PV_WINE_TEMPLATE"
export PV_KEEP_PREFIX=$run_dir/prefix

# The driver prints the per-user key and the INI file that the sample's settings name.
setting() { iconv -f CP932 -t UTF-8 "$sample/install.env" | tr -d '\r' | awk -v k="$1" '$1 == k { print $2; exit }'; }
export PV_SHOW_KEYS="$(setting REG_GLOBAL)\\$(setting REG_LOCAL)"
ini=$(setting INI_FILE)
[ -n "$ini" ] && [ "$ini" != "-" ] && export PV_SHOW_INI="$ini"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# Windows programs print CP932; the terminal reads UTF-8.
set +e
"$here/wine-run.sh" "$out/$tree/pv-scripted-install.exe" "$(winpath "$setup")" "$(winpath "$shots")" 2>&1 |
  iconv -f CP932 -t UTF-8 -c
rc=${PIPESTATUS[0]}
set -e
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo
echo "screenshots: $(ls "$shots" | tr '\n' ' ')"
echo "  in $shots"
echo "Wine prefix with the installation: $PV_KEEP_PREFIX"
exit $rc

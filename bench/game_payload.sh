#!/usr/bin/env bash
# Makes the game-like payload of ${PV_SHARED:-../shared}/bench/gen_payload.py in DIR, once
# (DIR/.done marks it finished), with the sample's install.env and title picture at its top.
# Usage: bench/game_payload.sh DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
generator=${PV_SHARED:-$root/../shared}/bench/gen_payload.py
[ -f "$dir/.done" ] && exit 0
[ -e "$generator" ] || { echo "missing $generator" >&2; exit 1; }
echo "generating the game-like payload..."
rm -rf "$dir"
# The system interpreter: the numpy it needs is a Debian package.
/usr/bin/python3 "$generator" "$dir" >/dev/null
cp "$root/examples/sample/install.env" "$root/examples/sample/insttscr.rct" "$dir/"
touch "$dir/.done"

#!/usr/bin/env bash
# Set-up of the pack tool test under Wine: a small game tree with fixed file times (to the
# 100 ns a file time holds, before 1970 and after 2038 too), packed by the host's
# panvester-pack as a side-car and as a setup program. The test copies the tree to the
# Windows side, packs it again with panvester-pack.exe and compares what the archives hold
# (pack_crosscheck.sh then reads the Windows tool's archives with the host tool).
# usage: pack_reference.sh HOST_PACK STUB OUT_DIR
set -euo pipefail
pack=$1 stub=$2 out=$3
rm -rf "$out"
tree=$out/tree
# "画像" ends in a byte that looks like a CP932 lead byte in UTF-8, "ソ" has a '\' trail byte.
mkdir -p "$tree/画像/効果音" "$tree/データ" "$tree/save"
printf 'TITLEBAR\tパック試験\r\nINSTTO\tPackTest\r\n' | iconv -f UTF-8 -t CP932 >"$tree/install.env"
printf 'read me\r\n' >"$tree/readme.txt"
cp "$(dirname "$0")/../../examples/sample/insttscr.rct" "$tree/insttscr.rct"  # build needs a title picture
seq 1 70000 >"$tree/ゲーム.exe"  # over one 256 KiB block
printf 'so-hyo' >"$tree/ソ表.dat"
printf 'BM picture' >"$tree/画像/背景.bmp"
head -c 5000 "$stub" >"$tree/画像/効果音/音.wav"
: >"$tree/データ/空.bin"
touch -d '2021-03-04 05:06:07.1234567 UTC' "$tree/install.env"
touch -d '2001-09-09 01:46:40 UTC' "$tree/readme.txt"
touch -d '2010-10-10 10:10:10.1010101 UTC' "$tree/insttscr.rct"
touch -d '2040-02-29 23:59:59.9999999 UTC' "$tree/ゲーム.exe"
touch -d '1969-07-20 20:17:40.5 UTC' "$tree/ソ表.dat"
touch -d '1999-12-31 23:59:59.0000001 UTC' "$tree/画像/背景.bmp"
touch -d '2024-02-29 12:00:00.25 UTC' "$tree/画像/効果音/音.wav"
touch -d '1980-01-01 00:00:00 UTC' "$tree/データ/空.bin"
"$pack" build -q -j 2 "$tree" --sidecar "$out/instdat.arc"
"$pack" build -q "$tree" -o "$out/setup.exe" --stub "$stub"
echo "reference archives in $out"

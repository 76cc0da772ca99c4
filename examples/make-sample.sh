#!/usr/bin/env bash
# Regenerates examples/sample/, a small game-like distribution for the setup program.
# The program reads install.env and readme.txt as Shift-JIS (CP932), as a game ships them;
# they are written here in UTF-8 and converted.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$here/sample
# The title picture is drawn separately (scripts/make-title-art.py); keep it.
mkdir -p "$out"
find "$out" -mindepth 1 ! -name insttscr.rct -delete
mkdir -p "$out/data/scripts" "$out/data/image" "$out/save"

cp932() { iconv -f UTF-8 -t CP932 | sed 's/$/\r/'; }

cp932 > "$out/install.env" <<'EOF'
// サンプルゲームの設定ファイル
TITLEBAR	星降る町のサンプル
INSTTO	HoshifuruSample
INSTFOL	Panvester
INSTMAKEFOL	1
EXENAME	game.exe
INSTREADME	お読みください
INSTREADMEFL	readme.txt
REG_GLOBAL	PanvesterSample
REG_LOCAL	Hoshifuru
INI_FILE	hoshifuru.ini
INI_SECTION	Install
[EOF]

[ini]
Path=REP_INSTALL
Data=REP_INSTALL\data
CD=REP_CDROMDRIVE
-
[reg]
"InstallPath"="REP_INSTALL"
"SaveFolder"="REP_INSTALL\\save"
"Version"="1.00"
"IsInst"="1"
"InstTo"="REP_INSTALL"
-
[delfiles]
REP_INSTALL\log\*.log
-
[delfiles_user]
save\*.sav
-
EOF

cp932 > "$out/readme.txt" <<'EOF'
星降る町のサンプル　お読みください
====================================

このたびは「星降る町のサンプル」をお求めいただき、ありがとうございます。

■動作環境
  Windows 98 / Me / 2000 / XP / Vista 以降
  空きディスク容量 10MB 以上

■インストール
  セットアップを起動し、[インストール] ボタンを押してください。
  インストール先のフォルダを指定すると、ファイルのコピーが始まります。

■アンインストール
  スタートメニューの「アンインストール」から行ってください。
  セーブデータ（save フォルダ）は、確認に「はい」と答えたときだけ削除されます。
EOF

# Scripts: text the engine would read, in CP932 like the rest of the game's text.
for n in 1 2 3; do
  {
    echo "*start$n"
    echo "; 第${n}章のスクリプト"
    for line in $(seq 1 40); do echo "[cm]星の降る夜、第${n}章の${line}行目。[p]"; done
    echo "[return]"
  } | cp932 > "$out/data/scripts/chapter$n.ks"
done
printf '*title\r\n[jump storage=chapter1.ks]\r\n' > "$out/data/scripts/first.ks"

# A small uncompressed bitmap: 64 x 48, 24 bits, a gradient.
python3 - "$out/data/image/title.bmp" <<'EOF'
import struct, sys
w, h = 64, 48
row = (w * 3 + 3) & ~3
pixels = b''.join(bytes(sum(([x * 4 % 256, y * 5 % 256, 128] for x in range(w)), [])) + b'\0' * (row - w * 3)
                  for y in range(h))
header = b'BM' + struct.pack('<IHHI', 54 + len(pixels), 0, 0, 54)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], 'wb').write(header + info + pixels)
EOF

# The game program is only started by the setup program; a placeholder stands in for it.
printf 'MZ placeholder for the game program\r\n' > "$out/game.exe"
printf '' > "$out/save/.keep"

# Stable time stamps, so packing the sample gives the same bytes every time.
find "$out" -exec touch -h -d '2024-04-01 12:00:00 UTC' {} +

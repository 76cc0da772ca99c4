#!/usr/bin/env bash
# A big game: packing and installing a payload of ${PV_BIG_MB:-6000} MB, mostly incompressible
# (movies, voice, pictures) as shipped games are, into one setup and into volumes (${PV_BIG_VOLUME:-2G}),
# natively (`extract` runs the program's walk); wall time and peak memory of each step,
# against zip -r -6 and unzip on the same tree.
# Usage: bench/big_game.sh [HOST_BUILD_DIR]   (not part of the test command)
# Everything generated goes to ${PV_BENCH_DIR:-/tmp/pv-bench}/big and is removed as it goes
# (at most about three times the payload is on disk at once).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$root/build/host}
pack=$host/tools/pack/panvester-pack
work=${PV_BENCH_DIR:-/tmp/pv-bench}/big
mb=${PV_BIG_MB:-6000}
volume=${PV_BIG_VOLUME:-2G}
game=$work/game
mkdir -p "$work"

# Deterministic noise, fast: AES-CTR of zeros.
noise() { { openssl enc -aes-128-ctr -nosalt -pass "pass:$2" </dev/zero 2>/dev/null || true; } | head -c "$1"; }

if [ ! -f "$work/.complete-$mb" ]; then
  echo "generating a ${mb} MB payload..."
  rm -rf "$game" "$work"/.complete-*
  mkdir -p "$game/movie" "$game/voice" "$game/bg" "$game/script"
  cp "$root/examples/sample/install.env" "$root/examples/sample/insttscr.rct" "$game/"
  printf 'read me\r\n' >"$game/readme.txt"
  total=$((mb * 1000 * 1000))
  # 25% movies of up to 1.5 GiB, 35% voice of 1 MB, 30% pictures of 3 MB, 10% text.
  left=$((total / 4)); i=0
  while [ "$left" -gt 0 ]; do
    n=$((left < 1610612736 ? left : 1610612736)); noise "$n" "movie$i" >"$game/movie/m$i.mpg"
    left=$((left - n)); i=$((i + 1))
  done
  for ((i = 0; i < total * 35 / 100 / 1000000; i++)); do noise 1000000 "v$i" >"$game/voice/v$i.ogg"; done
  for ((i = 0; i < total * 30 / 100 / 3000000; i++)); do noise 3000000 "b$i" >"$game/bg/b$i.png"; done
  python3 - "$game/script" $((total / 10)) <<'PY'
import random, sys
folder, total = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(4000)]
i = 0
while total > 0:
    n = min(total, 4 << 20)
    text = ' '.join(rng.choice(words) for _ in range(n // 5))[:n].encode()
    open('%s/s%05d.ks' % (folder, i), 'wb').write(text)
    total -= len(text); i += 1
PY
  touch "$work/.complete-$mb"
fi
stub=$work/stub.exe
[ -f "$root/build/win64/Panvester.exe" ] && cp "$root/build/win64/Panvester.exe" "$stub" || \
  { printf 'MZ'; head -c 200000 /dev/zero; } >"$stub"
bytes=$(du -sb "$game" | cut -f1)
echo "payload: $((bytes / 1000000)) MB in $(find "$game" -type f | wc -l) files"
cat $(find "$game" -type f) >/dev/null  # every step reads from the page cache alike

# "seconds peak-KiB" of a command.
measure() { /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1; cat "$work/time"; }
declare -A secs mem
step() { # name command...
  local name=$1; shift
  read -r s m < <(measure "$@")
  secs[$name]=$s; mem[$name]=$m
  printf '%-22s %8.1f s %8d MB peak\n' "$name" "$s" $((m / 1024))
}

rm -rf "$work/one" "$work/vol" "$work/x" "$work/unzip" "$work/game.zip"
mkdir -p "$work/one" "$work/vol"
step "pack, one setup" "$pack" build -q "$game" -o "$work/one/setup.exe" --stub "$stub"
step "install, one setup" "$pack" extract "$work/one/setup.exe" "$work/x"
rm -rf "$work/x" "$work/one"
step "pack, volumes" "$pack" build -q "$game" -o "$work/vol/setup.exe" --stub "$stub" --volume-size "$volume"
echo "  volumes: $(ls "$work/vol" | tr '\n' ' ')"
step "install, volumes" "$pack" extract "$work/vol/setup.exe" "$work/x"
rm -rf "$work/x" "$work/vol"
step "zip -r -6" bash -c "cd '$game' && zip -q -r -6 '$work/game.zip' ."
step "unzip" unzip -q "$work/game.zip" -d "$work/unzip"
rm -rf "$work/unzip" "$work/game.zip"

ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }
echo "ratios (zip's time / ours): pack $(ratio "${secs[zip -r -6]}" "${secs[pack, one setup]}")x," \
  "pack in volumes $(ratio "${secs[zip -r -6]}" "${secs[pack, volumes]}")x;" \
  "install $(ratio "${secs[unzip]}" "${secs[install, one setup]}")x," \
  "install from volumes $(ratio "${secs[unzip]}" "${secs[install, volumes]}")x (unzip's time / ours)"

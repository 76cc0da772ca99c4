#!/usr/bin/env bash
# Installs everything the build, the tests and the sample run need on Debian 12 (as root).
# Idempotent: does nothing when all is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  zlib1g-dev libpng-dev libcli11-dev googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  wine wine32:i386 wine64 xvfb xauth xdotool imagemagick x11-utils
  locales fonts-ipafont-gothic
  zip unzip hyperfine python3 jq
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
  fi
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if [ "$(id -u)" = 0 ]; then
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
  else
    echo "setup: the ja_JP.UTF-8 locale is missing; run this script as root" >&2
    exit 1
  fi
fi

#!/usr/bin/env bash
# Installs everything the build, the tests and the sample run need on Debian 12 (as root).
# Idempotent: does nothing when all is present. A package index that fails to update is a
# warning; only a needed package that cannot be installed ends the script, naming it.
set -uo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  zlib1g-dev libpng-dev libdeflate-dev libssl-dev libcli11-dev googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  wine wine64 xvfb xauth xdotool imagemagick x11-utils
  locales fonts-ipafont-gothic osslsigncode openssl
  zip unzip hyperfine python3 jq time nsis python3-numpy
)
LOCALES=(ja_JP en_US zh_CN ko_KR)

say() { echo "setup: $*" >&2; }
# No `cmd | grep -q` under pipefail: grep leaving early can fail the pipeline with SIGPIPE.
installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = 'install ok installed' ]; }
apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >&2
}

# 32-bit Wine is worth having only where the kernel runs 32-bit programs at all: a 93-byte
# i386 ELF that only calls exit(0) tells, without installing anything.
kernel_runs_i386() {
  local probe
  probe=$(mktemp) || return 1
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  local rc=$?
  rm -f "$probe"
  return $rc
}

missing=()
for p in "${PACKAGES[@]}"; do installed "$p" || missing+=("$p"); done
missing_locales=()
present_locales=$(locale -a 2>/dev/null)
for l in "${LOCALES[@]}"; do
  grep -qi "^$l\.utf-\?8$" <<<"$present_locales" || missing_locales+=("$l")
done
want_wine32=
if kernel_runs_i386 && ! installed wine32:i386; then want_wine32=1; fi

if ((${#missing[@]} == 0 && ${#missing_locales[@]} == 0)) && [ -z "$want_wine32" ]; then
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  say "missing packages or locales (${missing[*]} ${missing_locales[*]}); run this script as root"
  exit 1
fi

if ((${#missing[@]})) || [ -n "$want_wine32" ]; then
  [ -n "$want_wine32" ] && { grep -qx i386 <<<"$(dpkg --print-foreign-architectures)" || dpkg --add-architecture i386; }
  if ! apt-get update -qq >&2; then
    say "warning: some package index failed to update; going on with what is there"
  fi
fi

if ((${#missing[@]})); then
  # One transaction first; where it fails, package by package to name the culprits.
  if ! apt_install "${missing[@]}"; then
    failed=()
    for p in "${missing[@]}"; do installed "$p" || apt_install "$p" || failed+=("$p"); done
    if ((${#failed[@]})); then
      say "cannot install: ${failed[*]}"
      say "likely cause: the package index is missing or stale for it (apt-get update failed above?), or no network"
      exit 1
    fi
  fi
  for p in "${missing[@]}"; do
    installed "$p" || { say "cannot install: $p (apt-get reported success but it is not installed)"; exit 1; }
  done
fi

# Optional: where 32-bit programs run, the tests run the shipped 32-bit programs themselves.
if [ -n "$want_wine32" ]; then
  if apt_install wine32:i386 && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    say "32-bit Wine installed"
  else
    say "note: 32-bit Wine unavailable; the tests run the 64-bit build of the same sources"
  fi
fi

if ((${#missing_locales[@]})); then
  for l in "${missing_locales[@]}"; do
    sed -i "s/^# *\($l.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >> /etc/locale.gen
  done
  locale-gen >/dev/null || { say "cannot generate the locales ${missing_locales[*]}"; exit 1; }
fi
exit 0

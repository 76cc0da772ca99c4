#!/usr/bin/env bash
# The set-up script against a fake apt: a failing index is a warning, a package that cannot be
# installed ends the run naming it, and a complete machine asks apt for nothing.
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/setup-debian.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"

cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $*" >>"$FAKE/log"
case "$1" in
  update) [ -n "${FAKE_UPDATE_FAILS:-}" ] && { echo "E: Failed to fetch .../binary-i386/Packages  File has unexpected size" >&2; exit 100; }; exit 0 ;;
  install)
    pkgs=(); for a in "$@"; do case "$a" in install|-*) ;; *) pkgs+=("$a") ;; esac; done
    for p in "${pkgs[@]}"; do
      [ "$p" = "${FAKE_MISSING:-}" ] && { echo "E: Unable to locate package $p" >&2; exit 100; }
    done
    for p in "${pkgs[@]}"; do touch "$FAKE/installed/$p"; done ;;
esac
STUB
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/bash
[ -e "$FAKE/installed/${!#}" ] && printf 'install ok installed' && exit 0
exit 1
STUB
printf '#!/bin/bash\necho 0\n' >"$work/bin/id"
# Long output after the locales asked for: a reader that stops early must not count as none.
printf '#!/bin/bash\nprintf "C\\nja_JP.utf8\\nen_US.utf8\\nzh_CN.utf8\\nko_KR.utf8\\n"\nyes zz_ZZ.utf8 | head -n 100000\n' >"$work/bin/locale"
printf '#!/bin/bash\nexit 0\n' >"$work/bin/dpkg"
printf '#!/bin/bash\necho locale-gen >>"$FAKE/log"\n' >"$work/bin/locale-gen"
chmod +x "$work/bin/"*

fails=0
run() { # name, then expectations checked by the caller
  export FAKE=$work/$1
  rm -rf "$FAKE"; mkdir -p "$FAKE/installed"; : >"$FAKE/log"
  PATH="$work/bin:$PATH" bash "$script" >"$FAKE/out" 2>&1
}
check() { if ! eval "$2"; then echo "FAIL: $1"; sed 's/^/  | /' "$FAKE/out"; fails=$((fails + 1)); fi; }

FAKE_UPDATE_FAILS=1 run stale-index; rc=$?
check "a failing index update is only a warning" '[ $rc = 0 ] && grep -q "warning: some package index failed" "$FAKE/out"'
check "everything needed got installed" '[ -e "$FAKE/installed/cmake" ] && [ -e "$FAKE/installed/wine64" ]'

FAKE_UPDATE_FAILS=1 FAKE_MISSING=libdeflate-dev run missing-package; rc=$?
check "a package that cannot be installed fails the run" '[ $rc != 0 ]'
check "the failure names the package and a likely cause" 'grep -q "cannot install: libdeflate-dev" "$FAKE/out" && grep -q "likely cause" "$FAKE/out"'
check "the other packages are still installed one by one" '[ -e "$FAKE/installed/cmake" ] && [ ! -e "$FAKE/installed/libdeflate-dev" ]'

# A complete machine: every package is there already.
export FAKE=$work/complete
mkdir -p "$FAKE/installed"; : >"$FAKE/log"
for p in $(sed -n '/^PACKAGES=(/,/^)/p' "$script" | sed '1d;$d'); do touch "$FAKE/installed/$p"; done
touch "$FAKE/installed/wine32:i386"
PATH="$work/bin:$PATH" bash "$script" >"$FAKE/out" 2>&1; rc=$?
check "a complete machine succeeds without asking apt or regenerating locales" '[ $rc = 0 ] && [ ! -s "$FAKE/log" ]'

if [ $fails = 0 ]; then echo "setup script: all cases passed"; else exit 1; fi

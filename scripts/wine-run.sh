#!/usr/bin/env bash
# Runs one Windows program in a fresh copy of the template prefix and returns its exit code.
# The template is PV_WINE_TEMPLATE (made on first use); the copy is removed afterwards
# unless PV_KEEP_PREFIX names a folder to keep it in.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
template=${PV_WINE_TEMPLATE:?PV_WINE_TEMPLATE must name the template prefix}
if [ ! -f "$template/.ready" ]; then
  # Tests may start at once: one of them builds the template, the others wait.
  exec 9>"$template.lock"
  flock 9
  "$here/wine-prefix.sh" "$template"
  flock -u 9
fi
prefix=${PV_KEEP_PREFIX:-$(mktemp -d "${TMPDIR:-/tmp}/pv-wine.XXXXXX")}
mkdir -p "$prefix"
# The system folders are large and never written: hard-link them, copy the rest.
tar -C "$template" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
  --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$prefix" -xf -
for d in system32 syswow64 winsxs; do
  [ -d "$template/drive_c/windows/$d" ] && cp -al "$template/drive_c/windows/$d" "$prefix/drive_c/windows/"
done
export WINEPREFIX=$prefix
export PV_WINEPREFIX=$prefix
"$PV_WINE" "$@"
rc=$?
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
[ -n "${PV_KEEP_PREFIX:-}" ] || rm -rf "$prefix"
exit $rc

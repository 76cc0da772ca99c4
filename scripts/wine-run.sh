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
# Copies sit beside the template, on its file system, so that its system folders can be
# hard-linked (a tmpfs /tmp cannot hold links into the build tree).
prefix=${PV_KEEP_PREFIX:-$(mktemp -d "$(dirname "$template")/pv-wine.XXXXXX")}
mkdir -p "$prefix"
# The system folders are large and never written: hard-link them, copy the rest.
tar -C "$template" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
  --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$prefix" -xf -
for d in system32 syswow64 winsxs; do
  [ -d "$template/drive_c/windows/$d" ] && cp -al "$template/drive_c/windows/$d" "$prefix/drive_c/windows/"
done
export WINEPREFIX=$prefix
export PV_WINEPREFIX=$prefix
# Wine keeps the clipboard in X selections: runs sharing a display would see each other's
# clipboard text, so each run gets an X server of its own (PV_SHARED_DISPLAY=1 to watch).
xvfb_pid=
if [ -z "${PV_SHARED_DISPLAY:-}" ] && command -v Xvfb >/dev/null 2>&1; then
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do [ -s "$display_file" ] && break; sleep 0.05; done
  [ -s "$display_file" ] && export DISPLAY=":$(head -n1 "$display_file")"
  rm -f "$display_file"
fi
"$PV_WINE" "$@"
rc=$?
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
[ -n "${PV_KEEP_PREFIX:-}" ] || rm -rf "$prefix"
exit $rc

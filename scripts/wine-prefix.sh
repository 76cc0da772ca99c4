#!/usr/bin/env bash
# Creates the template Wine prefix once per build tree; tests copy it instead of booting Wine.
# Usage: wine-prefix.sh TEMPLATE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
template=$1
[ -f "$template/.ready" ] && exit 0
rm -rf "$template"
export WINEPREFIX=$template
"$PV_WINE" wineboot -i >/dev/null 2>&1 || true
wineserver -w
# No window manager on Xvfb: let Wine manage its windows, or hiding one waits 2 s.
"$PV_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# Debian's Wine knows txtfile but not the .txt extension; the readme button needs it.
for view in 32 64; do
  "$PV_WINE" reg add 'HKLM\Software\Classes\.txt' /ve /t REG_SZ /d txtfile /f /reg:$view >/dev/null 2>&1
done
wineserver -w
touch "$template/.ready"

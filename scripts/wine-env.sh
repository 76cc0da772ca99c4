# Sourced: the environment every Wine run of ours uses (ANSI code page 932, quiet).
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Where the kernel cannot run 32-bit programs, only the 64-bit loader works.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  PV_WINE=wine
else
  PV_WINE=/usr/lib/wine/wine64
fi
export PV_WINE

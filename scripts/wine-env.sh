# Sourced: the environment every Wine run of ours uses (quiet). The locale sets the system's
# ANSI code page: Japanese (932) unless PV_WINE_LANG names another, such as en_US.UTF-8
# (1252), zh_CN.UTF-8 (936) or ko_KR.UTF-8 (949). It is read at every start of a prefix.
PV_WINE_LANG=${PV_WINE_LANG:-ja_JP.UTF-8}
export LANG=$PV_WINE_LANG LC_ALL=$PV_WINE_LANG WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Where the kernel cannot run 32-bit programs, only the 64-bit loader works.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  PV_WINE=wine
else
  PV_WINE=/usr/lib/wine/wine64
fi
export PV_WINE

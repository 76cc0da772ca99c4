#!/usr/bin/env bash
# The Windows tool's archives, left in OUT_DIR/windows by win32_pack_tool_test, read by the
# host tool: they verify, list the same entries (names, sizes, times) as the host tool's own
# archives from the same tree, and extract to the same files with the same times. Only the
# compressed bytes may differ (zlib there, libdeflate here).
# usage: pack_crosscheck.sh HOST_PACK OUT_DIR   (OUT_DIR as given to pack_reference.sh)
set -euo pipefail
pack=$1 out=$2
check=$out/crosscheck
rm -rf "$check"
mkdir -p "$check"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
# The listing without the compressed size and ratio columns.
entries() { "$pack" list "$1" | awk '$1 ~ /^[0-9]+$/ && NF > 3 { $2 = ""; $3 = "" } { $1 = $1; print }'; }
# Every extracted folder, and every file with its write time (to the ns) and contents' digest.
contents() {
  (cd "$1" && find . -mindepth 1 \( -type d -printf '%P/\n' \) -o \( -printf '%P %y %T@\n' \) | sort &&
    find . -type f -exec md5sum {} + | sort -k2)
}

for name in instdat.arc setup.exe; do
  host=$out/$name windows=$out/windows/$name
  [ -f "$windows" ] || { fail "$windows is missing"; continue; }
  "$pack" verify "$windows" >"$check/verify.txt" 2>&1 || { fail "$name does not verify"; cat "$check/verify.txt"; }
  if ! diff <(entries "$host") <(entries "$windows") >"$check/list.diff"; then
    fail "$name: the entries differ"; cat "$check/list.diff"
  fi
  "$pack" extract "$host" "$check/host-$name" >/dev/null
  if ! "$pack" extract "$windows" "$check/windows-$name" >"$check/extract.txt" 2>&1; then
    fail "$name does not extract"; cat "$check/extract.txt"
  elif ! diff <(contents "$check/host-$name") <(contents "$check/windows-$name") >"$check/files.diff"; then
    fail "$name: the extracted files differ"; cat "$check/files.diff"
  fi
done
[ "$fails" = 0 ] && echo "the Windows tool's archives hold what the host tool's hold"
exit $((fails > 0))

#!/usr/bin/env bash
# The shipped programs load no DLL that could be planted beside them, and carry the PE flags
# that let the system move and guard them.
#   - every imported DLL is a known DLL of the system, or comctl32, which the manifest's
#     side-by-side dependency resolves from the system's assembly store;
#   - DllCharacteristics has DYNAMIC_BASE (0x40), NX_COMPAT (0x100), TERMINAL_SERVER_AWARE
#     (0x8000), and the relocations that dynamic base needs are kept (.reloc).
# usage: check_pe_hardening.sh OBJDUMP EXE...
set -uo pipefail
objdump=$1
shift
# Known DLLs on every system the programs run on (Vista and later), in lower case; ntdll.dll
# the system maps into every process before anything is loaded.
known=" advapi32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll user32.dll "
required_flags=$((0x40 | 0x100 | 0x8000))
failed=0
fail() {
  echo "FAIL $exe: $*"
  failed=1
}

for exe in "$@"; do
  if [ ! -f "$exe" ]; then
    fail "missing (build its tree first: ./build.sh build)"
    continue
  fi
  headers=$("$objdump" -p "$exe") || { fail "not readable as a PE file"; continue; }
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | tr -d '\r')
  [ -n "$imports" ] || fail "no import table found"
  for dll in $imports; do
    case "$known" in
      *" $dll "*) ;;
      *)
        if [ "$dll" = comctl32.dll ]; then
          grep -aq 'name="Microsoft.Windows.Common-Controls"' "$exe" ||
            fail "imports comctl32.dll without the manifest's dependency on the common controls"
        else
          fail "imports $dll, which is no known DLL and would be searched for beside the program"
        fi
        ;;
    esac
  done
  flags=$(awk '$1 == "DllCharacteristics" { print $2 }' <<<"$headers")
  if [ -z "$flags" ]; then
    fail "no DllCharacteristics"
  elif (( (0x$flags & required_flags) != required_flags )); then
    fail "DllCharacteristics 0x$flags lacks some of 0x$(printf '%x' $required_flags) (dynamic base, NX, terminal-server aware)"
  fi
  grep -q 'relocations stripped' <<<"$headers" && fail "relocations stripped"
  "$objdump" -h "$exe" | awk '{ print $2 }' | grep -qx '\.reloc' || fail "no .reloc section"
  echo "$exe: $(wc -c <"$exe") bytes, DllCharacteristics 0x$flags, imports:" $imports
done
exit $failed

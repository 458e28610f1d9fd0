#!/usr/bin/env bash
# The Windows programs are what they claim to be: drivewright.exe a GUI program and
# drivewright-cli.exe a console program, 32-bit (i386) in build/win32 and 64-bit (x86-64) in
# build/win64, all with the runtime linked in (only system DLLs imported, no DLL of ours beside
# them).
set -u
root=${1:?usage: exe_format_test.sh SOURCE_DIR}
failed=0
fail() { echo "FAIL: $*"; failed=1; }

check() {
  local exe=$1 format=$2 objdump=$3
  [ -f "$exe" ] || { fail "$exe is missing (build the win32 and win64 presets first)"; return; }
  local description
  description=$(file -b "$exe")
  case "$description" in
    "$format"*) echo "ok: $exe: $description" ;;
    *) fail "$exe: expected '$format', got '$description'" ;;
  esac
  local dlls
  dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print toupper($3)}' | sort -u)
  for dll in $dlls; do
    case "$dll" in
      KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|COMCTL32.DLL|COMDLG32.DLL|MSVCRT.DLL) ;;
      *) fail "$exe imports $dll, which is not a system library every target Windows has" ;;
    esac
  done
  local extra
  extra=$(find "$(dirname "$exe")" -maxdepth 1 -iname '*.dll' ! -iname 'wnaspi32.dll' | head -1)
  [ -z "$extra" ] || fail "a DLL lies beside $exe: $extra"
}

check "$root/build/win32/drivewright.exe" "PE32 executable (GUI) Intel 80386" i686-w64-mingw32-objdump
check "$root/build/win64/drivewright.exe" "PE32+ executable (GUI) x86-64" x86_64-w64-mingw32-objdump
check "$root/build/win32/drivewright-cli.exe" "PE32 executable (console) Intel 80386" \
  i686-w64-mingw32-objdump
check "$root/build/win64/drivewright-cli.exe" "PE32+ executable (console) x86-64" \
  x86_64-w64-mingw32-objdump
exit $failed

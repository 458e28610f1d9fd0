#!/usr/bin/env bash
# build/win32/drivewright.exe and drivewright-cli.exe load on every Windows they are for: PE32
# programs (GUI and console) for subsystem version 4.0 that import only from the system
# libraries Windows 95 and NT 4.0 have, and only functions on the reviewed list in
# tests/win32_imports.txt.
set -u
root=${1:?usage: win32_imports_test.sh SOURCE_DIR}
list="$root/tests/win32_imports.txt"
objdump=i686-w64-mingw32-objdump
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# check EXE SUBSYSTEM (2: GUI, 3: console)
check() {
  local exe=$1 subsystem=$2 headers imports dll function
  [ -f "$exe" ] || { echo "FAIL: $exe is missing (build the win32 preset first)"; exit 1; }
  headers=$("$objdump" -p "$exe")
  grep -q "^Magic[[:space:]]*010b" <<< "$headers" || fail "$exe: not a PE32 image"
  grep -qE "^Subsystem[[:space:]]+0000000$subsystem" <<< "$headers" || fail "$exe: not subsystem $subsystem"
  grep -qE "^MajorSubsystemVersion[[:space:]]+4$" <<< "$headers" || fail "$exe: subsystem major version is not 4"
  grep -qE "^MinorSubsystemVersion[[:space:]]+0$" <<< "$headers" || fail "$exe: subsystem minor version is not 0"

  imports=$(awk '/DLL Name:/ {dll = toupper($3)}
                 /^\t[ 0-9a-f]+\t *[0-9]+ / {print dll " " $NF}' <<< "$headers" | sort -u)
  [ -n "$imports" ] || fail "no imports read from $exe"
  while read -r dll function; do
    case "$dll" in
      KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|COMCTL32.DLL|COMDLG32.DLL|MSVCRT.DLL) ;;
      *) fail "$exe imports from $dll ($function)"; continue ;;
    esac
    grep -qxF "$dll $function" "$list" || fail "$exe: $dll $function is not on the reviewed list $list"
  done <<< "$imports"

  # The libraries Windows 95 and NT 4.0 lack, and VERSION.DLL, which Windows 7 and later would
  # look for beside the exe first, are looked up at run time, never imported.
  for dll in SETUPAPI.DLL CFGMGR32.DLL VERSION.DLL; do
    grep -q "^$dll " <<< "$imports" && fail "$exe imports $dll"
  done
  echo "$exe: $(wc -l <<< "$imports") imports checked"
}
check "$root/build/win32/drivewright.exe" 2
check "$root/build/win32/drivewright-cli.exe" 3
[ "$failed" -eq 0 ] && echo "ok: every import on the reviewed list"
exit $failed

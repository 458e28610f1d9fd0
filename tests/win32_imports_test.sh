#!/usr/bin/env bash
# build/win32/drivewright.exe loads on every Windows it is for: a PE32 GUI program for
# subsystem version 4.0 that imports only from the system libraries Windows 95 and NT 4.0 have,
# and only functions on the reviewed list in tests/win32_imports.txt.
set -u
root=${1:?usage: win32_imports_test.sh SOURCE_DIR}
exe="$root/build/win32/drivewright.exe"
list="$root/tests/win32_imports.txt"
objdump=i686-w64-mingw32-objdump
failed=0
fail() { echo "FAIL: $*"; failed=1; }

[ -f "$exe" ] || { echo "FAIL: $exe is missing (build the win32 preset first)"; exit 1; }
headers=$("$objdump" -p "$exe")
grep -q "^Magic[[:space:]]*010b" <<< "$headers" || fail "not a PE32 image"
grep -qE "^Subsystem[[:space:]]+00000002" <<< "$headers" || fail "not a GUI program"
grep -qE "^MajorSubsystemVersion[[:space:]]+4$" <<< "$headers" || fail "subsystem major version is not 4"
grep -qE "^MinorSubsystemVersion[[:space:]]+0$" <<< "$headers" || fail "subsystem minor version is not 0"

imports=$(awk '/DLL Name:/ {dll = toupper($3)}
               /^\t[ 0-9a-f]+\t *[0-9]+ / {print dll " " $NF}' <<< "$headers" | sort -u)
[ -n "$imports" ] || fail "no imports read from $exe"
while read -r dll function; do
  case "$dll" in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|COMCTL32.DLL|COMDLG32.DLL|MSVCRT.DLL) ;;
    *) fail "imports from $dll ($function)"; continue ;;
  esac
  grep -qxF "$dll $function" "$list" || fail "$dll $function is not on the reviewed list $list"
done <<< "$imports"

# The libraries Windows 95 and NT 4.0 lack, and VERSION.DLL, which Windows 7 and later would
# look for beside the exe first, are looked up at run time, never imported.
for dll in SETUPAPI.DLL CFGMGR32.DLL VERSION.DLL; do
  grep -q "^$dll " <<< "$imports" && fail "imports $dll"
done
[ "$failed" -eq 0 ] && echo "ok: $(wc -l <<< "$imports") imports, all on the reviewed list"
exit $failed

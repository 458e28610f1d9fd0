#!/usr/bin/env bash
# The Windows programs carry their application manifests, read back from their resources: the
# dialog program (both builds) asks for administrator rights, names Windows Vista to 11 as
# supported, depends on Common Controls 6 and is DPI aware; the console program runs with the
# rights it is started with (a deployment tool's), and names the same Windows.
set -u
root=${1:?usage: manifest_test.sh SOURCE_DIR PE_RESOURCE_PY}
reader=${2:?usage: manifest_test.sh SOURCE_DIR PE_RESOURCE_PY}
failed=0
fail() { echo "FAIL: $*"; failed=1; }

wanted=(
  '<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>'
  '<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>'
  '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>'
  '<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>'
  '<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>'
  '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'
  'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
  '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'
  '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">system</dpiAwareness>'
)
console_wanted=(
  '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'
  "${wanted[@]:1:5}"
)
for exe in "$root"/build/win32/drivewright.exe "$root"/build/win64/drivewright.exe \
  "$root"/build/win32/drivewright-cli.exe "$root"/build/win64/drivewright-cli.exe; do
  [ -f "$exe" ] || { fail "$exe is missing (build the win32 and win64 presets first)"; continue; }
  texts=("${wanted[@]}")
  [[ $exe == *-cli.exe ]] && texts=("${console_wanted[@]}")
  # Resource type 24 (RT_MANIFEST), id 1: the manifest the loader reads when it starts a program.
  if ! manifest=$(python3 "$reader" "$exe" 24 1); then fail "$exe has no manifest resource"; continue; fi
  flat=$(tr -s ' \r\n' ' ' <<< "$manifest")
  for text in "${texts[@]}"; do
    grep -qF "$text" <<< "$flat" || fail "$exe: the manifest lacks $text"
  done
  if [ "$(grep -c '<assembly ' <<< "$flat")" -ne 1 ] || ! grep -q '</assembly> *$' <<< "$flat"; then
    fail "$exe: the manifest is not one whole assembly"
  fi
  [ "$failed" -eq 0 ] && echo "ok: $exe carries the manifest ($(wc -c <<< "$manifest") bytes)"
done
exit $failed

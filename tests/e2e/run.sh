#!/usr/bin/env bash
# Runs one end-to-end scenario: the real drivewright.exe under Wine (Windows version win98, or
# the one the scenario names) on a virtual display, with the simulated wnaspi32.dll beside it,
# driven by ui_driver.exe.
#
#   tests/e2e/run.sh NAME        (the scenario is tests/e2e/scenarios/NAME.sh)
#
# A scenario sets `variant` (the wnaspi32.dll to put beside the program: current, old, plain or
# none), writes the layer configuration in `layer_config`, the driver's steps in `steps`, and may
# define `prepare` (before the program starts) and `check` (after the driver passed). It may also
# set `windows` (the Windows version Wine reports to the program: win98, the default, win7 or
# win10), `dpi` (the display's dots per inch: 96, the default, or 144 for 150 %) and
# `dll_overrides` (more WINEDLLOVERRIDES entries). @WORK@ in the steps is the
# scenario's folder. A scenario of the console program (drivewright-cli.exe) defines
# `console_steps` instead of `steps`: in it `cli ARGS` runs the program in the scenario's folder
# (its output in $out and $err, its exit code in $rc), and `expect`, `expect_has` and the log
# helpers check what it did. Every process started here is ended by its id, and the
# whole run is bounded in time. The screenshots stay in build/e2e/NAME/.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
name="$1"
scenario="$root/tests/e2e/scenarios/$name.sh"
[ -f "$scenario" ] || { echo "no scenario $name"; exit 2; }
w64="$root/build/win64"
native="$root/build/native"
for f in "$w64/drivewright.exe" "$w64/ui_driver.exe" "$w64/win98_registry.exe" "$native/mkimage"; do
  [ -f "$f" ] || { echo "missing $f: build first (scripts/build.sh)"; exit 2; }
done

e2e="$root/build/e2e"
work="$e2e/$name"
rm -rf "$work"
mkdir -p "$work/shots"

# shellcheck source=../../scripts/wine_session.sh
source "$root/scripts/wine_session.sh"
trap wine_session_end EXIT
trap "exit 130" INT TERM
# A command that fails where the scenario does not expect it ends the run and says which. The
# trap also runs in functions (set -E) but speaks only in the runner's own shell: in a subshell,
# such as a $(...) whose grep -c counts nothing, a failure ends nothing.
set -E
trap '[ "$BASH_SUBSHELL" -ne 0 ] ||
  echo "e2e: $name failed at \"$BASH_COMMAND\" (line $LINENO); its files: $work"' ERR

# One scenario at a time uses the shared Wine prefix.
exec 9>"$e2e/.lock"
flock -w 600 9
wine_session_start "$e2e/wineprefix" virtual

# What most scenarios use: two KORVANE drives on the primary IDE channel of a Windows 98 PC;
# two_drives_where_first LINES gives the same with lines about the first drive (a fault, a disc).
# shellcheck disable=SC2120  # the scenarios pass the lines
two_drives_where_first() {
  printf '%s\n' 'adapter ESDI_506 hdc Primary IDE controller (dual fifo)' \
    'drive 0 0 E 1.00 DVDR   KV-829A' "$@" 'drive 0 1 F 1.04 CD-R   KV-W6025A'
}
# shellcheck disable=SC2034,SC2119  # read by the scenarios
two_drives=$(two_drives_where_first)
# Helpers for the checks: the commands of one opcode in the command log, the log after its line
# N, and the number of images the drives committed.
commands() { grep -E "^[0-9]+ [0-9]+ $1 " "$work/wnaspi32.log" || true; }
log_after() { tail -n +"$(( $1 + 1 ))" "$work/wnaspi32.log"; }
commit_count() { grep -c '^commit' "$work/wnaspi32.log" || true; }
expect() {  # expect DESCRIPTION VALUE WANTED
  if [ "$2" != "$3" ]; then echo "e2e: $1 is '$2', not '$3'"; exit 1; fi
  echo "   $1: $2"
}
program_ends() {  # the program ends by itself within $1 seconds
  local _
  for _ in $(seq "$(( $1 * 10 ))"); do kill -0 "$program" 2>/dev/null || return 0; sleep 0.1; done
  echo "e2e: the program is still running"; exit 1
}
# The sum of the parameter list lengths (CDB bytes 6..8) of the WRITE BUFFER commands in the log.
write_buffer_bytes() {
  local sum=0 line
  local -a b
  while read -r line; do
    read -r -a b <<< "${line#*cdb=}"
    sum=$(( sum + 16#${b[6]}${b[7]}${b[8]} ))
  done < <(commands 3B)
  echo "$sum"
}
mkimage() { "$native/mkimage" "$@" >/dev/null; }
# The command lines (and commit lines) of a record from the upgrade's first command on (the TEST
# UNIT READY before its first WRITE BUFFER).
upgrade_part() {
  local lines first start
  lines=$(grep -E '^([0-9]+ [0-9]+ [0-9A-F]{2} |commit )' "$1")
  first=$(grep -n -m 1 '^0 0 3B ' <<< "$lines" | cut -d: -f1)
  start=$(head -n "$first" <<< "$lines" | grep -n '^0 0 00 ' | tail -n 1 | cut -d: -f1)
  tail -n +"$start" <<< "$lines"
}
# same_upgrade_as_linux RECORD: the Linux command line upgrades the same KV-829A (two drives on a
# parallel ATA channel of the simulated Linux PC) with kv829a-110.bin; from the upgrade's first
# command on, RECORD (a wnaspi32.log) and its drives.log are the same, line for line.
same_upgrade_as_linux() {
  local linux="$work/linux"
  mkdir -p "$linux"
  printf '%s\n' 'drive pata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A' \
    'drive pata 0 0 1 0 sg1 sr1 1.04 CD-R   KV-W6025A' > "$linux/linux.cfg"
  # No system bus, as in the Linux scenarios: the run never asks the machine's own logind.
  DRIVEWRIGHT_LINUX_SIM="$linux/linux.cfg" LD_PRELOAD="$native/libdrivewright_linux_sim.so" \
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$linux/no-system-bus" \
    timeout 60 "$native/drivewright" upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes \
    > "$linux/out.txt" 2>&1 < /dev/null || { cat "$linux/out.txt"; echo "e2e: Linux upgrade failed"; exit 1; }
  upgrade_part "$1" > "$work/windows-upgrade.txt"
  upgrade_part "$linux/drives.log" > "$work/linux-upgrade.txt"
  if ! diff "$work/windows-upgrade.txt" "$work/linux-upgrade.txt" > "$work/difference.txt"; then
    head -n 20 "$work/difference.txt"; echo "e2e: the records differ"; exit 1
  fi
  expect "chunks in both records" "$(grep -c ' 3B cdb=' "$work/linux-upgrade.txt")" 126
  echo "   the same $(wc -l < "$work/linux-upgrade.txt") lines from the upgrade's first command on"
  cmp "$linux/drive-0-0.bin" "$work/kv829a-110.bin"
}

expect_has() {  # expect_has DESCRIPTION TEXT PART
  if [[ "$2" != *"$3"* ]]; then echo "e2e: $1 lacks '$3' in:"; echo "$2"; exit 1; fi
  echo "   $1: has '$3'"
}
# cli ARGS: drivewright-cli.exe in the scenario's folder, bounded in time.
# shellcheck disable=SC2034  # out and err are read by the scenarios
cli() {
  rc=0
  (cd "$work" && timeout 120 "$wine" "$work/drivewright-cli.exe" "$@") \
    > "$work/out.txt" 2> "$work/err.txt" || rc=$?
  out=$(tr -d '\r' < "$work/out.txt")
  err=$(tr -d '\r' < "$work/err.txt" | grep -v '^[0-9a-f]*:\(err\|fixme\|warn\):' || true)
}
# A SCSI port that is there but refuses to open, as for a program without administrator rights:
# Wine answers an open of a folder for writing with access denied.
deny_scsi_port() { ln -sfn / "$WINEPREFIX/dosdevices/scsi$1:"; }
rm -f "$WINEPREFIX"/dosdevices/scsi*:
# The image most scenarios load, and the steps that load it into the first drive.
kv829a_image() { mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 "$work/kv829a-110.bin"; }
# shellcheck disable=SC2034  # read by the scenarios
load_kv829a='main "Drivewright  V1.25" 60
click 1000
open-file @WORK@/kv829a-110.bin 60
wait-text 1006 "Valid upgrade file loaded: kv829a-110.bin" 20'
# The steps of an upgrade of that image that fails with the text $1, the drive left at 1.00 and
# the buttons working again.
kv829a_upgrade_fails_with() {
  printf '%s\n%s' "$load_kv829a" 'click 1001
wait-prefix 1006 "Upgrade failed! " 180
text 1006 "'"$1"'"
text 1005 "1.00"
enabled 1000 1
enabled 1001 1
shot failed'
}
# What the pass-through path shows when its port refuses to open (deny_scsi_port): an empty,
# disabled list and why.
# shellcheck disable=SC2034  # read by the scenarios
access_denied_dialog='main "Drivewright  V1.25" 60
combo-count 0
enabled 1002 0
text 1006 "Access denied: run Drivewright as administrator"
enabled 1000 1
enabled 1001 0'


variant=current
windows=win98
dpi=96
dll_overrides=""
layer_config=""
steps=""
console_steps=""
prepare() { :; }
check() { :; }
# shellcheck source=/dev/null
source "$scenario"

# The program's folder: the exe, the library variant and its configuration.
cp "$w64/drivewright.exe" "$w64/drivewright-cli.exe" "$work/"
if [ "$variant" != none ]; then cp "$w64/aspi/$variant/wnaspi32.dll" "$work/"; fi
printf '%s\n' "$layer_config" > "$work/wnaspi32.cfg"
printf '%s\n' "$steps" | sed "s|@WORK@|$work|g" > "$work/steps.txt"
prepare

export WINEDLLOVERRIDES="wnaspi32=n${dll_overrides:+;$dll_overrides}"
# The version for the program alone; the tools beside it keep the prefix's.
# (A reg add fails now and then on a busy machine: set_prefix_value tries again.)
for exe in drivewright.exe drivewright-cli.exe; do
  set_prefix_value "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$windows" ||
    { echo "e2e: cannot set the Windows version"; exit 1; }
done
set_prefix_value 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" ||
  { echo "e2e: cannot set the display's DPI"; exit 1; }
if ! timeout 60 "$wine" "$w64/win98_registry.exe" "$(win_path "$work/wnaspi32.cfg")" \
    > "$work/registry.txt" 2>&1; then
  cat "$work/registry.txt"; echo "e2e: registry set-up failed"; exit 1
fi

if [ -n "$console_steps" ]; then
  "$console_steps"
  check
  echo "e2e: $name passed"
  exit 0
fi

# Screenshots the driver asks for.
(
  while :; do
    for request in "$work"/shots/*.request; do
      [ -e "$request" ] || continue
      shot="${request%.request}"
      import -window root "$shot.png" 2>/dev/null || true
      rm -f "$request"; touch "$shot.done"
    done
    sleep 0.2
  done
) &
session_pids+=($!)

(cd "$work" && exec "$wine" "$work/drivewright.exe") &
program=$!
session_pids+=("$program")

rc=0
timeout "${E2E_DRIVER_TIMEOUT:-240}" "$wine" "$w64/ui_driver.exe" "$work/steps.txt" "$work/shots" \
  > "$work/driver.txt" 2>&1 || rc=$?
import -window root "$work/$name.png" 2>/dev/null || true
cat "$work/driver.txt"
echo "e2e: screenshot $work/$name.png"
if [ "$rc" -ne 0 ]; then
  echo "e2e: the driver failed ($rc)"
  [ -f "$work/wnaspi32.log" ] && tail -n 20 "$work/wnaspi32.log"
  exit 1
fi
check
echo "e2e: $name passed"

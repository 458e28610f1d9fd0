#!/usr/bin/env bash
# Runs one end-to-end scenario: the real drivewright.exe under Wine (Windows version win98) on a
# virtual display, with the simulated wnaspi32.dll beside it, driven by ui_driver.exe.
#
#   tests/e2e/run.sh NAME        (the scenario is tests/e2e/scenarios/NAME.sh)
#
# A scenario sets `variant` (the wnaspi32.dll to put beside the program: current, old, plain or
# none), writes the layer configuration in `layer_config`, the driver's steps in `steps`, and may
# define `prepare` (before the program starts) and `check` (after the driver passed). @WORK@ in
# the steps is the scenario's folder. Every process started here is ended by its id, and the
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

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$e2e/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64

pids=()
# The ids of the Wine processes of this run: the programs it started and the ones Wine started
# for them (services, desktop, device hosts), which put themselves in sessions of their own. The
# prefix is this run's alone while it holds the lock, so its processes are the run's.
wine_processes() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}; pid=${pid%/environ}
    [ "$pid" = "$$" ] && continue
    if { tr '\0' '\n' < "$environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
    fi
  done
}
cleanup() {
  local pid
  for pid in "${pids[@]}" $(wine_processes); do kill "$pid" 2>/dev/null || true; done
  sleep 1
  for pid in "${pids[@]}" $(wine_processes); do kill -9 "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# One scenario at a time uses the shared Wine prefix.
exec 9>"$e2e/.lock"
flock -w 600 9

# A virtual display of our own.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# The prefix: made once, Windows version win98, windows inside a virtual desktop that Wine
# draws with their captions (a bare X server has no window manager to draw them).
prefix_kind="win98 desktop 1"
make_prefix=false
if [ "$(cat "$WINEPREFIX/.drivewright-ready" 2>/dev/null)" != "$prefix_kind" ]; then
  make_prefix=true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
fi

# A wineserver of this run, ended at the end by its id: every Wine process of the run ends
# with it.
"$wineserver" -f -p >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

if $make_prefix; then
  echo "e2e: making the Wine prefix (once)"
  WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || true
  timeout 60 "$wine" reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
  timeout 60 "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  timeout 60 "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
    >/dev/null 2>&1
  echo "$prefix_kind" > "$WINEPREFIX/.drivewright-ready"
fi

# What most scenarios use: two KORVANE drives on the primary IDE channel of a Windows 98 PC.
two_drives='adapter ESDI_506 hdc Primary IDE controller (dual fifo)
drive 0 0 E 1.00 DVDR   KV-829A
drive 0 1 F 1.04 CD-R   KV-W6025A'
# Helpers for the checks: the command log, and the commands of one opcode in it.
log() { cat "$work/wnaspi32.log"; }
commands() { grep -E "^[0-9]+ [0-9]+ $1 " "$work/wnaspi32.log" || true; }
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

variant=current
layer_config=""
steps=""
prepare() { :; }
check() { :; }
# shellcheck source=/dev/null
source "$scenario"

# The program's folder: the exe, the library variant and its configuration.
cp "$w64/drivewright.exe" "$work/"
if [ "$variant" != none ]; then cp "$w64/aspi/$variant/wnaspi32.dll" "$work/"; fi
printf '%s\n' "$layer_config" > "$work/wnaspi32.cfg"
printf '%s\n' "$steps" | sed "s|@WORK@|$work|g" > "$work/steps.txt"
prepare

export WINEDLLOVERRIDES="wnaspi32=n"
if ! timeout 60 "$wine" "$w64/win98_registry.exe" "Z:${work//\//\\}\\wnaspi32.cfg" \
    > "$work/registry.txt" 2>&1; then
  cat "$work/registry.txt"; echo "e2e: registry set-up failed"; exit 1
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
pids+=($!)

(cd "$work" && exec "$wine" "$work/drivewright.exe") &
program=$!
pids+=($program)

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

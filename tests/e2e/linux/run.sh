#!/usr/bin/env bash
# Runs one end-to-end scenario of the Linux command line: the real build/native/drivewright with
# the simulated Linux PC preloaded (libdrivewright_linux_sim.so), which answers its system calls
# on /sys, /dev/sg*, /dev/sr* and /proc/self/mounts and records what the drives received.
#
#   tests/e2e/linux/run.sh NAME        (the scenario is tests/e2e/linux/scenarios/NAME.sh)
#
# A scenario writes the PC's description in `config` and defines `steps`, in which `dw ARGS`
# runs the program (its output in $out and $err, its exit code in $rc) and `dw_in_terminal
# SCRIPT ARGS` runs it in a pseudo-terminal of 80 columns driven by in_terminal.py, its
# controlling terminal (`terminal_stderr=FILE dw_in_terminal ...` sends its stderr to FILE,
# `terminal_detached=1 dw_in_terminal ...` runs it in a session of its own, where the terminal is
# not its controlling one). Elsewhere it has no controlling terminal. `dw_start ARGS` (or
# `dw_background ARGS`) starts it in the background as a shell's job ($pid), `dw_wait` collects it
# as `dw` does, `wait_until DESCRIPTION COMMAND...` waits for a state (never for a fixed time) and
# `wait_for_log PATTERN` until drives.log has a line that matches. Every run is bounded in time.
# The scenario's files stay in build/e2e-linux/NAME/ (opens.log: the opens and closes of the
# drives' nodes).
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
name="$1"
scenario="$root/tests/e2e/linux/scenarios/$name.sh"
[ -f "$scenario" ] || { echo "no scenario $name"; exit 2; }
native="$root/build/native"
for f in "$native/drivewright" "$native/libdrivewright_linux_sim.so" "$native/mkimage"; do
  [ -f "$f" ] || { echo "missing $f: build the native preset first"; exit 2; }
done
work="$root/build/e2e-linux/$name"
rm -rf "$work"
mkdir -p "$work"
# A command that fails where the scenario does not expect it ends the run and says which, with
# what the program wrote. The trap also runs in functions (set -E) but speaks only in the
# runner's own shell: in a subshell, such as a $(...) whose grep -c counts nothing, a failure
# ends nothing.
failed_here() {
  [ "$BASH_SUBSHELL" -eq 0 ] || return 0
  echo "e2e-linux: $name failed at \"$1\" (line $2); its files: $work"
  echo "--- stdout"; cat "$work/out.txt" 2>/dev/null || true
  echo "--- stderr"; cat "$work/err.txt" 2>/dev/null || true
}
set -E
trap 'failed_here "$BASH_COMMAND" "$LINENO"' ERR
export DRIVEWRIGHT_LINUX_SIM="$work/linux.cfg"
# No system bus, unless a scenario starts one: the runs never ask the machine's own logind.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus"

# Two KORVANE drives on a parallel ATA channel, as the Windows scenarios have them on the
# primary IDE channel; two_drives_where_first LINES adds lines about the first drive.
# shellcheck disable=SC2120  # the scenarios pass the lines
two_drives_where_first() {
  printf '%s\n' 'drive pata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A' "$@" \
    'drive pata 0 0 1 0 sg1 sr1 1.04 CD-R   KV-W6025A'
}
# shellcheck disable=SC2034,SC2119  # read by the scenarios
two_drives=$(two_drives_where_first)
# A new PC: its drives start with the revisions it gives, not those committed before.
configure() {
  printf '%s\n' "$1" > "$work/linux.cfg"; : > "$work/drives.log"; : > "$work/opens.log"
  rm -f "$work"/drive-*.revision
}

dw() {
  rc=0
  LD_PRELOAD="$native/libdrivewright_linux_sim.so" timeout 60 "$native/drivewright" "$@" \
    > "$work/out.txt" 2> "$work/err.txt" < /dev/null || rc=$?
  out=$(cat "$work/out.txt"); err=$(cat "$work/err.txt")
  echo "   \$ drivewright $* -> $rc"
}
# dw_in_terminal SCRIPT ARGS: the program in a pseudo-terminal; the script's lines are steps of
# in_terminal.py (expect, send, interrupt, run). What the terminal showed is in $out.
dw_in_terminal() {
  local script="$1" options=() detach=()
  shift
  printf '%s\n' "$script" | sed "s|@WORK@|$work|g" > "$work/terminal.txt"
  [ -z "${terminal_stderr:-}" ] || options=(--stderr "$terminal_stderr")
  [ -z "${terminal_detached:-}" ] || detach=(setsid -w)
  rc=0
  timeout 90 python3 "$root/tests/e2e/linux/in_terminal.py" "${options[@]}" "$work/terminal.txt" \
    "$work/screen.txt" "${detach[@]}" env LD_PRELOAD="$native/libdrivewright_linux_sim.so" \
    DRIVEWRIGHT_LINUX_SIM_TERMINAL=1 "$native/drivewright" "$@" || rc=$?
  # shellcheck disable=SC2034  # read by the scenarios
  out=$(cat "$work/screen.txt")
  # shellcheck disable=SC2034
  err=""
  echo "   \$ drivewright $* (in a terminal) -> $rc"
}

# dw_start ARGS: the program in the background, in a process group of its own as a shell with
# job control starts a job (so signals reach it as they would from a terminal, and a stop stops
# it); its output in out.txt and err.txt, its process id in $pid. dw_wait waits for its end and
# sets $rc, $out and $err; a program still running when the scenario ends is killed.
dw_start() {
  set -m
  LD_PRELOAD="$native/libdrivewright_linux_sim.so" "$native/drivewright" "$@" \
    > "$work/out.txt" 2> "$work/err.txt" < /dev/null &
  pid=$!
  set +m
  trap 'kill -KILL "$pid" 2>/dev/null || true' EXIT
  echo "   \$ drivewright $* (in the background, process $pid)"
}
# The state letter of the program's process (R, S, D, T, Z), or nothing once it was collected.
process_state() { sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1 || true; }
has_ended() { [ "$(process_state)" = Z ] || [ ! -e "/proc/$pid" ]; }
# wait_until DESCRIPTION COMMAND...: until COMMAND succeeds, at most 60 s.
wait_until() {
  local what="$1" deadline=$((SECONDS + 60))
  shift
  until "$@"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "e2e-linux: waited 60 s for $what (the program is in state $(process_state))"
      echo "--- stdout"; cat "$work/out.txt" 2>/dev/null || true
      echo "--- stderr"; cat "$work/err.txt" 2>/dev/null || true
      exit 1
    fi
    sleep 0.02
  done
  echo "   $what"
}
dw_background() { dw_start "$@"; }
# wait_for_log PATTERN: until drives.log has a line that matches the extended regex.
wait_for_log() { wait_until "drives.log shows $1" grep -qE "$1" "$work/drives.log"; }
dw_wait() {
  wait_until "the program ended" has_ended
  rc=0
  wait "$pid" || rc=$?
  # shellcheck disable=SC2034  # read by the scenarios
  out=$(cat "$work/out.txt")
  # shellcheck disable=SC2034
  err=$(cat "$work/err.txt")
  echo "   -> $rc"
}

commands() { grep -E "^[0-9]+ [0-9]+ $1 " "$work/drives.log" || true; }
commit_count() { grep -c '^commit' "$work/drives.log" || true; }
expect() {  # expect DESCRIPTION VALUE WANTED
  if [ "$2" != "$3" ]; then
    echo "e2e-linux: $1 is '$2', not '$3'"
    echo "--- stdout"; cat "$work/out.txt" 2>/dev/null || true
    echo "--- stderr"; cat "$work/err.txt" 2>/dev/null || true
    exit 1
  fi
  echo "   $1: ${2%%$'\n'*}"
}
expect_has() {  # expect_has DESCRIPTION TEXT PART
  case "$2" in
    *"$3"*) echo "   $1 says: $3" ;;
    *) echo "e2e-linux: $1 does not say '$3':"; printf '%s\n' "$2"; exit 1 ;;
  esac
}
mkimage() { "$native/mkimage" "$@" >/dev/null; }
kv829a_image() { mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 "$work/kv829a-110.bin"; }

config="$two_drives"
steps() { :; }
# shellcheck source=/dev/null
source "$scenario"
configure "$config"
steps
echo "e2e-linux: $name passed"

#!/usr/bin/env bash
# Runs the real program (build/win64/drivewright.exe) under Wine as Windows 98, with two
# simulated KORVANE drives (a DVDR KV-829A at E: and a CD-R KV-W6025A at F:) and two sample
# upgrade images for them in build/demo/samples. On the user's display, or, without one, on a
# virtual display: then a screenshot is saved and the program keeps running until Ctrl+C (or for
# DRIVEWRIGHT_SECONDS seconds).
set -eEuo pipefail
# A step that fails ends the run: say which, so that a log shows why the demo did not start.
trap 'echo "drivewright: stopped: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
w64=build/win64
for f in $w64/drivewright.exe $w64/aspi/current/wnaspi32.dll $w64/win98_registry.exe \
         $w64/ui_driver.exe build/native/mkimage; do
  [ -f "$f" ] || { bash scripts/build.sh; break; }
done

demo="$root/build/demo"
mkdir -p "$demo/samples"
cp $w64/drivewright.exe "$demo/"
cat > "$demo/wnaspi32.cfg" <<'CFG'
# The simulated PC: one IDE adapter with two KORVANE drives.
adapter ESDI_506 hdc Primary IDE controller (dual fifo)
drive 0 0 E 1.00 DVDR   KV-829A
drive 0 1 F 1.04 CD-R   KV-W6025A
CFG
rm -f "$demo"/wnaspi32.log "$demo"/wnaspi32-*.bin
build/native/mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 \
  "$demo/samples/kv829a-v110.bin" >/dev/null
build/native/mkimage --row "CD-R   KV-W6025A" --size 524288 --version 1.10 \
  "$demo/samples/kvw6025a-v110.bin" >/dev/null

# shellcheck source=wine_session.sh
source scripts/wine_session.sh
trap wine_session_end EXIT
trap "exit 130" INT TERM
virtual=""
[ -n "${DISPLAY:-}" ] || virtual=virtual
wine_session_start "${WINEPREFIX:-$HOME/.drivewright-wine}" $virtual

cp $w64/aspi/current/wnaspi32.dll "$demo/"
export WINEDLLOVERRIDES="wnaspi32=n"
timeout 60 "$wine" $w64/win98_registry.exe "$(win_path "$demo/wnaspi32.cfg")" >/dev/null

(cd "$demo" && exec "$wine" "$demo/drivewright.exe") &
program=$!
session_pids+=("$program")
echo "drivewright: running (process $program) with WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
echo "drivewright: sample upgrade files: $demo/samples (in the Open dialog: $(win_path "$demo/samples"))"
echo "drivewright: the drives' command log: $demo/wnaspi32.log"

if [ -n "$virtual" ]; then
  printf 'main "Drivewright  V1.25" 60\n' > "$demo/wait.txt"
  timeout 90 "$wine" $w64/ui_driver.exe "$demo/wait.txt" >/dev/null 2>&1 || true
  sleep 1
  import -window root "$demo/drivewright-demo.png"
  echo "drivewright: no display, so the program runs on the virtual display $DISPLAY;"
  echo "drivewright: screenshot saved at $demo/drivewright-demo.png"
  echo "drivewright: drive it with: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY $wine $root/$w64/ui_driver.exe STEPS"
  echo "drivewright: Ctrl+C ends it"
fi

if [ -n "${DRIVEWRIGHT_SECONDS:-}" ]; then
  for _ in $(seq "$DRIVEWRIGHT_SECONDS"); do kill -0 "$program" 2>/dev/null || break; sleep 1; done
else
  wait "$program" || true
fi

#!/usr/bin/env bash
# Starts build/win64/drivewright.exe under Wine: on the user's display, or, without one, on a
# virtual display, saving a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/win64/drivewright.exe
[ -f "$exe" ] || bash scripts/build.sh
export WINEPREFIX="${WINEPREFIX:-$HOME/.drivewright-wine}"
export WINEDEBUG=-all
wine=/usr/lib/wine/wine64

if [ -n "${DISPLAY:-}" ]; then
  exec "$wine" "$exe"
fi

display=:77
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
"$wine" "$exe" &
program=$!
sleep "${DRIVEWRIGHT_SHOT_AFTER:-8}"
shot="$PWD/build/drivewright-screenshot.png"
import -window root "$shot"
echo "No display: the program ran on a virtual display; screenshot saved at $shot"
kill "$program" 2>/dev/null || true
/usr/lib/wine/wineserver -k 2>/dev/null || true

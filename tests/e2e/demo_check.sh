#!/usr/bin/env bash
# The demo's run command, checked from outside as a user would use it: it is started with no
# display, and the UI driver then picks the second drive, loads its sample image, upgrades it
# and sees the new version. The demo is ended by its id; it ends its own processes.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$root/build/e2e/demo"
rm -rf "$out"
mkdir -p "$out"
export WINEPREFIX="$root/build/e2e/demo-prefix"
unset DISPLAY

env DRIVEWRIGHT_SECONDS=300 bash "$root/scripts/run.sh" > "$out/demo.txt" 2>&1 &
demo=$!
trap 'kill "$demo" 2>/dev/null || true; wait "$demo" 2>/dev/null || true' EXIT
# Up to 400 s: the first run also makes the demo's Wine prefix, which takes a while on a busy
# machine; the wait ends as soon as the demo says it runs.
deadline=$((SECONDS + 400))
while [ "$SECONDS" -lt "$deadline" ]; do
  grep -q "Ctrl+C" "$out/demo.txt" && break
  kill -0 "$demo" 2>/dev/null || break
  sleep 0.5
done
cat "$out/demo.txt"
display=$(sed -n 's/.*running (process [0-9]*) with WINEPREFIX=.* DISPLAY=\(:[0-9]*\)$/\1/p' "$out/demo.txt")
[ -n "$display" ] || { echo "demo check: the demo did not start"; exit 1; }

cat > "$out/steps.txt" <<STEPS
main "Drivewright  V1.25" 60
font "Marlett"
combo-count 2
combo 0 "ID:0  KV-829A  "
combo 1 "ID:1  KV-W6025A"
select 1
wait-text 1005 "1.04" 20
click 1000
open-file $root/build/demo/samples/kvw6025a-v110.bin 60
wait-text 1006 "Valid upgrade file loaded: kvw6025a-v110.bin" 20
click 1001
wait-text 1006 "Upgrade succesfull" 180
text 1005 "1.10"
STEPS
rc=0
DISPLAY=$display WINEDEBUG=-all timeout 300 /usr/lib/wine/wine64 "$root/build/win64/ui_driver.exe" \
  "$out/steps.txt" || rc=$?
[ "$rc" -eq 0 ] || { echo "demo check: the UI driver failed ($rc); the demo's files: $out"; exit 1; }
DISPLAY=$display import -window root "$out/demo-upgraded.png" || true
echo "demo check: passed; screenshot $out/demo-upgraded.png"

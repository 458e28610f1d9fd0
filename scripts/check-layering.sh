#!/usr/bin/env bash
# Fails on an #include that runs up the layers of src/. The layers, from the bottom:
#   platform util resources  <  devices  <  scsi  <  discovery  <  identify  <  firmware
#   <  app cli
# A file may include its own layer and the layers below. platform/win32 and platform/linux are
# the seam's real implementations: only they and the front ends (app/win32, cli) may include
# them.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    platform|util|resources) echo 0 ;;
    devices) echo 1 ;;
    scsi) echo 2 ;;
    discovery) echo 3 ;;
    identify) echo 4 ;;
    firmware) echo 5 ;;
    app|cli) echo 6 ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r -d '' file; do
  rel=${file#src/}
  from_area=${rel%%/*}
  from_rank=$(rank "$from_area")
  if [ -z "$from_rank" ]; then
    echo "check-layering: $file lies in no known layer ($from_area)" >&2
    status=1
    continue
  fi
  while IFS= read -r target; do
    to_area=${target%%/*}
    to_rank=$(rank "$to_area")
    [ -n "$to_rank" ] || continue   # a file of the same folder, included by its bare name
    if [ "$to_rank" -gt "$from_rank" ]; then
      echo "check-layering: $file includes $target, a layer above it" >&2
      status=1
    fi
    case "$target" in
      platform/win32/*|platform/linux/*)
        case "$rel" in
          platform/win32/*|platform/linux/*|app/win32/*|cli/*) ;;
          *) echo "check-layering: $file includes $target, a real implementation of the seam" >&2
             status=1 ;;
        esac ;;
    esac
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

if [ "$status" -eq 0 ]; then echo "check-layering: every include runs down the layers"; fi
exit "$status"

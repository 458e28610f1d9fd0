# The upgrade file is deleted between Load File and Upgrade: the upgrade fails, says why, and
# nothing of a download follows the eject.
layer_config=$(two_drives_where_first medium)
prepare() { kv829a_image; }
steps="$load_kv829a"'
delete-file @WORK@/kv829a-110.bin
click 1001
wait-prefix 1006 "Upgrade failed! " 60
text 1006 "Upgrade failed! The upgrade file could not be opened."
text 1005 "1.00"
enabled 1000 1
shot failed'
check() {
  local eject
  eject=$(grep -n '^0 0 1B' "$work/wnaspi32.log" | tail -n 1 | cut -d: -f1)
  [ -n "$eject" ] || { echo "e2e: no eject"; exit 1; }
  expect "download commands after the eject" \
    "$(log_after "$eject" | grep -cE '^0 0 (01|3B|E1|E2) ')" 0
  expect "download commands at all" "$(commands '(3B|E1|E2)' | wc -l)" 0
}

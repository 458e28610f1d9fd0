# Ctrl+Z (SIGTSTP) during an upgrade is held back: the download goes on to its end, the outcome
# and the version read back are written, and only then does the program stop; continued, it
# ends with the upgrade's exit code.
config=$(two_drives_where_first 'latency 20')
download_began() { [ "$(commands 3B | wc -l)" -gt 0 ]; }
committed() { [ "$(commit_count)" -eq 1 ]; }
stopped() { [ "$(process_state)" = T ]; }
steps() {
  kv829a_image
  dw_start upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  wait_until "the download began" download_began
  kill -TSTP "$pid"
  wait_until "the drive committed the image" committed
  if stopped; then echo "e2e-linux: the program stopped before the upgrade ended"; exit 1; fi
  wait_until "the program stopped" stopped
  expect_has "the output before the stop" "$(cat "$work/out.txt")" "Upgrade succesfull
Firmware version: 1.10"
  local sent
  sent=$(grep -c . "$work/drives.log")
  kill -CONT "$pid"
  dw_wait
  expect "exit code" "$rc" 0
  expect "commands after the stop" "$(grep -c . "$work/drives.log")" "$sent"
  expect "chunks" "$(commands 3B | wc -l)" 126
}

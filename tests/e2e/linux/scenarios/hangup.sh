# A hang-up (SIGHUP: a dropped SSH session, a closed terminal window) during an upgrade: before
# the committing command it stops the download with nothing committed (130); while the
# committing chunk is with the drive the upgrade finishes, and says so on stderr.
config=$(two_drives_where_first 'latency 20' 'commit-latency 3000')
download_began() { [ "$(commands 3B | wc -l)" -gt 0 ]; }
commit_is_with_the_drive() { [ "$(commit_count)" -eq 1 ]; }
steps() {
  kv829a_image
  dw_start upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  wait_until "the download began" download_began
  kill -HUP "$pid"
  dw_wait
  expect "exit code after a hang-up during the download" "$rc" 130
  expect_has "the outcome" "$out" "Interrupted before the committing command: nothing was committed"
  expect "committing chunks" "$(commands 3B | grep -c 'cdb=3B 05 ')" 0
  expect "commits" "$(commit_count)" 0

  configure "$config"
  dw_start upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  wait_until "the committing chunk is with the drive" commit_is_with_the_drive
  kill -HUP "$pid"
  dw_wait
  expect "exit code after a hang-up during the committing chunk" "$rc" 0
  expect_has "stderr" "$err" \
    "drivewright: SIGHUP received; the firmware is being committed, finishing the upgrade"
  expect_has "the outcome" "$out" "Upgrade succesfull"
  expect_has "the version read back" "$out" "Firmware version: 1.10"
  expect "chunks" "$(commands 3B | wc -l)" 126
}

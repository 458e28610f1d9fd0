# Ctrl+C at the question or during the download stops before the committing command and says
# that nothing was committed; Ctrl+C during the settle wait after the committing command lets
# the upgrade finish, and says so.
config=$(two_drives_where_first 'latency 15')
steps() {
  kv829a_image
  dw_in_terminal 'expect [y/N]
interrupt' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code at the question" "$rc" 130
  expect_has "the answer" "$out" "Interrupted before the upgrade began: nothing was committed."
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  dw_in_terminal 'expect Downloading [
interrupt
expect Firmware version:' upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code" "$rc" 130
  expect_has "the outcome" "$out" "Interrupted before the committing command: nothing was committed"
  expect "committing chunks" "$(commands 3B | grep -c 'cdb=3B 05 ')" 0
  local chunks
  chunks=$(commands 3B | wc -l)
  if [ "$chunks" -le 0 ] || [ "$chunks" -ge 125 ]; then echo "e2e-linux: $chunks chunks sent"; exit 1; fi
  echo "   chunks sent before the stop: $chunks"
  expect "commits" "$(commit_count)" 0

  configure "$config"
  dw_in_terminal 'expect Settling
interrupt
expect Firmware version:' upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code when interrupted after the commit" "$rc" 0
  expect_has "the notice" "$out" \
    "drivewright: SIGINT received; the firmware is being committed, finishing the upgrade"
  expect_has "the outcome" "$out" "Upgrade succesfull"
  expect_has "the version read back" "$out" "Firmware version: 1.10"
  expect "commits" "$(commit_count)" 1
}

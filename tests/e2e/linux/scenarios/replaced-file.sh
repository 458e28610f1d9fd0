# The upgrade file is replaced by another valid-looking image of the same size while the
# question waits for its answer: the upgrade fails and the drive never sees the committing chunk.
steps() {
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --seed 1 "$work/kv829a.bin"
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.20 --seed 2 "$work/other.bin"
  dw_in_terminal 'expect [y/N]
run cp @WORK@/other.bin @WORK@/kv829a.bin
send y
expect Firmware version:' upgrade "$work/kv829a.bin" --device /dev/sg0
  expect "exit code" "$rc" 1
  expect_has "the outcome" "$out" "Upgrade failed! "
  expect_has "the version read back" "$out" "Firmware version: 1.00"
  expect "committing chunks" "$(commands 3B | grep -c 'cdb=3B 05 ')" 0
  expect "commits" "$(commit_count)" 0
}

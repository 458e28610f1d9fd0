# upgrade: a whole upgrade with --yes (125 chunks and a committing one, the drive then holds the
# file byte for byte, the new version is read back); without --yes and without a terminal it
# refuses, and an answer other than yes in a terminal downloads nothing.
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code without --yes or a terminal" "$rc" 2
  expect_has "the refusal" "$err" "not upgrading without a yes"
  dw_in_terminal 'expect [y/N]
send n' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code after no" "$rc" 6
  expect_has "the question" "$out" "Upgrade /dev/sg0 (ID:0  KV-829A, firmware 1.00) with"
  expect_has "the question" "$out" "(version 1.10, newer)? [y/N]"
  expect_has "the answer" "$out" "Not upgraded."
  expect "download commands so far" "$(commands '(3B|E1|E2)' | wc -l)" 0

  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code" "$rc" 0
  expect "output" "$out" "Valid upgrade file loaded: kv829a-110.bin
Upgrade in progress
Upgrade succesfull
Firmware version: 1.10"
  expect_has "the progress" "$err" "Downloading: 126/126 chunks, 1028096/1028096 bytes"
  expect_has "the settle wait" "$err" "Settling: giving the drive 2.0 s to take the firmware"
  expect "chunks in mode 4" "$(commands 3B | grep -c 'cdb=3B 04 ')" 125
  expect "chunks in mode 5" "$(commands 3B | grep -c 'cdb=3B 05 ')" 1
  expect "failed chunks" "$(commands 3B | grep -vc 'status=01')" 0
  expect "commit" "$(grep '^commit' "$work/drives.log")" "commit 0 0 bytes=1028096 revision=1.10"
  cmp "$work/drive-0-0.bin" "$work/kv829a-110.bin"
  echo "   the drive holds the file, byte for byte"
  expect "commands to the other drive's download" "$(commands 3B | grep -vc '^0 0 ')" 0
}

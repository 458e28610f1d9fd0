# The exit codes a script branches on, one case each: 0 done, 1 failed after a command that
# changes the drive went out, 2 the command line does not read, 3 the drive cannot be used, 4 no
# KORVANE drive or not the one named, 5 the file is not valid for the drive, 6 declined at the
# question, 130 interrupted with nothing committed. An upgrade that stops before any command that
# changes the drive is not 1: with its file cut short while the question waited it is 5, and the
# drive keeps its firmware.
steps() {
  local codes="0 1 2 3 4 5 6 130 "
  dw --help
  expect "the codes --help lists" \
    "$(sed -n '/^Exit codes:/,/^$/p' "$work/out.txt" | grep -oE '^  [0-9]+' | tr -d ' ' | tr '\n' ' ')" "$codes"
  expect "the codes the manual page lists" \
    "$(sed -n '/^.SH EXIT STATUS/,/^.SH EX/p' "$root/packaging/drivewright.1" | grep -oE '^\.B [0-9]+' | cut -d' ' -f2 | tr '\n' ' ')" "$codes"

  kv829a_image
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "done" "$rc" 0
  dw check "$work/kv829a-110.bin" --device /dev/sg0 --frobnicate
  expect "the command line does not read" "$rc" 2
  dw check "$work/kv829a-110.bin" --device /dev/sg7
  expect "not the drive named" "$rc" 4
  dw check "$work/kv829a-110.bin" --device /dev/sg1
  expect "a file for another model" "$rc" 5
  dw_in_terminal 'expect [y/N]
send n' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "declined" "$rc" 6
  dw_in_terminal 'expect [y/N]
interrupt' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "interrupted" "$rc" 130
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  dw_in_terminal 'expect [y/N]
run truncate -s 4096 @WORK@/kv829a-110.bin
send y
expect Firmware version:' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "the file cut short before the first chunk" "$rc" 5
  expect_has "why" "$out" \
    "drivewright: the upgrade stopped before any command that changes the drive: it keeps its firmware"
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  kv829a_image
  configure "$two_drives
deny /dev/sg0 EBUSY"
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "the drive in use" "$rc" 3

  configure "$(two_drives_where_first 'fail 3B 1 05 24 00')"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "the first chunk refused" "$rc" 1
  expect "chunks sent" "$(commands 3B | wc -l)" 1

  configure 'drive pata 0 0 0 0 sg0 sr0 1.00 CD-ROM KV-6XCH'
  dw check "$work/kv829a-110.bin"
  expect "a drive that takes no upgrade files" "$rc" 5
  expect "status" "$out" "No upgradable device selected"
  expect "why" "$err" "drivewright: the CD-ROM KV-6XCH takes no upgrade files"

  configure 'drive scsi 4 0 3 0 sg5 sr3 1.00 DVD-ROM OTHER
vendor OTHERCO'
  dw list
  expect "no KORVANE drive" "$rc" 4
}

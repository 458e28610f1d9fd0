# A drive another program holds exclusively (a burner writing a disc) is said to be in use, with
# exit 3: list never says "no KORVANE drive found" of it, and --device never calls it "not a
# KORVANE drive". With --device nothing reaches the other drives (one may be writing a disc). Where the sg node cannot be opened, the sr node named with --device is
# used, with the rights the kernel asks for there.
config="$two_drives
deny /dev/sg1 EBUSY"
steps() {
  kv829a_image
  local busy="drivewright: /dev/sg1 is in use by another program: close it (or unmount the disc) and try again"
  dw list
  expect "exit code with one drive busy" "$rc" 3
  expect "output" "$out" '/dev/sg0  "ID:0  KV-829A  "  ATAPI  1.00'
  expect "message" "$err" "$busy"
  dw check "$work/kv829a-110.bin" --device /dev/sg1
  expect "exit code of the busy drive named" "$rc" 3
  expect "message" "$err" "$busy"

  # Both drives free: the one not named receives nothing, not even the start-up's questions.
  configure "$two_drives"
  dw list --device /dev/sr0
  expect "list of the drive named" "$out" '/dev/sg0  "ID:0  KV-829A  "  ATAPI  1.00'
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code of an upgrade of the first drive" "$rc" 0
  expect "commands to the other drive" "$(commands '..' | grep -c '^0 1 ')" 0

  configure 'drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
deny /dev/sg0 EBUSY'
  dw list
  expect "exit code with the only drive busy" "$rc" 3
  expect "output" "$out" ""
  dw check "$work/kv829a-110.bin"
  expect "exit code of check" "$rc" 3
  expect "output" "$out" ""

  configure 'drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
deny /dev/sg0 EACCES'
  dw upgrade "$work/kv829a-110.bin" --device /dev/sr0 --yes
  expect "exit code through /dev/sr0 where /dev/sg0 cannot be opened" "$rc" 0
  expect "the hold" "$(grep -c '^open /dev/sr0 exclusive' "$work/opens.log")" 1
  expect "commit" "$(grep '^commit' "$work/drives.log")" "commit 0 0 bytes=1028096 revision=1.10"
  configure 'drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
deny /dev/sg0 EACCES
no-rawio'
  dw upgrade "$work/kv829a-110.bin" --device /dev/sr0 --yes
  expect "exit code through /dev/sr0 without CAP_SYS_RAWIO" "$rc" 3
  expect_has "message" "$err" "drivewright: through /dev/sr0 the kernel passes the upgrade's commands"
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0
}

# A node the user may not open is named with what is needed, and so is a command the kernel
# refuses to pass on; a mounted disc and a drive held by another program are refused before
# anything is sent to them.
config='drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
deny /dev/sg0 EACCES'
steps() {
  kv829a_image
  dw list
  expect "exit code" "$rc" 1
  expect "output" "$out" "no KORVANE drive found"
  expect "message" "$err" "drivewright: cannot open /dev/sg0 for reading and writing (Permission denied): run as root, or get read and write access to /dev/sg0 (for example as a member of the group that owns it)"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code of an upgrade" "$rc" 3
  expect "commands the drive received" "$(commands '..' | wc -l)" 0

  configure 'drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
refuse 3B EPERM'
  dw upgrade "$work/kv829a-110.bin" --yes
  expect "exit code when the kernel refuses WRITE BUFFER" "$rc" 1
  expect_has "the outcome" "$out" "Upgrade failed! "
  expect "message" "$err" "drivewright: the system refused command 3Bh on /dev/sg0 (Operation not permitted): vendor and download commands need root (CAP_SYS_RAWIO)"
  expect "chunks the drive received" "$(commands 3B | wc -l)" 0

  configure 'drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
mounted /media/user/KORVANE DISC'
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code with a mounted disc" "$rc" 3
  expect "message" "$err" "drivewright: the disc in /dev/sr0 is mounted on /media/user/KORVANE DISC: unmount it first (umount /media/user/KORVANE DISC)"
  expect "download commands" "$(commands '(00|01|3B)' | grep -c '3B')" 0

  configure 'drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
held'
  dw upgrade "$work/kv829a-110.bin" --yes
  expect "exit code with the drive held" "$rc" 3
  expect "message" "$err" "drivewright: /dev/sg0 is in use by another program: close it (or unmount the disc) and try again"
  expect "download commands" "$(commands 3B | wc -l)" 0
}

# A node the user may not open is named with what is needed, and is no "no KORVANE drive found":
# exit 3. Through /dev/srN the kernel passes
# the upgrade's commands only with CAP_SYS_RAWIO: without it the upgrade is refused before its
# question, with what is needed; through /dev/sgN opened for writing it passes every command. A
# command refused all the same is named. A mounted disc and a drive held by another program are
# refused before anything is sent to them.
config='drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
deny /dev/sg0 EACCES'
steps() {
  kv829a_image
  dw list
  expect "exit code" "$rc" 3
  expect "output" "$out" ""
  expect "message" "$err" "drivewright: cannot open /dev/sg0 for reading and writing (Permission denied): run as root, or get read and write access to /dev/sg0 (for example as a member of the group that owns it)"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code of an upgrade" "$rc" 3
  expect "commands the drive received" "$(commands '..' | wc -l)" 0

  configure 'drive sata 0 0 0 0 - sr0 1.00 DVDR   KV-829A
no-rawio'
  dw_in_terminal 'expect write access' upgrade "$work/kv829a-110.bin"
  expect "exit code through /dev/sr0 without CAP_SYS_RAWIO" "$rc" 3
  expect_has "message" "$out" "drivewright: through /dev/sr0 the kernel passes the upgrade's commands (WRITE BUFFER and the maker's vendor commands) only to a program with CAP_SYS_RAWIO: run it as root, or load the sg module and use /dev/sgN with write access"
  case "$out" in *"[y/N]"*) echo "e2e-linux: it asked before it refused"; exit 1 ;; esac
  expect "download commands" "$(commands '(3B|E1|E2|1B)' | wc -l)" 0

  configure 'drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
no-rawio
refuse 3B EPERM'
  dw upgrade "$work/kv829a-110.bin" --yes
  expect "exit code through /dev/sg0 without CAP_SYS_RAWIO" "$rc" 0
  expect "chunks the drive received" "$(commands 3B | wc -l)" 126

  configure 'drive sata 0 0 0 0 - sr0 1.00 DVDR   KV-829A
refuse 3B EACCES'
  dw upgrade "$work/kv829a-110.bin" --yes
  expect "exit code when the system refuses WRITE BUFFER all the same" "$rc" 3
  expect_has "the outcome" "$out" "Upgrade failed! "
  expect "message" "$err" "drivewright: the system refused command 3Bh on /dev/sr0 (Permission denied): the kernel itself passes it, so a security policy (SELinux, AppArmor) refused it
drivewright: the upgrade stopped before any command that changes the drive: it keeps its firmware"
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

# A read error in the upgrade file, past every byte its checksum covers, refuses the file: one
# that could not be read to its end is not known to be the file it claims to be, and an upgrade
# with it sends nothing that writes to the drive.
steps() {
  kv829a_image
  configure "$two_drives
bad-read $work/kv829a-110.bin 1028000 EIO"
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code" "$rc" 5
  expect "status" "$out" "No valid upgrade file selected"
  expect "why" "$err" "drivewright: reading $work/kv829a-110.bin failed after 1015808 of its 1028096 bytes: Input/output error"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code of the upgrade" "$rc" 5
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  configure "$two_drives
bad-read $work/kv829a-110.bin 1028096 EIO"
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "status with the error past the end" "$out" "Valid upgrade file loaded: kv829a-110.bin"
}

# A read error in the upgrade file, past every byte its checksum covers, refuses the file: one
# that could not be read to its end is not known to be the file it claims to be, and an upgrade
# with it sends nothing that writes to the drive.
steps() {
  kv829a_image
  configure "$two_drives
bad-read $work/kv829a-110.bin 1028000 EIO"
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code" "$rc" 1
  expect "status" "$out" "No valid upgrade file selected"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code of the upgrade" "$rc" 1
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  configure "$two_drives
bad-read $work/kv829a-110.bin 1028096 EIO"
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "status with the error past the end" "$out" "Valid upgrade file loaded: kv829a-110.bin"
}

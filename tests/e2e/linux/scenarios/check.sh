# check: the validation's status texts and exit codes for a valid file, a broken checksum, a
# file for another model and a downgrade; checking sends nothing that writes to the drive.
steps() {
  kv829a_image
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --break checksum "$work/broken.bin"
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --break ident "$work/other.bin"
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code" "$rc" 0
  expect "status" "$out" "Valid upgrade file loaded: kv829a-110.bin"
  dw check "$work/broken.bin" --device /dev/sr0
  expect "exit code with a broken checksum" "$rc" 1
  expect "status" "$out" "Not a valid upgrade file"
  dw check "$work/other.bin" --device /dev/sg0
  expect "exit code with another model's file" "$rc" 1
  dw check "$work/missing.bin" --device /dev/sg0
  expect "status of a missing file" "$out" "No valid upgrade file selected"
  dw check "$work/kv829a-110.bin"
  expect "exit code with two drives and no --device" "$rc" 2
  expect_has "the refusal" "$err" "2 KORVANE drives are attached: name one with --device"
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  # The 821 rows refuse a file below version 1.02 for a drive at 1.02 or later.
  configure 'drive sata 0 0 0 0 sg0 sr0 1.02 DVDR   KV-821A'
  mkimage --row "DVDR   KV-821A" --size 983040 --version 1.01 "$work/kv821a-101.bin"
  dw check "$work/kv821a-101.bin"
  expect "exit code of a downgrade" "$rc" 1
  expect_has "the warning" "$out" "*** WARNING ***"
  expect_has "the warning" "$out" "Downgrading to a firmware version below V1.02 is not supported."
  expect "the last line" "$(tail -n 1 "$work/out.txt")" "Not a valid upgrade file"
}

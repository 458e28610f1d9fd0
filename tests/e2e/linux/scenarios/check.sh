# check: the validation's status texts and exit codes for a valid file, a broken checksum, a
# file for another model and a downgrade, each with why on stderr; checking sends nothing that
# writes to the drive.
steps() {
  kv829a_image
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --break checksum "$work/broken.bin"
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --break ident "$work/other.bin"
  dw check "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code" "$rc" 0
  expect "status" "$out" "Valid upgrade file loaded: kv829a-110.bin"
  dw check "$work/broken.bin" --device /dev/sr0
  expect "exit code with a broken checksum" "$rc" 5
  expect "status" "$out" "Not a valid upgrade file"
  expect "why" "$err" "drivewright: the checksum stored in $work/broken.bin at offset 983038 (0xEFFFE) is CCA1h; its bytes give CCA0h"
  dw check "$work/other.bin" --device /dev/sg0
  expect "exit code with another model's file" "$rc" 5
  expect "why" "$err" "drivewright: upgrade files for the DVDR KV-829A carry \"KORVANE LUTE    000\" at offset 48 (0x30); $work/other.bin has \"kORVANE LUTE    000\" there"
  dw check "$work/missing.bin" --device /dev/sg0
  expect "status of a missing file" "$out" "No valid upgrade file selected"
  expect "exit code of a missing file" "$rc" 5
  expect "why" "$err" "drivewright: cannot open $work/missing.bin: No such file or directory"
  head -c 1000 "$work/kv829a-110.bin" > "$work/short.bin"
  dw check "$work/short.bin" --device /dev/sg0
  expect "exit code of a file of no image size" "$rc" 5
  expect "why" "$err" "drivewright: $work/short.bin is 1000 bytes; upgrade files for the DVDR KV-829A are 983040 or 1028096 bytes"
  dw check "$work/kv829a-110.bin"
  expect "exit code with two drives and no --device" "$rc" 2
  expect_has "the refusal" "$err" "2 KORVANE drives are attached: name one with --device"
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  # The 821 rows refuse a file below version 1.02 for a drive at 1.02 or later.
  configure 'drive sata 0 0 0 0 sg0 sr0 1.02 DVDR   KV-821A'
  mkimage --row "DVDR   KV-821A" --size 983040 --version 1.01 "$work/kv821a-101.bin"
  dw check "$work/kv821a-101.bin"
  expect "exit code of a downgrade" "$rc" 5
  expect "why" "$err" "drivewright: $work/kv821a-101.bin is version \"1.01\" and the drive runs \"1.02\": a DVDR KV-821A at version 1.02 or later does not go back below 1.02"
  expect_has "the warning" "$out" "*** WARNING ***"
  expect_has "the warning" "$out" "Downgrading to a firmware version below V1.02 is not supported."
  expect "the last line" "$(tail -n 1 "$work/out.txt")" "Not a valid upgrade file"
}

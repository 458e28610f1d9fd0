# twice: the same `upgrade --yes` run twice upgrades the drive once; the second run finds it at
# the file's version and exits 6 with only reading commands sent. --allow-reinstall sends it
# again, an older file needs --allow-older, and the 821 rows' floor of 1.02 holds whatever is
# given.
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code of the first run" "$rc" 0
  expect "commits" "$(commit_count)" 1
  expect_has "the version after" "$err" "drivewright: the drive now runs the file's version, 1.10"

  : > "$work/drives.log"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code of the second run" "$rc" 6
  expect "output of the second run" "$out" "Valid upgrade file loaded: kv829a-110.bin
The drive already runs 1.10; nothing was sent."
  expect_has "why" "$err" "the file's version 1.10 is the one the drive runs: --allow-reinstall upgrades it anyway"
  expect "commands other than reading ones" "$(commands '..' | grep -cvE '^0 [01] (12|00|03|F1) ')" 0
  expect "commits" "$(commit_count)" 0

  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes --allow-reinstall
  expect "exit code with --allow-reinstall" "$rc" 0
  expect "commits" "$(commit_count)" 1

  : > "$work/drives.log"
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.04 "$work/kv829a-104.bin"
  dw upgrade "$work/kv829a-104.bin" --device /dev/sg0 --yes --allow-reinstall
  expect "exit code for an older file" "$rc" 6
  expect_has "the refusal" "$out" "The drive already runs 1.10; nothing was sent."
  expect_has "why" "$err" "the file's version 1.04 is older than the drive's 1.10: --allow-older upgrades to it anyway"
  expect "commits" "$(commit_count)" 0
  dw upgrade "$work/kv829a-104.bin" --device /dev/sg0 --yes --allow-older
  expect "exit code with --allow-older" "$rc" 0
  expect "commit" "$(grep '^commit' "$work/drives.log")" "commit 0 0 bytes=1028096 revision=1.04"

  configure 'drive sata 0 0 0 0 sg0 sr0 1.02 DVDR   KV-821A'
  mkimage --row "DVDR   KV-821A" --size 983040 --version 1.01 "$work/kv821a-101.bin"
  dw upgrade "$work/kv821a-101.bin" --yes --allow-older
  expect_has "the 821 rows' floor" "$out" "Downgrading to a firmware version below V1.02 is not supported."
  expect "commits" "$(commit_count)" 0
}

# The upgrade file is replaced by another valid-looking image of the same size after it was
# checked: the upgrade fails, says why, and the drive never sees the committing chunk.
layer_config="$two_drives"
prepare() {
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --seed 1 "$work/kv829a.bin"
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.20 --seed 2 "$work/other.bin"
}
steps='main "Drivewright  V1.25" 60
click 1000
open-file @WORK@/kv829a.bin 60
wait-text 1006 "Valid upgrade file loaded: kv829a.bin" 20
copy-file @WORK@/other.bin @WORK@/kv829a.bin
click 1001
wait-prefix 1006 "Upgrade failed! " 180
text 1006 "Upgrade failed! The upgrade file changed after it was checked."
text 1005 "1.00"
enabled 1000 1
enabled 1001 1
shot failed'
check() {
  expect "committing chunks" "$(commands 3B | grep -c 'cdb=3B 05 ')" 0
  expect "commits" "$(commit_count)" 0
}

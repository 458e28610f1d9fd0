# Loading an upgrade file that fits the drive: its name is shown and Upgrade can be pressed.
layer_config="$two_drives"
prepare() { mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 "$work/kv829a-110.bin"; }
steps='main "Drivewright  V1.25" 60
enabled 1001 0
click 1000
open-file @WORK@/kv829a-110.bin 60
wait-text 1006 "Valid upgrade file loaded: kv829a-110.bin" 20
enabled 1001 1
enabled 1000 1'
check() {
  # Checking the file sends nothing that writes to the drive.
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0
}

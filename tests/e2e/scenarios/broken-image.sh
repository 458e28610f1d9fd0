# A file whose checksum does not hold is refused, and Upgrade stays disabled.
layer_config="$two_drives"
prepare() {
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --break checksum "$work/broken.bin"
}
steps='main "Drivewright  V1.25" 60
click 1000
open-file @WORK@/broken.bin 60
wait-text 1006 "Not a valid upgrade file" 20
enabled 1001 0
enabled 1000 1
shot refused'
check() { expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0; }

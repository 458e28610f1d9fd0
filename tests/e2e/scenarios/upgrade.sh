# A whole upgrade: the drive takes the image in 125 chunks and a committing one, and the new
# version is shown.
layer_config="$two_drives"
prepare() { kv829a_image; }
steps="$load_kv829a"'
click 1001
wait-text 1006 "Upgrade succesfull" 180
text 1005 "1.10"
enabled 1000 1
enabled 1001 1
shot upgraded'
check() {
  expect "chunks in mode 4" "$(commands 3B | grep -c 'cdb=3B 04 ')" 125
  expect "chunks in mode 5" "$(commands 3B | grep -c 'cdb=3B 05 ')" 1
  expect "bytes sent" "$(write_buffer_bytes)" 1028096
  expect "failed commands" "$(commands 3B | grep -vc 'status=01')" 0
  expect "commit" "$(grep '^commit' "$work/wnaspi32.log")" "commit 0 0 bytes=1028096 revision=1.10"
  cmp "$work/wnaspi32-0-0.bin" "$work/kv829a-110.bin"
  echo "   the drive holds the file, byte for byte"
  expect "commands to the other drive after start-up" "$(commands 3B | grep -vc '^0 0 ')" 0
}

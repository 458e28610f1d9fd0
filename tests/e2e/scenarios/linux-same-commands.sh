# The Linux command line and this program send a drive the same upgrade: a KV-829A at 1.00
# takes a 1.10 image here through the dialog, and through drivewright on a simulated Linux PC
# with the same two drives on a parallel ATA channel. From the upgrade's first command on (the
# TEST UNIT READY before its first WRITE BUFFER) the two command records are the same, line for
# line: commands, order, lengths, data and status; both drives then hold the file.
layer_config="$two_drives"
prepare() { kv829a_image; }
steps="$load_kv829a"'
click 1001
wait-text 1006 "Upgrade succesfull" 180
text 1005 "1.10"'
check() {
  same_upgrade_as_linux "$work/wnaspi32.log"
  expect "the upgrade's first commands" "$(head -n 3 "$work/linux-upgrade.txt" | cut -d' ' -f3 | tr '\n' ' ')" "00 01 03 "
  cmp "$work/wnaspi32-0-0.bin" "$work/kv829a-110.bin"
  echo "   both drives hold the file, byte for byte"
}

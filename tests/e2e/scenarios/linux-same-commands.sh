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
# The command lines (and commit lines) of a record from the upgrade's first command on.
upgrade_part() {
  local lines first start
  lines=$(grep -E '^([0-9]+ [0-9]+ [0-9A-F]{2} |commit )' "$1")
  first=$(grep -n -m 1 '^0 0 3B ' <<< "$lines" | cut -d: -f1)
  start=$(head -n "$first" <<< "$lines" | grep -n '^0 0 00 ' | tail -n 1 | cut -d: -f1)
  tail -n +"$start" <<< "$lines"
}
check() {
  local linux="$work/linux"
  mkdir -p "$linux"
  printf '%s\n' 'drive pata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A' \
    'drive pata 0 0 1 0 sg1 sr1 1.04 CD-R   KV-W6025A' > "$linux/linux.cfg"
  # No system bus, as in the Linux scenarios: the run never asks the machine's own logind.
  DRIVEWRIGHT_LINUX_SIM="$linux/linux.cfg" LD_PRELOAD="$native/libdrivewright_linux_sim.so" \
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$linux/no-system-bus" \
    timeout 60 "$native/drivewright" upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes \
    > "$linux/out.txt" 2>&1 < /dev/null || { cat "$linux/out.txt"; echo "e2e: Linux upgrade failed"; exit 1; }
  upgrade_part "$work/wnaspi32.log" > "$work/windows-upgrade.txt"
  upgrade_part "$linux/drives.log" > "$work/linux-upgrade.txt"
  if ! diff "$work/windows-upgrade.txt" "$work/linux-upgrade.txt" > "$work/difference.txt"; then
    head -n 20 "$work/difference.txt"; echo "e2e: the records differ"; exit 1
  fi
  expect "the upgrade's first commands" "$(head -n 3 "$work/linux-upgrade.txt" | cut -d' ' -f3 | tr '\n' ' ')" "00 01 03 "
  expect "chunks in both records" "$(grep -c ' 3B cdb=' "$work/linux-upgrade.txt")" 126
  echo "   the same $(wc -l < "$work/linux-upgrade.txt") lines from the upgrade's first command on"
  cmp "$linux/drive-0-0.bin" "$work/kv829a-110.bin"
  cmp "$work/wnaspi32-0-0.bin" "$work/kv829a-110.bin"
  echo "   both drives hold the file, byte for byte"
}

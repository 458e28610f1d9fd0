# list: one line per KORVANE drive with its node, label, bus kind and firmware version, in
# host, channel and target order; a disk and a drive of another maker are left out; with no
# KORVANE drive it says so and ends with 4.
config='drive usb 6 0 0 0 sg3 sr1 1.04 CD-R   KV-W6025A
drive sata 2 0 0 0 sg2 sr0 1.00 DVDR   KV-829A
drive pata 0 0 0 0 sg0 - 0001 SOME DISK
type 0
drive scsi 4 0 3 0 sg5 sr3 1.00 DVD-ROM OTHER
vendor OTHERCO
drive firewire 7 0 0 0 sg6 - 1.02 DVDR   KV-829A
interface 08'
steps() {
  dw list
  expect "exit code" "$rc" 0
  expect "lines" "$(printf '%s\n' "$out" | wc -l)" 3
  expect "first" "$(sed -n 1p "$work/out.txt")" '/dev/sg2  "ID:0  KV-829A  "  Serial ATA  1.00'
  expect "second" "$(sed -n 2p "$work/out.txt")" '/dev/sg3  "ID:0   KV-W6025U"  USB  1.04'
  # Interface code 8: the 829 behind a bridge is renamed and its host becomes USB, so it is
  # labelled as the USB model.
  expect "third" "$(sed -n 3p "$work/out.txt")" '/dev/sg6  "ID:0  KV-829UF"  USB  1.02'
  expect "commands to the disk" "$(commands '..' | grep -c '^0 0 ')" 0

  configure 'drive scsi 4 0 3 0 sg5 sr3 1.00 DVD-ROM OTHER
vendor OTHERCO'
  dw list
  expect "exit code without a KORVANE drive" "$rc" 4
  expect "output" "$out" "no KORVANE drive found"
}

# A drive on a host above 1023 or a channel above 63 cannot be filed: every command says so on
# stderr rather than leaving it out silently, and the drive gets no command.
config='drive scsi 1024 0 0 0 sg0 sr0 1.00 DVDR   KV-829A
drive scsi 5 64 0 0 sg1 - 1.00 DVDR   KV-829A
drive sata 2 0 0 0 sg2 sr1 1.04 CD-R   KV-W6025A'
steps() {
  dw list
  expect "exit code" "$rc" 0
  expect "drives listed" "$out" '/dev/sg2  "ID:0  KV-W6025A"  Serial ATA  1.04'
  expect "what is told" "$err" "drivewright: /dev/sg1 (SCSI address 5:64:0:0) is left out: this program reaches drives on hosts up to 1023 and channels up to 63
drivewright: /dev/sg0 (SCSI address 1024:0:0:0) is left out: this program reaches drives on hosts up to 1023 and channels up to 63"
  expect "commands to the drives left out" "$(grep -cE '^(1024|5) ' "$work/drives.log" || true)" 0
}

# --device takes any name of the drive's node, told by its device number: a chain of links,
# udev's /dev/disk/by-id and /dev/disk/by-path names and /dev/cdrom. A name of another device,
# or of nothing, is refused with 4 before anything is sent that writes to the drive.
config=$(two_drives_where_first)'
link /dev/cdrom sr1
link /dev/dvd cdrom
link /dev/disk/by-id/ata-KORVANE_DVDR_KV-829A_0001 ../../sr0
link /dev/disk/by-path/pci-0000:00:01.1-ata-1.0 ../../sr0
link /dev/drive-a /dev/disk/by-id/ata-KORVANE_DVDR_KV-829A_0001
link /dev/generic-b sg1
link /dev/sda ../../sys/devices/pci0000:00/0000:00:01.1/ata1'
steps() {
  kv829a_image
  for dev in /dev/disk/by-id/ata-KORVANE_DVDR_KV-829A_0001 \
      /dev/disk/by-path/pci-0000:00:01.1-ata-1.0 /dev/drive-a /dev/sr0 /dev/sg0; do
    dw check "$work/kv829a-110.bin" --device "$dev"
    expect "status through $dev" "$out" "Valid upgrade file loaded: kv829a-110.bin"
  done
  for dev in /dev/dvd /dev/cdrom /dev/generic-b; do
    dw check "$work/kv829a-110.bin" --device "$dev"
    expect "status through $dev, the KV-W6025A's" "$out" "Not a valid upgrade file"
  done
  for dev in /dev/sda /dev/disk/by-id/missing /dev/sg7; do
    dw check "$work/kv829a-110.bin" --device "$dev"
    expect "exit code for $dev" "$rc" 4
    expect_has "the refusal" "$err" "$dev is not a KORVANE drive this program found"
  done
  dw upgrade "$work/kv829a-110.bin" --device /dev/drive-a --yes
  expect "exit code of the upgrade" "$rc" 0
  expect "commit" "$(grep '^commit' "$work/drives.log")" "commit 0 0 bytes=1028096 revision=1.10"
}

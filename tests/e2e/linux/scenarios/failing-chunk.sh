# The drive refuses the 11th chunk: the download stops there, nothing is committed, and the
# failure is told in the drive's terms, as the dialog's status line tells it.
config=$(two_drives_where_first 'fail 3B 11 05 24 00')
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --yes
  expect "exit code" "$rc" 1
  expect "outcome" "$(sed -n 3p "$work/out.txt")" "Upgrade failed! Invalid parameter (code 052400)"
  expect "version read back" "$(tail -n 1 "$work/out.txt")" "Firmware version: 1.00"
  expect "chunks sent" "$(commands 3B | wc -l)" 11
  expect "the last one failed" "$(commands 3B | tail -n 1 | sed 's/.*status=//')" 04
  expect "commits" "$(commit_count)" 0
}

# Another drive takes the place of the one checked (and its sg and sr numbers, which the kernel
# gives out lowest-first) between the scan and the hold: the upgrade asks the held node whether it
# is still the drive checked, stops with nothing sent and ends with 3.
config=$(two_drives_where_first 'replaced 1.04 CD-R   KV-W6025A')
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code" "$rc" 3
  expect "message" "$err" "The drive changed since the file was checked; nothing was sent."
  local before
  before=$(grep -m 1 '^open /dev/sg0 exclusive' "$work/opens.log" | sed 's/.* after \([0-9]*\) commands/\1/')
  expect "commands after the hold" "$(commands '..' | tail -n +$((before + 1)) | cut -d' ' -f3)" 12
  expect "commits" "$(commit_count)" 0
}

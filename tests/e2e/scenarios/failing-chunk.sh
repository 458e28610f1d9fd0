# The drive refuses the 11th chunk: the download stops there, nothing is committed, and the
# failure is reported in the drive's terms.
layer_config=$(two_drives_where_first 'fail 3B 11 05 24 00')
prepare() { kv829a_image; }
steps="$load_kv829a"'
click 1001
wait-prefix 1006 "Upgrade failed! " 180
text 1006 "Upgrade failed! Invalid parameter (code 052400)"
text 1005 "1.00"
enabled 1000 1
enabled 1001 1
shot failed'
check() {
  expect "chunks sent" "$(commands 3B | wc -l)" 11
  expect "the last one failed" "$(commands 3B | tail -n 1 | sed 's/.*status=//')" 04
  expect "commits" "$(commit_count)" 0
}

# The drive refuses the 11th chunk: the download stops there, nothing is committed, and the
# failure is reported in the drive's terms.
layer_config=$(two_drives_where_first 'fail 3B 11 05 24 00')
prepare() { kv829a_image; }
steps=$(kv829a_upgrade_fails_with "Upgrade failed! Invalid parameter (code 052400)")
check() {
  expect "chunks sent" "$(commands 3B | wc -l)" 11
  expect "the last one failed" "$(commands 3B | tail -n 1 | sed 's/.*status=//')" 04
  expect "commits" "$(commit_count)" 0
}

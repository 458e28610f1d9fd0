# The ASPI layer signals the 11th chunk's event but leaves the request pending: the drive never
# saw that chunk, so the upgrade fails as one whose command could not be sent, nothing more is
# sent, nothing is committed, and the buttons work again.
layer_config=$(two_drives_where_first 'aspi-status 3B 11 00')
prepare() { kv829a_image; }
steps="$load_kv829a"'
click 1001
wait-prefix 1006 "Upgrade failed! " 180
text 1006 "Upgrade failed! The command could not be sent to the drive."
text 1005 "1.00"
enabled 1000 1
enabled 1001 1
shot failed'
check() {
  expect "chunks the drive received" "$(commands 3B | wc -l)" 10
  expect "commits" "$(commit_count)" 0
}

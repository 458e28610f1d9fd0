# The ASPI layer signals the 11th chunk's event but leaves the request pending: the drive never
# saw that chunk, so the upgrade fails as one whose command could not be sent, nothing more is
# sent, nothing is committed, and the buttons work again.
layer_config=$(two_drives_where_first 'aspi-status 3B 11 00')
prepare() { kv829a_image; }
steps=$(kv829a_upgrade_fails_with "Upgrade failed! The command could not be sent to the drive.")
check() {
  expect "chunks the drive received" "$(commands 3B | wc -l)" 10
  expect "commits" "$(commit_count)" 0
}

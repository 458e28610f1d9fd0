# Loading an upgrade file that fits the drive: its name is shown and Upgrade can be pressed.
layer_config="$two_drives"
prepare() { kv829a_image; }
steps='main "Drivewright  V1.25" 60
enabled 1001 0'"
$load_kv829a"'
enabled 1001 1
enabled 1000 1'
check() {
  # Checking the file sends nothing that writes to the drive.
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0
}

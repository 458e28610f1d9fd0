# Loading an upgrade file that fits the drive: its name is shown and Upgrade can be pressed.
# The steps name the controls as the resource header does (the numbers work as well).
layer_config="$two_drives"
prepare() { kv829a_image; }
steps='main "Drivewright  V1.25" 60
enabled 1001 0'"
$load_kv829a"'
enabled IDC_UPGRADE 1
enabled IDC_LOAD_FILE 1
text IDC_FIRMWARE_VERSION "1.00"
enabled IDCANCEL 1'
check() {
  # Checking the file sends nothing that writes to the drive.
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0
}

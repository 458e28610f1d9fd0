# The console program on Windows 10 without administrator rights: the SCSI port refuses to open,
# as the dialog shows ("Access denied: run Drivewright as administrator"). list and upgrade say
# why and end with exit code 3, in JSON as well; nothing is sent.
windows=win10
variant=none
prepare() { deny_scsi_port 0; }
steps_of_the_console() {
  kv829a_image
  cli list
  expect "list: exit code" "$rc" 3
  expect_has "list: why" "$err" "Access denied: run Drivewright as administrator"
  cli upgrade kv829a-110.bin --yes --json
  expect "upgrade: exit code" "$rc" 3
  expect "upgrade: the JSON error" \
    "$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["error"]["exit_code"])' "$out")" 3
}
console_steps=steps_of_the_console

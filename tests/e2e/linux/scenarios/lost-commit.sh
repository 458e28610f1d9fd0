# The drive takes the committing chunk, but the host adapter reports a bus reset instead of its
# answer: the outcome says that the drive may hold the new firmware, not that the command never
# reached it, and standard error says what the error number is.
config=$(two_drives_where_first 'lost 3B 126 DID_RESET')
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --yes
  expect "exit code" "$rc" 1
  expect_has "the outcome" "$out" "Upgrade failed! The drive did not complete the last command (error 8); it may hold the new firmware."
  expect "message" "$(tail -n 1 "$work/err.txt")" "drivewright: command 3Bh on /dev/sg0 did not complete (error 8: host status 08h)"
  expect "version read back" "$(tail -n 1 "$work/out.txt")" "Firmware version: 1.10"
  expect "chunks sent" "$(commands 3B | wc -l)" 126
  expect "commits" "$(commit_count)" 1
}

# From before its question to its end the upgrade holds the drive: its sg node and the block node
# beside it opened exclusively (a claim that no mount shares), every command through them. A disc
# mounted in another mount namespace, which /proc/self/mounts does not list, is refused before the
# question, with nothing sent.
steps() {
  kv829a_image
  dw_in_terminal 'expect [y/N]
run grep -q "^open /dev/sr0 exclusive after" @WORK@/opens.log
send y
expect Firmware version:' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code" "$rc" 0
  expect "opens and closes from the hold on" \
    "$(sed -n '/exclusive/,$p' "$work/opens.log" | sed 's/ after [0-9]* commands//')" \
    "open /dev/sg0 exclusive
open /dev/sr0 exclusive
close /dev/sg0
close /dev/sr0"
  expect "the last close" "$(tail -n 1 "$work/opens.log")" \
    "close /dev/sr0 after $(commands '..' | wc -l) commands"

  configure "$(two_drives_where_first 'mounted-elsewhere')"
  dw_in_terminal 'expect try again' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code with a disc mounted in another namespace" "$rc" 3
  expect_has "the refusal" "$out" "drivewright: /dev/sr0 is held by another program, or its disc is mounted in another mount namespace: close that program (or unmount the disc there) and try again"
  case "$out" in *"[y/N]"*) echo "e2e-linux: it asked before it refused"; exit 1 ;; esac
  expect "download commands" "$(commands '(3B|E1|E2|1B)' | wc -l)" 0
}

# Without a controlling terminal the upgrade does not ask and refuses unless --yes: with no
# terminal at all, and in a terminal that is not its controlling one (a session of its own, as
# setsid makes), even though its standard streams are that terminal.
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code without a terminal" "$rc" 2
  expect "stderr" "$err" "drivewright: not upgrading without a yes: run it in a terminal, or add --yes"

  terminal_detached=1 dw_in_terminal 'expect add --yes' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code in a terminal that is not the controlling one" "$rc" 2
  case "$out" in *"[y/N]"*) echo "e2e-linux: it asked"; exit 1 ;; esac
  expect "download commands" "$(commands '(3B|E1|E2|1B)' | wc -l)" 0

  terminal_detached=1 dw_in_terminal 'expect Firmware version:' upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code with --yes" "$rc" 0
  expect "commits" "$(commit_count)" 1
}

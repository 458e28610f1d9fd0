# list and check hold nothing back: Ctrl+C (SIGINT) ends them at once, even while a command is
# with a drive that takes 10 s over each.
config=$(two_drives_where_first 'latency 10000')
first_command_sent() { [ "$(commands '..' | wc -l)" -gt 0 ]; }
steps() {
  kv829a_image
  local started
  for command in list "check $work/kv829a-110.bin --device /dev/sg0"; do
    configure "$config"
    # shellcheck disable=SC2086  # the command's words
    dw_start $command
    wait_until "the first command is with the drive" first_command_sent
    started=$SECONDS
    kill -INT "$pid"
    dw_wait
    expect "exit code of ${command%% *}" "$rc" 130
    expect "${command%% *} ended within 5 s of Ctrl+C" "$((SECONDS - started < 5))" 1
    expect "commands sent" "$(commands '..' | wc -l)" 1
  done
}

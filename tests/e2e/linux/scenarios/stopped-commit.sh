# The program is stopped (SIGSTOP, as a debugger or a suspend would) and continued while the drive
# works on the committing chunk: the drive receives that chunk once, and the upgrade ends as it
# would have. (The kernel restarts an SG_IO ioctl on an sg node after a stop, and the sg driver
# then sends its command a second time.)
config=$(two_drives_where_first 'latency 1500 3B 126')
stopped() { [ "$(process_state)" = T ]; }
steps() {
  kv829a_image
  dw_background upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  wait_for_log 'cdb=3B 05 '
  kill -STOP "$pid"
  wait_until "the program stopped" stopped
  kill -CONT "$pid"
  echo "   continued while the committing chunk was with the drive"
  dw_wait
  expect "committing chunks the drive received" "$(commands 3B | grep -c 'cdb=3B 05 ')" 1
  expect "exit code" "$rc" 0
  expect "outcome" "$(sed -n 3p "$work/out.txt")" "Upgrade succesfull"
  expect "commits" "$(commit_count)" 1
}

# A reader of the output that goes away (`| head -n 1`, a closed `| tee`) does not end an
# upgrade: its writes fail, and the download, the commit and the exit code stay as they are.
steps() {
  kv829a_image
  local statuses
  set +e
  LD_PRELOAD="$native/libdrivewright_linux_sim.so" timeout 60 "$native/drivewright" upgrade \
    "$work/kv829a-110.bin" --device /dev/sg0 --yes 2>&1 < /dev/null | head -n 1 > "$work/out.txt"
  statuses=("${PIPESTATUS[@]}")
  set -e
  expect "the line read" "$(cat "$work/out.txt")" "Valid upgrade file loaded: kv829a-110.bin"
  expect "exit code" "${statuses[0]}" 0
  expect "chunks" "$(commands 3B | wc -l)" 126
  expect "commits" "$(commit_count)" 1
  expect "the version read back" "$(commands 12 | tail -n 1 | grep -c 'status=01')" 1
}

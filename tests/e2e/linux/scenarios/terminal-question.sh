# The question is asked on the controlling terminal, 80 columns wide: with stderr sent to a file
# it still shows there and the answer is read there, and the file gets the progress as lines.
# With stderr on the terminal the progress line is redrawn within the 80 columns, clearing what
# the line before left, with the share done, and says when the upgrade can no longer be
# interrupted.
steps() {
  kv829a_image
  terminal_stderr="$work/stderr.txt" dw_in_terminal 'expect [y/N]
send y
expect Firmware version:' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code" "$rc" 0
  expect_has "the terminal" "$out" \
    "Upgrade /dev/sg0 (ID:0  KV-829A, firmware 1.00) with $work/kv829a-110.bin (version 1.10, newer)? [y/N] y"
  expect_has "the terminal" "$out" "Upgrade succesfull"
  local log
  log=$(cat "$work/stderr.txt")
  case "$log" in *"[y/N]"*) echo "e2e-linux: the question went to stderr"; exit 1 ;; esac
  expect_has "stderr" "$log" "Downloading: 126/126 chunks, 1028096/1028096 bytes"
  expect_has "stderr" "$log" "Committing the firmware: the upgrade can no longer be interrupted"
  expect "redraws in the file" "$(tr -cd '\r' < "$work/stderr.txt" | wc -c)" 0
  expect "commits" "$(commit_count)" 1

  configure "$config"
  dw_in_terminal 'expect [y/N]
send yes
expect Firmware version:' upgrade "$work/kv829a-110.bin" --device /dev/sg0
  expect "exit code" "$rc" 0
  expect_has "the terminal" "$out" "Committing the firmware: the upgrade can no longer be interrupted"
  expect_has "the terminal" "$out" "Settling: giving the drive 2.0 s to take the firmware"
  frames_fit "$work/screen.txt" "100% 126/126 chunks"

  # The KV-W6025A that runs 5a02 after the first pass asks for a second.
  configure "$config"
  mkimage --row "CD-R   KV-W6025A" --size 524288 --version 5a02 "$work/w6025a-5a02.bin"
  dw_in_terminal 'expect Firmware version:' upgrade "$work/w6025a-5a02.bin" -yd /dev/sg1
  expect "exit code of the download in two passes" "$rc" 0
  expect "chunks" "$(commands 3B | wc -l)" 128
  frames_fit "$work/screen.txt" "pass 1 of 2 [" "pass 2 of 2 [" "] 100% 64/64 chunks"
}

# frames_fit SCREEN PART...: each redrawn frame, from a carriage return to the clearing of the
# rest of the line, fits in 80 columns and shows a percentage; the frames show every PART.
frames_fit() {
  python3 - "$@" <<'PYTHON'
import re, sys
screen = open(sys.argv[1], "rb").read().decode()
frames = re.findall(r"\r([^\r\n]*?)\x1b\[K", screen)
assert len(frames) >= 64, "%d frames" % len(frames)
assert all(len(f) < 80 for f in frames), max(frames, key=len)
assert all(re.search(r" \d+% ", f) for f in frames), frames[0]
assert screen.count("\r") == len(frames), "a redraw that does not clear the line"
for part in sys.argv[2:]:
    assert any(part in f for f in frames), "no frame shows " + part
print("   %d frames, the widest %d columns: %s" % (len(frames), max(map(len, frames)), frames[-1]))
PYTHON
}

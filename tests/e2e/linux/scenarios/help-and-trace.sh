# --help lists the commands, options and exit codes; --version names the program; --trace
# writes each command with how it ended, the sense data as far as the kernel wrote it, the
# residual and the count of sense bytes; a command line that does not read ends with 2.
steps() {
  dw --help
  expect "exit code" "$rc" 0
  for word in "list" "check FILE" "upgrade FILE" "--device DEV" "--yes" "--trace" "130" \
    "-q, --quiet" "-V, --version" "/dev/tty"; do
    expect_has "the help" "$out" "$word"
  done
  dw --version
  expect "version" "$out" "drivewright 1.26.0"
  dw frobnicate
  expect "exit code of an unknown command" "$rc" 2
  dw check
  expect "exit code of check without a file" "$rc" 2
  dw list --trace
  expect "exit code" "$rc" 0
  expect "the first traced command" "$(head -n 1 "$work/err.txt")" \
    "trace: /dev/sg0 cdb=12 00 00 00 38 00 in=56 -> result=1 errno=0 status=00 host=0000 driver=0000 resid=20 sb_len_wr=0"
  expect_has "a traced failure" "$err" "trace: /dev/sg0 cdb=00 00 00 00 00 00 none=0 -> result=2 errno=0 status=02 host=0000 driver=0008 sense=70 00 02 00 00 00 00 0A 00 00 00 00 3A 00 00 00 00 00 resid=0 sb_len_wr=18"
  expect "traced commands" "$(grep -c '^trace: /dev/sg' "$work/err.txt")" "$(commands '..' | wc -l)"
}

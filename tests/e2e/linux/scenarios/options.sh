# Options as getopt users write them: values attached (-dDEV, --device=DEV), short options
# bundled (-yqd DEV), "--" before the file, -V; --quiet leaves the outcome only. An unknown
# option in a bundle is named alone, with exit code 2.
steps() {
  kv829a_image
  dw check "$work/kv829a-110.bin" -d/dev/sg0
  expect "exit code with -dDEV" "$rc" 0
  expect "output" "$out" "Valid upgrade file loaded: kv829a-110.bin"
  dw --device=/dev/sg1 check "$work/kv829a-110.bin"
  expect "exit code with --device=DEV, the other drive" "$rc" 5
  expect "output" "$out" "Not a valid upgrade file"

  dw -V
  expect "exit code of -V" "$rc" 0
  local version="$out"
  dw --version
  expect "-V" "$version" "$out"

  dw upgrade -yqd /dev/sg0 -- "$work/kv829a-110.bin"
  expect "exit code of a bundled, quiet upgrade" "$rc" 0
  expect "output" "$out" "Upgrade succesfull
Firmware version: 1.10"
  expect "stderr" "$err" ""
  expect "commits" "$(commit_count)" 1

  dw check "$work/kv829a-110.bin" -yx
  expect "exit code of an unknown option" "$rc" 2
  expect "stderr" "$err" "drivewright: unknown option -x (drivewright --help lists the commands)"
}

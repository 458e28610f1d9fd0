# The console program on Windows 98 with the ASPI layer: list, check, a whole upgrade, --json and
# its exit codes. The upgrade's command record, from its first command on, is the one the Linux
# command line sends the same drive (which linux-same-commands shows to be the dialog's).
layer_config="$two_drives"
json() {  # json EXPRESSION: its value over the JSON document in $out (as d)
  python3 -c "import json,sys; d=json.loads(sys.argv[1]); print(($1))" "$out"
}
steps_of_the_console() {
  kv829a_image
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --break checksum "$work/broken.bin"

  cli --help
  expect "--help: exit code" "$rc" 0
  expect_has "--help: the program" "$out" "Usage: drivewright-cli COMMAND [OPTIONS]"
  expect_has "--help: the drive's name" "$out" "the drive (E: or host:target as list shows it)"
  cli list --bogus
  expect "a command line that does not read: exit code" "$rc" 2

  cli list
  expect "list: exit code" "$rc" 0
  expect_has "list: the first drive" "$out" '0:0  "'
  expect_has "list: its firmware" "$out" '1.00'

  cli list --json
  expect "list --json: exit code" "$rc" 0
  expect "list --json: the drives" "$(json 'len(d["drives"])')" 2
  expect "list --json: the first" "$(json '[d["drives"][0][k] for k in ("device", "product", "firmware")]')" \
    "['0:0', 'DVDR   KV-829A', '1.00']"

  cli check broken.bin -d 0:0
  expect "broken file: exit code" "$rc" 5
  expect "broken file: the dialog's text" "$out" "Not a valid upgrade file"
  expect_has "broken file: why" "$err" "checksum"

  cli upgrade kv829a-110.bin -d 0:0
  expect "upgrade without --yes and no console: exit code" "$rc" 2
  expect "upgrade without --yes: nothing sent" "$(commands 3B | wc -l)" 0

  cli upgrade kv829a-110.bin -d 0:0 --yes --json --log upgrades.log
  expect "upgrade: exit code" "$rc" 0
  expect "upgrade: the outcome" "$(json '[d["outcome"], d["upgrade"]["committed"], d["upgrade"]["chunks_sent"]]')" \
    "['succeeded', True, 126]"
  expect "upgrade: the versions" "$(json '[d["upgrade"]["version_before"], d["upgrade"]["version_after"]]')" \
    "['1.00', '1.10']"
  expect "upgrade: the file's SHA-256" "$(json 'd["file"]["sha256"]')" \
    "$(sha256sum "$work/kv829a-110.bin" | cut -d' ' -f1)"
  cmp "$work/wnaspi32-0-0.bin" "$work/kv829a-110.bin"
  echo "   the drive holds the file, byte for byte"
  cp "$work/wnaspi32.log" "$work/upgrade.log"  # the record up to the upgrade's end
  expect "--log: the record" "$(python3 -c 'import json,sys; r=json.loads(open(sys.argv[1]).read()); print(r["drive"]["name"], r["outcome"], r["version_after"], r["file"]["sha256"])' "$work/upgrades.log")" \
    "0:0 succeeded 1.10 $(sha256sum "$work/kv829a-110.bin" | cut -d' ' -f1)"

  # Each start of the simulated layer reads its drives anew: the drive now runs 1.10.
  two_drives_where_first | sed 's/^drive 0 0 E 1.00 /drive 0 0 E 1.10 /' > "$work/wnaspi32.cfg"
  cli upgrade kv829a-110.bin -d 0:0 --yes
  expect "the same upgrade again: exit code" "$rc" 6
  expect_has "the same upgrade again: what it says" "$out" "The drive already runs 1.10; nothing was sent."
  expect "the same upgrade again: chunks" "$(commands 3B | wc -l)" 126
  printf '%s\n' "$layer_config" > "$work/wnaspi32.cfg"
}
console_steps=steps_of_the_console
check() { same_upgrade_as_linux "$work/upgrade.log"; }

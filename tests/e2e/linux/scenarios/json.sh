# --json: every output of list, check and upgrade, failures included, is one JSON document on
# stdout (everything else on stderr), and its fields say what the run did.
# json EXPRESSION: the expression's value over the document in stdout (as `d`), after checking
# that stdout parses as JSON.
json() {
  python3 -c 'import json,sys; json.load(sys.stdin)' < "$work/out.txt" ||
    { echo "e2e-linux: stdout is not JSON:"; cat "$work/out.txt"; exit 1; }
  python3 -c "import json,sys; d=json.load(sys.stdin); print(($1))" < "$work/out.txt"
}
config=$(two_drives_where_first 'fail 3B 11 05 24 00')
steps() {
  kv829a_image
  mkimage --row "CD-R   KV-W6025A" --size 524288 --version 1.10 "$work/w6025a-110.bin"
  mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 --break checksum "$work/broken.bin"

  dw list --json
  expect "list: exit code" "$rc" 0
  expect "list: the drives" "$(json 'len(d["drives"])')" 2
  expect "list: the nodes" "$(json '[d["drives"][0][k] for k in ("sg", "sr")]')" \
    "['/dev/sg0', '/dev/sr0']"
  expect "list: udev's name" "$(json 'd["drives"][1]["stable_name"]')" \
    "/dev/disk/by-id/ata-KORVANE_CD-R_KV-W6025A_KV100001"
  expect "list: the drive" "$(json '[d["drives"][1][k] for k in ("product", "firmware", "bus")]')" \
    "['CD-R   KV-W6025A', '1.04', 'ATAPI']"
  expect "list: the address" "$(json '[d["drives"][1][k] for k in ("host", "channel", "target", "lun")]')" \
    "[0, 0, 1, 0]"
  expect "list: the model row" "$(json 'd["drives"][0]["model_row"], d["drives"][0]["takes_upgrade_files"]')" \
    "('DVDR   KV-829A', True)"
  expect_has "list: the text on stderr" "$err" '/dev/sg0  "ID:0  KV-829A  "  ATAPI  1.00'

  dw check "$work/kv829a-110.bin" -d /dev/sg0 --json
  expect "check: exit code" "$rc" 0
  expect "check: the outcome" "$(json 'd["outcome"], d["text"], "error" in d')" \
    "('valid', 'Valid upgrade file loaded: kv829a-110.bin', False)"
  expect "check: the digest" "$(json 'd["file"]["sha256"]')" \
    "$(sha256sum "$work/kv829a-110.bin" | cut -d' ' -f1)"
  expect "check: the file" "$(json '[d["file"][k] for k in ("size", "version", "procedure")]')" \
    "[1028096, '1.10', '1004K']"
  expect "check: the drive" "$(json 'd["drive"]["sg"]')" /dev/sg0

  dw check "$work/broken.bin" -d /dev/sr0 --json
  expect "broken: exit code" "$rc" 5
  expect "broken: the outcome" "$(json 'd["outcome"], d["error"]')" \
    "('invalid', {'exit_code': 5, 'message': 'Not a valid upgrade file'})"
  expect "broken: the refusal" "$(json 'd["refusal"]["kind"], d["refusal"]["stored"] != d["refusal"]["computed"]')" \
    "('checksum', True)"

  dw upgrade "$work/w6025a-110.bin" -d /dev/sg1 --json
  expect "upgrade without --yes: exit code" "$rc" 2
  expect "upgrade without --yes: the error" "$(json 'd["error"]["exit_code"]')" 2
  expect "upgrade without --yes: nothing sent" "$(commands '3B' | wc -l)" 0

  dw upgrade "$work/w6025a-110.bin" -d /dev/sg1 --json --yes
  expect "upgrade: exit code" "$rc" 0
  expect "upgrade: the outcome" "$(json 'd["outcome"], "error" in d')" "('succeeded', False)"
  expect "upgrade: the download" \
    "$(json '[d["upgrade"][k] for k in ("committed", "chunks_sent", "chunks_total", "stopped")]')" \
    "[True, 64, 64, None]"
  expect "upgrade: the versions" \
    "$(json '[d["upgrade"][k] for k in ("version_before", "version_after", "version_matches")]')" \
    "['1.04', '1.10', True]"
  expect "upgrade: the time" "$(json 'd["upgrade"]["seconds"] > 0')" True
  expect_has "upgrade: the outcome on stderr" "$err" "Upgrade succesfull"

  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --json --yes
  expect "failing chunk: exit code" "$rc" 1
  expect "failing chunk: the outcome" "$(json 'd["outcome"], d["upgrade"]["committed"]')" "('failed', False)"
  expect "failing chunk: the chunks" "$(json 'd["upgrade"]["chunks_sent"], d["upgrade"]["chunks_total"]')" \
    "(10, 126)"
  expect "failing chunk: why" "$(json 'd["upgrade"]["stopped"]')" \
    "{'reason': 'drive_refused', 'chunk': 10, 'committing': False, 'scsi_status': 2, 'sense_key': 5, 'asc': 36, 'ascq': 0}"
  expect "failing chunk: the error" "$(json 'd["error"]["message"]')" \
    "Upgrade failed! Invalid parameter (code 052400)"

  configure ''
  dw list --json
  expect "no drive: exit code" "$rc" 4
  expect "no drive: the error" "$(json 'd["drives"], d["error"]["message"]')" \
    "([], 'no KORVANE drive found')"
  dw check "$work/kv829a-110.bin" --json --device
  expect "no value: exit code" "$rc" 2
  expect "no value: the error" "$(json 'd["error"]["exit_code"]')" 2
}

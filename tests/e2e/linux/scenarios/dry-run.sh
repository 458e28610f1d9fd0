# dry-run: `upgrade --dry-run` runs the upgrade's checks (the file, the drive, the hold, the
# power, the versions), says what it would do or why not with the upgrade's exit code, and sends
# only commands that read: INQUIRY, TEST UNIT READY, REQUEST SENSE and the probe's F1h.
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --dry-run
  expect "exit code" "$rc" 0
  expect "output" "$out" "Valid upgrade file loaded: kv829a-110.bin
Would upgrade /dev/sg0 (ID:0  KV-829A) from firmware 1.00 to 1.10 (newer) with $work/kv829a-110.bin; nothing was sent."
  expect "commands other than reading ones" "$(commands '..' | grep -cvE '^0 [01] (12|00|03|F1) ')" 0
  grep -q "^open /dev/sg0 exclusive" "$work/opens.log"
  echo "   the drive was held as the upgrade holds it"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --dry-run --json --yes
  expect "JSON: exit code and outcome" "$rc $(python3 -c 'import json,sys; print(json.load(sys.stdin)["outcome"])' < "$work/out.txt")" \
    "0 would_upgrade"

  configure "$(two_drives_where_first 'mounted /media/cdrom')"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --dry-run
  expect "exit code with the disc mounted" "$rc" 3
  expect_has "why" "$err" "the disc in /dev/sr0 is mounted on /media/cdrom"
  case "$out" in *"Would upgrade"*) echo "e2e-linux: a mounted drive would be upgraded"; exit 1 ;; esac

  configure "$(two_drives_where_first 'power battery discharging')"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --dry-run
  expect "exit code on battery" "$rc" 3

  configure 'drive pata 0 0 0 0 sg0 sr0 1.10 DVDR   KV-829A'
  dw upgrade "$work/kv829a-110.bin" --dry-run
  expect "exit code at the file's version" "$rc" 6
  expect_has "the outcome" "$out" "The drive already runs 1.10; nothing was sent."
  dw upgrade "$work/kv829a-110.bin" --dry-run --allow-reinstall
  expect "exit code with --allow-reinstall" "$rc" 0
  expect_has "the outcome" "$out" "Would upgrade /dev/sg0 (ID:0  KV-829A) from firmware 1.10 to 1.10 (the same)"
  expect "commands other than reading ones" "$(commands '..' | grep -cvE '^0 [01] (12|00|03|F1) ')" 0
  expect "commits" "$(commit_count)" 0
}

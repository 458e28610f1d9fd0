# record: an upgrade that sent the drive commands that change it leaves one line in the system
# log (syslog.log here, where the preloaded PC puts what syslog() is given), and with --log one
# JSON line appended to the file; a failed one says so at the error level; a dry run and a
# refused log file leave nothing, and a log file that cannot be written stops the upgrade before
# anything is sent.
config=$(two_drives_where_first 'fail 3B 11 05 24 00')
steps() {
  kv829a_image
  local log="$work/flashed.log" sum
  sum=$(sha256sum "$work/kv829a-110.bin" | cut -d' ' -f1)

  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --yes --log "$work/missing/flashed.log"
  expect "exit code with a log file that cannot be written" "$rc" 3
  expect_has "the refusal" "$err" "drivewright: cannot append the upgrade's record to $work/missing/flashed.log (No such file or directory); nothing was sent"
  expect "download commands" "$(commands '(3B|E1|E2)' | wc -l)" 0

  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --dry-run --log="$log"
  expect "exit code of the dry run" "$rc" 0
  expect "the log file after the dry run" "$(cat "$log")" ""
  expect "the system log after the dry run" "$([ -e "$work/syslog.log" ] && echo written || echo none)" none

  umask 022
  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --yes --log="$log"
  expect "exit code of the failed upgrade" "$rc" 1
  expect "system log lines" "$(wc -l < "$work/syslog.log")" 1
  expect_has "the system log" "$(cat "$work/syslog.log")" "drivewright user.err: upgrade failed: drive=/dev/disk/by-id/ata-"
  expect_has "the system log" "$(cat "$work/syslog.log")" " product=\"DVDR   KV-829A\" version_before=1.00 file=$work/kv829a-110.bin sha256=$sum outcome=failed message=\"Upgrade failed! Invalid parameter (code 052400)\" version_after=1.00"
  expect "the log file's mode" "$(stat -c %a "$log")" 644

  configure "$two_drives"
  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --yes --log "$log"
  expect "exit code of the upgrade" "$rc" 0
  expect "system log lines" "$(wc -l < "$work/syslog.log")" 2
  expect_has "the system log" "$(tail -n 1 "$work/syslog.log")" "drivewright user.notice: upgrade succeeded: drive=/dev/disk/by-id/ata-"
  expect "log file lines" "$(wc -l < "$log")" 2
  expect "the log file's records" "$(python3 - "$log" "$work/kv829a-110.bin" "$sum" <<'PY'
import json, sys
log, path, digest = sys.argv[1:]
records = [json.loads(line) for line in open(log)]
for r in records:
    assert r["program"] == "drivewright" and r["time"].endswith("Z"), r
    assert r["drive"]["name"].startswith("/dev/disk/by-id/ata-"), r
    assert r["drive"]["product"] == "DVDR   KV-829A" and r["drive"]["version_before"] == "1.00"
    assert r["file"] == {"path": path, "sha256": digest}, r
print(" ".join("%s:%s:%s:%s" % (r["outcome"], r["drive"]["node"], r["version_after"], r["message"])
               for r in records))
PY
)" "failed:/dev/sg0:1.00:Upgrade failed! Invalid parameter (code 052400) succeeded:/dev/sg0:1.10:Upgrade succesfull"
}

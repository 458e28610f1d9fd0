#!/bin/sh
# The guest's first process (the initramfs's /init, run by busybox sh): loads the kernel's
# modules, finds the drives and runs the checks of tests/kernel/run.sh. Each check prints
# "dw-check: PASS name" or "dw-check: FAIL name: why" on the serial console; "dw-check: done"
# ends the run, then the guest powers off.
PATH=/bin
export PATH
/bin/busybox mkdir -p /proc /sys /dev /tmp /mnt /etc /root
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
exec >/dev/console 2>&1 </dev/null

if grep -q dwprobe /proc/cmdline; then
  echo "dw-probe: booted"
  poweroff -f
fi

dw=/opt/dw/drivewright
image=/opt/dw/kv62ts-110.bin
broken=/opt/dw/broken.bin

pass() { echo "dw-check: PASS $1"; }
fail() { echo "dw-check: FAIL $1: $2"; }

# Runs the program, bounded in time; its exit code in $rc, its output in /tmp/out and /tmp/err.
run_dw() {
  timeout 300 "$dw" "$@" >/tmp/out 2>/tmp/err
  rc=$?
}
said() { tr '\n' ' ' </tmp/out; tr '\n' ' ' </tmp/err; }

# A line in the kernel's log, and the number of WRITE BUFFER lines the patched scsi_debug logged
# in a given mode since it.
mark() { echo "dw-check: $1" >/dev/kmsg; }
logged_write_buffers() {
  dmesg | awk -v m="dw-check: $1" -v mode="WRITE BUFFER mode $2 " \
    'index($0, m) { n = 0; on = 1 } on && index($0, mode) { n++ } END { print n + 0 }'
}
logged_chunks() {
  dmesg | awk -v m="dw-check: $1" \
    'index($0, m) { on = 1; next } on && /WRITE BUFFER mode/ { sub(/.*WRITE BUFFER /, ""); print }'
}

while read -r m; do
  insmod "/modules/$m" 2>/dev/null || echo "dw-guest: $m not loaded"
done </modules/order

# The SCSI device (its folder in sysfs) with this vendor and revision.
device_of() {
  for entry in /sys/bus/scsi/devices/*; do
    [ -e "$entry/vendor" ] || continue
    # read drops the blanks that pad the INQUIRY fields
    read -r vendor <"$entry/vendor"
    read -r rev <"$entry/rev"
    if [ "$vendor" = "$1" ] && [ "$rev" = "$2" ]; then
      echo "$entry"
      return 0
    fi
  done
  return 1
}
# Its sg node and its sr node, once the kernel has them.
sg_of() { ls "$(device_of "$1" "$2")/scsi_generic" 2>/dev/null; }
sr_of() { ls "$(device_of "$1" "$2")/block" 2>/dev/null; }
wait_for() { # vendor revision sg|sr
  i=0
  while [ -z "$("${3}_of" "$1" "$2")" ]; do
    i=$((i + 1))
    [ "$i" -lt 300 ] || return 1
    sleep 0.1
  done
}

scsi_debug_loaded=
load_scsi_debug() {
  if [ -n "$scsi_debug_loaded" ]; then
    rmmod scsi_debug || echo "dw-guest: scsi_debug not unloaded"
  fi
  # insmod joins its arguments with blanks; the kernel reads a quoted value whole.
  insmod /modules/scsi_debug.ko ptype=5 inq_vendor=KORVANE 'inq_product="CD-ROM KV-62TS"' \
    inq_rev=1.00 dev_size_mb=4 wb_log=1 "$@"
  scsi_debug_loaded=1
  wait_for KORVANE 1.00 sr || echo "dw-guest: no scsi_debug drive"
  [ -d /sys/module/sg ] && { wait_for KORVANE 1.00 sg || echo "dw-guest: no sg node for it"; }
  SD_SG=$(sg_of KORVANE 1.00)
  SD_SR=$(sr_of KORVANE 1.00)
}

# The sg node of the drive on the ATA controller.
ata_sg() {
  for entry in /sys/class/scsi_generic/sg*; do
    case $(readlink -f "$entry/device") in */ata*) echo "${entry##*/}" ;; esac
  done
}

for rev in 1.01 1.02 1.03; do
  wait_for KORVANE $rev sg || echo "dw-guest: no drive with revision $rev"
done
i=0
while [ -z "$(ata_sg)" ] && [ "$i" -lt 100 ]; do
  i=$((i + 1))
  sleep 0.1
done
load_scsi_debug

# --- list: each KORVANE drive with the bus its place in sysfs gives it ------------------------
run_dw list
for drive in "1.01 SCSI virtio-scsi" "1.02 SCSI lsi53c895a" "1.03 USB usb-bot" \
  "1.00 SCSI scsi_debug"; do
  # shellcheck disable=SC2086 # the fields of one entry
  set -- $drive
  sg=$(sg_of KORVANE "$1")
  where=$(readlink -f "/sys/class/scsi_generic/$sg/device")
  if grep -q "^/dev/$sg .*  $2  $1\$" /tmp/out; then
    pass "list-$3"
  else
    fail "list-$3" "no line for /dev/$sg with bus $2 and firmware $1 (sysfs: $where): $(said)"
  fi
done
lines=$(grep -c '^/dev/' /tmp/out)
ide=$(ata_sg)
[ -n "$ide" ] && read -r ide_vendor <"/sys/class/scsi_generic/$ide/device/vendor"
if [ -z "$ide" ]; then
  fail "list-ide-cd" "the kernel shows no drive on the AHCI controller"
elif [ "$ide_vendor" = KORVANE ]; then
  if grep -q "^/dev/$ide .*  Serial ATA  " /tmp/out; then pass "list-ide-cd"; else
    fail "list-ide-cd" "no Serial ATA line for /dev/$ide: $(said)"
  fi
elif [ "$lines" -eq 4 ] && ! grep -q "^/dev/$ide " /tmp/out; then
  pass "list-ide-cd-of-another-maker-left-out"
else
  fail "list-ide-cd-of-another-maker-left-out" \
    "$lines lines, /dev/$ide ($ide_vendor): $(said)"
fi

# --- check: a valid image and a broken one ------------------------------------------------
run_dw check "$image" --device "/dev/$SD_SG"
if [ "$rc" -eq 0 ] && grep -q "Valid upgrade file loaded: kv62ts-110.bin" /tmp/out; then
  pass "check-valid-image"
else
  fail "check-valid-image" "exit $rc: $(said)"
fi
run_dw check "$broken" --device "/dev/$SD_SG"
if [ "$rc" -eq 5 ] && grep -q "Not a valid upgrade file" /tmp/out; then
  pass "check-broken-image"
else
  fail "check-broken-image" "exit $rc: $(said)"
fi

# --- scsi_debug as it comes: a mode-4 chunk raises a unit attention, the next chunk gets it ----
# (The module logs each WRITE BUFFER as it arrives, before a unit attention answers it.)
mark stock
run_dw upgrade "$image" --device "/dev/$SD_SG" --yes
mode4=$(logged_write_buffers stock 4)
mode5=$(logged_write_buffers stock 5)
if [ "$rc" -eq 1 ] && grep -q "Upgrade failed! Unit attention (code 062902)" /tmp/out &&
  [ "$mode4" -eq 2 ] && [ "$mode5" -eq 0 ]; then
  pass "stock-scsi_debug-unit-attention-stops-at-chunk-2"
else
  fail "stock-scsi_debug-unit-attention-stops-at-chunk-2" \
    "exit $rc, the drive logged $mode4 mode-4 and $mode5 mode-5 chunks: $(said)"
fi

# --- whole upgrades: through the sg node, through the sr node as root -------------------------
expected_chunks() {
  for k in 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14; do
    echo "mode 4 id 0 offset $((k * 8192)) length 8192"
  done
  echo "mode 5 id 0 offset 122880 length 8192"
}
expected_chunks >/tmp/expected
whole_upgrade() { # name, then sg or sr
  load_scsi_debug wb_mode4_ua=0
  node=$SD_SG
  [ "$2" = sr ] && node=$SD_SR
  mark "$1"
  run_dw upgrade "$image" --device "/dev/$node" --yes
  logged_chunks "$1" >/tmp/chunks
  if [ "$rc" -eq 0 ] && grep -q "Upgrade succesfull" /tmp/out && cmp -s /tmp/chunks /tmp/expected
  then
    pass "$1"
  else
    fail "$1" "exit $rc, the drive logged $(wc -l </tmp/chunks) chunks ($(head -n 2 /tmp/chunks |
      tr '\n' ';')...): $(said)"
  fi
}
whole_upgrade upgrade-through-sg sg
# Without the sg module the sr node is the only one the drive has, and the one the program uses.
rmmod sg || echo "dw-guest: sg not unloaded"
whole_upgrade upgrade-through-sr-as-root sr

# --- through the sr node without CAP_SYS_RAWIO: refused before the question, nothing sent ----
without_rawio() { # name, then the command that runs the program's upgrade
  name=$1
  shift
  mark "$name"
  timeout 120 "$@" >/tmp/out 2>/tmp/err
  rc=$?
  sent=$(($(logged_write_buffers "$name" 4) + $(logged_write_buffers "$name" 5)))
  if [ "$rc" -eq 3 ] && [ "$sent" -eq 0 ] && grep -q "CAP_SYS_RAWIO" /tmp/err &&
    grep -q "run it as root, or load the sg module and use /dev/sgN with write access" /tmp/err &&
    ! grep -q '\[y/N\]' /tmp/err; then
    pass "$name"
  else
    fail "$name" "exit $rc, $sent chunks sent: $(said)"
  fi
}
without_rawio sr-refused-to-root-without-cap-sys-rawio \
  /opt/dw/setpriv --bounding-set=-sys_rawio --inh-caps=-sys_rawio \
  "$dw" upgrade "$image" --device "/dev/$SD_SR"
echo 'user:x:1000:1000::/tmp:/bin/sh' >/etc/passwd
echo 'user:x:1000:' >/etc/group
chmod 666 "/dev/$SD_SR"
without_rawio sr-refused-to-a-user-with-access-to-the-node \
  su -s /bin/sh -c "$dw upgrade $image --device /dev/$SD_SR" user
insmod /modules/sg.ko

# --- SIGSTOP and SIGCONT while the drive holds the committing chunk ---------------------------
# Every command slowed to 0.5 s (ndelay; a delay= in jiffies would also hold START STOP UNIT for
# that many seconds); the stop comes as soon as the drive has logged the mode-5 chunk (read as it
# comes from /dev/kmsg; device_busy then says that the drive still holds it), the continue after
# the drive has answered it.
load_scsi_debug wb_mode4_ua=0 ndelay=500000000
name=stop-and-continue-during-the-commit-sends-it-once
mark "$name"
"$dw" upgrade "$image" --device "/dev/$SD_SG" --yes >/tmp/out 2>/tmp/err &
pid=$!
sd_device=$(device_of KORVANE 1.00)
# shellcheck disable=SC2016 # an awk program
if timeout 120 awk -v m="dw-check: $name" \
  'index($0, m) { on = 1 } on && index($0, "WRITE BUFFER mode 5 ") { exit 0 }' /dev/kmsg; then
  kill -STOP "$pid"
  busy=$(cat "$sd_device/device_busy")
  sleep 2
  kill -CONT "$pid"
else
  busy="none: no committing chunk logged"
fi
waited=0
while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 1200 ]; do
  sleep 0.1
  waited=$((waited + 1))
done
kill -KILL "$pid" 2>/dev/null
wait "$pid"
rc=$?
mode5=$(logged_write_buffers "$name" 5)
if [ "$busy" != 1 ]; then
  fail "$name" "the stop did not come while the drive held the committing chunk (busy: $busy): $(said)"
elif [ "$rc" -eq 0 ] && [ "$mode5" -eq 1 ] && grep -q "Upgrade succesfull" /tmp/out; then
  pass "$name"
else
  fail "$name" "exit $rc, the drive received the committing chunk $mode5 times: $(said)"
fi

# --- a mounted disc: refused, nothing sent (run.sh counts what the drive received) -------------
V_SG=$(sg_of KORVANE 1.01)
V_SR=$(sr_of KORVANE 1.01)
if mount -t iso9660 -o ro "/dev/$V_SR" /mnt; then
  run_dw upgrade "$image" --device "/dev/$V_SG" --yes
  echo "dw-check: mounted-disc-refused ran"
  if [ "$rc" -eq 3 ] && grep -q "/mnt" /tmp/err && [ -f /mnt/readme.txt ]; then
    pass "mounted-disc-refused"
  else
    fail "mounted-disc-refused" "exit $rc: $(said)"
  fi
  umount /mnt
else
  fail "mounted-disc-refused" "the disc in /dev/$V_SR could not be mounted"
fi

# --- drives that refuse WRITE BUFFER: "Upgrade failed!" with the sense text, no hang ----------
# The program ejects the disc first, and QEMU's scsi-cd answers every command but a few with "no
# medium" when it has none. A plain open of the sr node locks the tray (the cdrom driver does so
# where the opener does not ask for O_NONBLOCK), so the disc stays in, the eject is refused, and
# the drive answers WRITE BUFFER itself: it has none (invalid command operation code).
refused() { # name expected
  echo "dw-check: $1 ran"
  run_dw upgrade "$image" --device "/dev/$sg" --yes
  if [ "$rc" -eq 1 ] && grep -qx "Upgrade failed! $2" /tmp/out; then
    pass "$1"
  else
    fail "$1" "exit $rc: $(said)"
  fi
}
sg=$(sg_of KORVANE 1.02)
refused refused-write-buffer-lsi "No disc in drive (code 023A00)"
sg=$(sg_of KORVANE 1.03)
exec 3<"/dev/$(sr_of KORVANE 1.03)"
refused refused-write-buffer-usb "Invalid command (code 052000)"
exec 3<&-

echo "dw-check: done"
sync
poweroff -f

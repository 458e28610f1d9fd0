#!/usr/bin/env bash
# The Ansible module (contrib/ansible) on the simulated Linux PC: ansible-playbook runs the
# README's playbook (contrib/ansible/playbooks/upgrade_drives.yml) against localhost, with a
# wrapper as `drivewright` that preloads the simulated PC into build/native/drivewright alone
# (Ansible's own Python runs as it is). The PC has two KV-829A drives, at 1.00 and 1.10, and a
# KV-W6025A. The upgrade task's results are read as Ansible's tree callback wrote them, the play's
# counts from its recap, what the drives received from the simulated drives' log. Its files stay
# in build/ansible/ (play-NAME.txt: what a play printed; tree-NAME/localhost: the last task's
# result).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
native="$root/build/native"
playbook="$root/contrib/ansible/playbooks/upgrade_drives.yml"
for f in "$native/drivewright" "$native/libdrivewright_linux_sim.so" "$native/mkimage"; do
  [ -f "$f" ] || { echo "missing $f: build the native preset first"; exit 2; }
done
command -v ansible-playbook >/dev/null ||
  { echo "ansible-playbook is missing (bash scripts/install-deps.sh installs it)"; exit 2; }
work="$root/build/ansible"
rm -rf "$work"
mkdir -p "$work/home" "$work/tmp" "$work/host" "$work/collections/ansible_collections/drivewright"
ln -s "$root/contrib/ansible" "$work/collections/ansible_collections/drivewright/firmware"

# Ansible writes nowhere outside build/ansible and reads no configuration of the machine's.
export HOME="$work/home" ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp"
export ANSIBLE_CONFIG="$work/ansible.cfg" ANSIBLE_COLLECTIONS_PATH="$work/collections"
export ANSIBLE_CALLBACKS_ENABLED=tree ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_LOCALHOST_WARNING=0
: > "$work/ansible.cfg"
interpreter='ansible_python_interpreter="{{ ansible_playbook_python }}"'
printf '%s\n' '[korvane_pcs]' "localhost ansible_connection=local $interpreter" \
  > "$work/inventory"

printf '%s\n' 'drive pata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A' \
  'drive pata 0 0 1 0 sg1 sr1 1.04 CD-R   KV-W6025A' \
  'drive pata 1 0 0 0 sg2 sr2 1.10 DVDR   KV-829A' > "$work/linux.cfg"
: > "$work/drives.log"
mkimage() { "$native/mkimage" "$@" >/dev/null; }
mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 "$work/kv829a-110.bin"
mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.20 "$work/kv829a-120.bin"
mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.20 --break checksum "$work/broken.bin"

# The program with the simulated PC, bounded in time.
cat > "$work/drivewright-sim" <<EOF
#!/bin/sh
export DRIVEWRIGHT_LINUX_SIM="$work/linux.cfg"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus"
export LD_PRELOAD="$native/libdrivewright_linux_sim.so"
exec timeout 120 "$native/drivewright" "\$@" < /dev/null
EOF
chmod +x "$work/drivewright-sim"

fail() {
  echo "ansible: $1"
  echo "--- ansible-playbook's output"; cat "$work/play-$name.txt" 2>/dev/null || true
  echo "--- drives.log, without the WRITE BUFFER commands"
  grep -vE '^[0-9]+ [0-9]+ 3B ' "$work/drives.log" || true
  exit 1
}
# play NAME FILE EXIT [OPTIONS]: runs the playbook with FILE (the drives' log emptied first) as
# root without sudo; ansible-playbook is to end with EXIT.
play() {
  name="$1"
  : > "$work/drives.log"
  printf '{"firmware": "%s", "on_host": "%s", "drivewright": "%s", "ansible_become": false}\n' \
    "$work/$2" "$work/host/$2" "$work/drivewright-sim" > "$work/vars-$name.json"
  local rc=0
  (cd "$work" && ANSIBLE_CALLBACK_TREE_DIR="$work/tree-$name" timeout 150 ansible-playbook \
    -i inventory "$playbook" -e "@vars-$name.json" "${@:4}") > "$work/play-$name.txt" 2>&1 ||
    rc=$?
  echo "   ansible-playbook with $2 ${*:4} -> $rc"
  [ "$rc" = "$3" ] || fail "$name: ansible-playbook ended with $rc, not $3"
}
# field EXPRESSION: a value of the last play as Python writes it (a tuple's blank-separated):
# `sg0` and `sg2` are the module's results for those drives, `stats` the counts of the play's
# recap ("localhost : ok=3 changed=1 ...").
field() {
  python3 - "$work/tree-$name/localhost" "$work/play-$name.txt" "$1" <<'EOF' 2>&1
import json, re, sys
results = {r["item"]["sg"]: r for r in json.load(open(sys.argv[1]))["results"]}
sg0, sg2 = results.pop("/dev/sg0"), results.pop("/dev/sg2")
assert not results, "the loop upgraded more drives: %s" % list(results)
recap = re.search(r"^localhost +: (.*)$", open(sys.argv[2]).read(), re.M).group(1)
stats = {key: int(value) for key, value in re.findall(r"(\w+)=(\d+)", recap)}
value = eval(sys.argv[3])
print(" ".join(map(str, value)) if isinstance(value, tuple) else value)
EOF
}
expect() {  # expect EXPRESSION WANTED
  local value
  value=$(field "$1") || true
  [ "$value" = "$2" ] || fail "$name: $1 is '$value', not '$2'"
  echo "   $1: $value"
}
# The commands the drives received other than those that only read (INQUIRY, TEST UNIT READY,
# REQUEST SENSE, the identification's F1h).
changes() {
  grep -E '^[0-9]+ [0-9]+ [0-9A-F]{2} ' "$work/drives.log" |
    grep -cvE '^[0-9]+ [0-9]+ (12|00|03|F1) ' || true
}
revision() { cat "$work/drive-0-0.revision" 2>/dev/null || echo 1.00; }

# The first run upgrades the drive at 1.00, which then holds the file, and not the one at 1.10.
play first kv829a-110.bin 0
expect "sg0['changed'], sg0['version_before'], sg0['version_after'], sg0['exit_code']" \
  "True 1.00 1.10 0"
expect "sg2['changed'], sg2['version_before'], sg2['exit_code']" "False 1.10 6"
cmp -s "$work/kv829a-110.bin" "$work/drive-0-0.bin" || fail "the drive does not hold the file"
[ "$(revision)" = 1.10 ] || fail "the drive runs $(revision), not 1.10"
[ ! -e "$work/drive-1-0.bin" ] || fail "the drive at 1.10 was sent the file"

# The second finds both at the file's version: ok, not changed, nothing that changes them sent.
play second kv829a-110.bin 0
expect "stats['ok'], stats['changed'], stats['failed']" "3 0 0"
expect "sg0['version_before'], sg0['version_after'], sg0['exit_code']" "1.10 1.10 6"
[ "$(changes)" = 0 ] || fail "the second run sent $(changes) commands that change the drive"

# Check mode: a newer file would be sent, the version the drives run would not; neither is.
play check-newer kv829a-120.bin 0 --check
expect "sg0['changed'], sg0['version_before'], sg0['version_after']" "True 1.10 1.20"
expect "sg2['changed']" True
[ "$(changes)" = 0 ] || fail "check mode sent $(changes) commands that change the drive"
play check-same kv829a-110.bin 0 --check
expect "stats['changed'], sg0['changed'], sg2['changed']" "0 False False"
[ "$(changes)" = 0 ] || fail "check mode sent $(changes) commands that change the drive"
[ "$(revision)" = 1.10 ] || fail "after check mode the drive runs $(revision), not 1.10"

# A broken file fails with the program's reason, and nothing is sent.
play broken broken.bin 2
expect "stats['failed'], sg0['failed'], sg0['changed'], sg0['exit_code']" "1 True False 5"
expect "sg0['msg']" "Not a valid upgrade file; the checksum stored in $work/host/broken.bin at \
offset 983038 (0xEFFFE) is CCA0h; its bytes give CCA1h"
[ "$(changes)" = 0 ] || fail "the broken file sent $(changes) commands that change the drive"

# ansible-doc shows the module's documentation, examples and return values; the README shows
# the playbook as it is.
doc=$(ansible-doc drivewright.firmware.drivewright_firmware 2>&1) || fail "ansible-doc: $doc"
for part in allow_reinstall EXAMPLES version_after; do
  case "$doc" in *"$part"*) ;; *) fail "ansible-doc does not show $part: $doc" ;; esac
done
python3 - "$playbook" "$root/README.md" <<'EOF' || fail "README.md does not show $playbook as it is"
import sys
shown = "".join("    " + line if line.strip() else line for line in open(sys.argv[1]))
sys.exit(shown not in open(sys.argv[2]).read())
EOF
echo "ansible: passed"

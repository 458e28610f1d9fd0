#!/usr/bin/env bash
# The Ansible module (contrib/ansible) on the simulated Linux PC: ansible-playbook runs
# drivewright.firmware.drivewright_firmware against localhost, whose `binary` is a wrapper that
# preloads the simulated PC into build/native/drivewright alone (Ansible's own Python runs as it
# is). Each play's result is read as Ansible's tree callback wrote it, its counts from the recap
# the play printed, what the drive received from the simulated drives' log. Its files stay in
# build/ansible/ (play-NAME.txt: what a play printed; tree-NAME/localhost: the module's result).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
native="$root/build/native"
for f in "$native/drivewright" "$native/libdrivewright_linux_sim.so" "$native/mkimage"; do
  [ -f "$f" ] || { echo "missing $f: build the native preset first"; exit 2; }
done
command -v ansible-playbook >/dev/null ||
  { echo "ansible-playbook is missing (bash scripts/install-deps.sh installs it)"; exit 2; }
work="$root/build/ansible"
rm -rf "$work"
mkdir -p "$work/home" "$work/tmp" "$work/collections/ansible_collections/drivewright"
ln -s "$root/contrib/ansible" "$work/collections/ansible_collections/drivewright/firmware"

# Ansible writes nowhere outside build/ansible and reads no configuration of the machine's.
export HOME="$work/home" ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp"
export ANSIBLE_CONFIG="$work/ansible.cfg" ANSIBLE_COLLECTIONS_PATH="$work/collections"
export ANSIBLE_CALLBACKS_ENABLED=tree ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_INVENTORY_UNPARSED_WARNING=0
: > "$work/ansible.cfg"
printf '%s\n' 'localhost ansible_connection=local' \
  'localhost ansible_python_interpreter="{{ ansible_playbook_python }}"' > "$work/inventory"

printf '%s\n' 'drive pata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A' \
  'drive pata 0 0 1 0 sg1 sr1 1.04 CD-R   KV-W6025A' > "$work/linux.cfg"
: > "$work/drives.log"
mkimage() { "$native/mkimage" "$@" >/dev/null; }
mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.10 "$work/kv829a-110.bin"
mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.20 "$work/kv829a-120.bin"
mkimage --row "DVDR   KV-829A" --size 1028096 --version 1.20 --break checksum "$work/broken.bin"

# The module's binary: the program with the simulated PC, bounded in time.
cat > "$work/drivewright-sim" <<EOF
#!/bin/sh
export DRIVEWRIGHT_LINUX_SIM="$work/linux.cfg"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus"
export LD_PRELOAD="$native/libdrivewright_linux_sim.so"
exec timeout 120 "$native/drivewright" "\$@" < /dev/null
EOF
chmod +x "$work/drivewright-sim"

cat > "$work/upgrade.yml" <<'EOF'
- hosts: localhost
  gather_facts: false
  tasks:
    - name: upgrade
      drivewright.firmware.drivewright_firmware:
        file: "{{ file }}"
        device: /dev/sg0
        binary: "{{ binary }}"
EOF

fail() {
  echo "ansible: $1"
  echo "--- ansible-playbook's output"; cat "$work/play-$name.txt" 2>/dev/null || true
  echo "--- drives.log, without the WRITE BUFFER commands"
  grep -vE '^[0-9]+ [0-9]+ 3B ' "$work/drives.log" || true
  exit 1
}
# play NAME FILE EXIT [OPTIONS]: runs the playbook with FILE (the drives' log emptied first);
# ansible-playbook is to end with EXIT.
play() {
  name="$1"
  : > "$work/drives.log"
  local rc=0
  (cd "$work" && ANSIBLE_CALLBACK_TREE_DIR="$work/tree-$name" timeout 150 ansible-playbook \
    -i inventory upgrade.yml -e "file=$work/$2 binary=$work/drivewright-sim" "${@:4}") \
    > "$work/play-$name.txt" 2>&1 || rc=$?
  echo "   ansible-playbook with $2 ${*:4} -> $rc"
  [ "$rc" = "$3" ] || fail "$name: ansible-playbook ended with $rc, not $3"
}
# field EXPRESSION: a value of the last play as Python writes it (a tuple's blank-separated);
# `task` is the module's result on localhost, `stats` the counts of the play's recap
# ("localhost : ok=1 changed=1 ...").
field() {
  python3 - "$work/tree-$name/localhost" "$work/play-$name.txt" "$1" <<'EOF' 2>&1
import json, re, sys
task = json.load(open(sys.argv[1]))
recap = re.search(r"^localhost +: (.*)$", open(sys.argv[2]).read(), re.M).group(1)
stats = {key: int(value) for key, value in re.findall(r"(\w+)=(\d+)", recap)}
value = eval(sys.argv[3])
print(" ".join(map(str, value)) if isinstance(value, tuple) else value)
EOF
}
expect() {  # expect EXPRESSION WANTED
  local value
  value=$(field "$1")
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

# The first run upgrades the drive: it holds the file.
play first kv829a-110.bin 0
expect "stats['changed'], stats['failed']" "1 0"
expect "task['version_before'], task['version_after'], task['exit_code']" "1.00 1.10 0"
expect "task['result']['outcome']" succeeded
cmp -s "$work/kv829a-110.bin" "$work/drive-0-0.bin" || fail "the drive does not hold the file"
[ "$(revision)" = 1.10 ] || fail "the drive runs $(revision), not 1.10"

# The second finds it at the file's version: ok, not changed, nothing sent that changes it.
play second kv829a-110.bin 0
expect "stats['ok'], stats['changed'], stats['failed']" "1 0 0"
expect "task['version_before'], task['version_after'], task['exit_code']" "1.10 1.10 6"
[ "$(changes)" = 0 ] || fail "the second run sent $(changes) commands that change the drive"

# Check mode: a newer file would be sent, the version the drive runs would not; neither is.
play check-newer kv829a-120.bin 0 --check
expect "stats['changed'], task['version_before'], task['version_after']" "1 1.10 1.20"
[ "$(changes)" = 0 ] || fail "check mode sent $(changes) commands that change the drive"
play check-same kv829a-110.bin 0 --check
expect "stats['ok'], stats['changed'], stats['failed']" "1 0 0"
[ "$(changes)" = 0 ] || fail "check mode sent $(changes) commands that change the drive"
[ "$(revision)" = 1.10 ] || fail "after check mode the drive runs $(revision), not 1.10"

# A broken file fails with the program's reason, and nothing is sent.
play broken broken.bin 2
expect "stats['failed'], task['changed'], task['exit_code']" "1 False 5"
expect "task['msg']" "Not a valid upgrade file; the checksum stored in $work/broken.bin at \
offset 983038 (0xEFFFE) is CCA0h; its bytes give CCA1h"
[ "$(changes)" = 0 ] || fail "the broken file sent $(changes) commands that change the drive"

# ansible-doc shows the module's documentation, examples and return values.
doc=$(ansible-doc drivewright.firmware.drivewright_firmware 2>&1) || fail "ansible-doc: $doc"
for part in allow_reinstall EXAMPLES version_after; do
  case "$doc" in *"$part"*) ;; *) fail "ansible-doc does not show $part: $doc" ;; esac
done
echo "ansible: passed"

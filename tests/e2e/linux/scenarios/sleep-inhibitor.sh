# Where logind runs, an upgrade holds a sleep inhibitor (what "sleep", mode "block", by
# "drivewright", "firmware upgrade in progress") from its first chunk until after its last
# command; on a system bus without logind it goes on without one. A stand-in for logind
# (build/native/fake_logind) on a private bus writes its part into drives.log.
line_of() { grep -nE "$1" "$work/drives.log" | sed -n "${2:-1}p" | cut -d: -f1; }
steps() {
  [ -x "$native/fake_logind" ] || { echo "missing $native/fake_logind"; exit 2; }
  kv829a_image
  local bus_pid logind_pid="" bus="$work/system-bus"
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$bus" 2> "$work/bus.log" &
  bus_pid=$!
  # shellcheck disable=SC2064  # the process ids as they are now
  trap "kill $bus_pid 2>/dev/null || true" EXIT
  wait_until "the system bus listens" test -S "$bus"
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$bus"

  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes --trace
  expect "exit code without logind" "$rc" 0
  expect_has "the trace" "$err" "trace: no sleep inhibitor (org.freedesktop.DBus.Error.ServiceUnknown"
  expect "commits" "$(commit_count)" 1

  configure "$config"
  "$native/fake_logind" "$DBUS_SYSTEM_BUS_ADDRESS" "$work/drives.log" &
  logind_pid=$!
  # shellcheck disable=SC2064
  trap "kill $bus_pid $logind_pid 2>/dev/null || true" EXIT
  wait_until "logind is on the bus" grep -q '^logind: ready' "$work/drives.log"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code" "$rc" 0
  wait_until "the inhibitor ended" grep -q '^logind: inhibitor released' "$work/drives.log"
  expect "the inhibitor" "$(grep '^logind: inhibit ' "$work/drives.log")" \
    "logind: inhibit what=sleep who=drivewright why=firmware upgrade in progress mode=block"
  local taken first_chunk last_command released
  taken=$(line_of '^logind: inhibit ')
  first_chunk=$(line_of '^[0-9]+ [0-9]+ 3B ')
  last_command=$(line_of '^[0-9]+ [0-9]+ ' '$')
  released=$(line_of '^logind: inhibitor released')
  expect "taken just before the first chunk" "$((first_chunk - taken))" 1
  expect "released after the last command" "$((released > last_command))" 1
  expect "commits" "$(commit_count)" 1
}

# battery: on a machine running on battery (no mains supply online, a battery discharging, as
# /sys/class/power_supply tells) the upgrade is refused with exit 3 before anything is sent;
# --force goes on. A mouse's battery or a charging one is no reason to refuse.
config="$(two_drives_where_first)
power mains offline
power battery discharging"
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code on battery" "$rc" 3
  expect_has "why" "$err" "drivewright: the machine runs on battery (BAT0 discharging, no mains power online): a drive whose upgrade is cut off may not start again; connect the mains power, or add --force"
  expect "download commands" "$(commands '(3B|E1|E2|1B|01)' | wc -l)" 0
  expect "exclusive opens" "$(grep -c exclusive "$work/opens.log" || true)" 0

  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes --force
  expect "exit code with --force" "$rc" 0
  expect_has "the warning" "$err" "the machine runs on battery (BAT0 discharging); going on, as --force asks"
  expect "commits" "$(commit_count)" 1

  configure "$(two_drives_where_first)
power mains offline
power battery charging
power device-battery discharging"
  dw upgrade "$work/kv829a-110.bin" --device /dev/sg0 --yes
  expect "exit code with a charging battery and a mouse's discharging one" "$rc" 0
}

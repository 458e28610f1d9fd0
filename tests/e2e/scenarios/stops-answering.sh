# The drive stops answering in the middle of the download: the upgrade fails, no further chunk
# is sent, and the buttons work again.
layer_config=$(two_drives_where_first 'stop-after 60')
prepare() { kv829a_image; }
steps="$load_kv829a"'
click 1001
wait-prefix 1006 "Upgrade failed! " 180
enabled 1000 1
enabled 1001 1
shot failed
select 1
wait-text 1004 "1" 20
text 1005 "1.04"
text 1006 "Select an upgrade file"
select 0
wait-text 1004 "0" 20'
check() {
  local first
  first=$(grep -n -m 1 '^0 0 .* unanswered' "$work/wnaspi32.log" | cut -d: -f1)
  expect "the first unanswered command" "$(sed -n "${first}p" "$work/wnaspi32.log" | cut -d' ' -f3)" 3B
  expect "chunks after it" "$(log_after "$first" | grep -c '^0 0 3B')" 0
  expect "commits" "$(commit_count)" 0
}

# A chunk the drive answers GOOD but takes only in part (the kernel's residual is more than the
# 4 bytes a WRITE BUFFER hands over beyond its chunk) stops the upgrade before the committing
# command, as a refused chunk does; --trace shows the residual.
config=$(two_drives_where_first 'takes 3B 11 4096')
steps() {
  kv829a_image
  dw upgrade "$work/kv829a-110.bin" -d /dev/sg0 --yes --trace
  expect "exit code" "$rc" 1
  expect "outcome" "$(sed -n 3p "$work/out.txt")" \
    "Upgrade failed! The drive took only part of a chunk; the committing command was not sent."
  expect "chunks sent" "$(commands 3B | wc -l)" 11
  expect "commits" "$(commit_count)" 0
  expect_has "the traced chunk" "$err" "cdb=3B 04 00 01 40 00 00 20 00 00 out=8196 -> result=1 errno=0 status=00 host=0000 driver=0000 resid=4100 sb_len_wr=0"
  expect_has "a whole chunk" "$err" "cdb=3B 04 00 01 20 00 00 20 00 00 out=8196 -> result=1 errno=0 status=00 host=0000 driver=0000 resid=4 sb_len_wr=0"
}

# Windows 10: the program takes the pass-through path without trying the ASPI layer that lies
# beside it. Its SCSI port is there but refuses to open, as for a program started without
# administrator rights: the dialog opens with an empty list and says why.
windows=win10
prepare() { deny_scsi_port 0; }
steps="$access_denied_dialog"'
text 1003 ""
shot main'
check() {
  [ ! -e "$work/wnaspi32.log" ] || { echo "e2e: the ASPI layer was started"; exit 1; }
  echo "   the ASPI layer was not started"
}

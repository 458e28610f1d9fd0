# Windows 10: the program takes the pass-through path without trying the ASPI layer that lies
# beside it. Its SCSI port is there but refuses to open, as for a program started without
# administrator rights: the dialog opens with an empty list and says why.
windows=win10
prepare() { deny_scsi_port 0; }
steps='main "Drivewright  V1.25" 60
combo-count 0
enabled 1002 0
text 1006 "Access denied: run Drivewright as administrator"
enabled 1000 1
enabled 1001 0
text 1003 ""
shot main'
check() {
  [ ! -e "$work/wnaspi32.log" ] || { echo "e2e: the ASPI layer was started"; exit 1; }
  echo "   the ASPI layer was not started"
}

# Windows 7, no ASPI layer: the program takes the pass-through path, finds its SCSI port refusing
# to open (no administrator rights) and says so in the status line of its main dialog.
windows=win7
variant=none
prepare() { deny_scsi_port 0; }
steps='main "Drivewright  V1.25" 60
combo-count 0
enabled 1002 0
text 1006 "Access denied: run Drivewright as administrator"
enabled 1000 1
enabled 1001 0
shot main'

# Windows 7, no ASPI layer: the program takes the pass-through path, finds its SCSI port refusing
# to open (no administrator rights) and says so in the status line of its main dialog.
windows=win7
variant=none
prepare() { deny_scsi_port 0; }
steps="$access_denied_dialog"'
shot main'

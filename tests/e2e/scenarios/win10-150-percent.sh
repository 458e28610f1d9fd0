# Windows 10 at 150 % (144 dots per inch): the program is DPI aware, so the dialog is laid out at
# the display's size, with nothing cut off (see the screenshot).
windows=win10
dpi=144
prepare() { deny_scsi_port 0; }
steps='main "Drivewright  V1.25" 60
text 1006 "Access denied: run Drivewright as administrator"
shot main'

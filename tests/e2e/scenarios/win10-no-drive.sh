# Windows 10 as Wine is: no SCSI port and no CD-ROM drive letter. The program takes the
# pass-through path, finds nothing, and opens its main dialog saying so (it never looks for an
# ASPI layer there, so it does not claim one is missing).
windows=win10
variant=none
steps='main "Drivewright  V1.25" 60
combo-count 0
enabled IDC_DEVICE_COMBO 0
text IDC_STATUS "No CD or DVD drive found"
text IDC_HOST_ADAPTER ""
enabled IDC_UPGRADE 0
shot main'

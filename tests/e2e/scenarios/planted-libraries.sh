# Windows 10 with a setupapi.dll, cfgmgr32.dll and version.dll planted beside the program, and an
# rpcrt4.dll, which setupapi.dll imports, with Wine told to prefer such native copies: the
# program takes the first three from the system folder by their full paths, and its library
# search, narrowed to the system folder before the first window, finds the system's rpcrt4.dll
# for setupapi.dll, so none of them leaves its mark (see tests/e2e/planted_library.cpp), also
# after the Open dialog has been opened and cancelled. (Wine's delay-loaded libraries behind the
# Open dialog ignore the search setting, so no copy of those is planted.) The pass-through scan
# still runs (the port refuses to open, and the status line says so), and the old ASPI layer's
# version is still read and warned about.
windows=win10
variant=old
dll_overrides="setupapi,cfgmgr32,version,rpcrt4=n,b"
prepare() {
  deny_scsi_port 0
  cp "$w64"/planted/{setupapi,cfgmgr32,version,rpcrt4}.dll "$work/"
}
steps='window "ASPI Layer" 60
shot warning
gone "ASPI Layer" 30
main "Drivewright  V1.25" 30
combo-count 0
text 1006 "Access denied: run Drivewright as administrator"
click IDC_LOAD_FILE
cancel-file 30
text 1006 "Access denied: run Drivewright as administrator"
shot main'
check() {
  local mark found=0
  for mark in "$work"/*.loaded "$work"/*.used; do
    [ -e "$mark" ] || continue
    echo "e2e: the program took a planted library: $(basename "$mark")"; found=1
  done
  [ "$found" -eq 0 ] || exit 1
  echo "   no planted library was loaded"
}

# No ASPI library and no port driver: the program says so in a box captioned with its own name
# and ends when it is answered.
variant=none
steps='msgbox "drivewright" "ASPI for Win32 is not initialized!\n\rUnable to load '"'"'WNASPI32.DLL'"'"'" 60
shot no-transport
answer 1
gone "Drivewright  V1.25" 20'
check() { program_ends 20; echo "   the program ended"; }

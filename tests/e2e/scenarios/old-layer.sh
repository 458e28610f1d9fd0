# The old ASPI layer (version 1, 0, 0, 0): the warning comes first and closes itself after about
# ten seconds; then the drives are listed.
variant=old
layer_config="$two_drives"
steps='window "ASPI Layer" 60
timer-start
shot warning
gone "ASPI Layer" 30
elapsed 7 14
main "Drivewright  V1.25" 30
combo-count 2
text 1006 "Select an upgrade file"'

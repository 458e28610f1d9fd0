# Start-up with two drives: both are listed by their labels, the first is selected and shown,
# and picking the second shows its adapter, target and version. Wine has its Marlett font, with
# which it draws the title bar's close button (without it the button reads "r").
layer_config="$two_drives"
steps='main "Drivewright  V1.25" 60
font "Marlett"
combo-count 2
combo 0 "ID:0  KV-829A  "
combo 1 "ID:1  KV-W6025A"
selected 0
text 1003 "0"
text 1004 "0"
text 1005 "1.00"
text 1006 "Select an upgrade file"
enabled 1000 1
enabled 1001 0
enabled 1002 1
shot first-drive
select 1
wait-text 1004 "1" 10
text 1003 "0"
text 1005 "1.04"
text 1006 "Select an upgrade file"
enabled 1001 0'

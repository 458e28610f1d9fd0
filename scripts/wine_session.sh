# shellcheck shell=bash
# Sourced by scripts/run.sh and tests/e2e/run.sh: a Wine session of our own for the win64
# program, with every process it starts ended by its id.
#
#   wine_session_start PREFIX [virtual]   a Windows 98 prefix (made once) with Wine's own fonts,
#                                         and its own wineserver; "virtual" also starts a
#                                         virtual display (Xvfb)
#   wine_session_end                      ends every process of the session
#   win_path PATH                         the Z: path Wine gives a Linux path
#
# After start: $wine, $wineserver, WINEPREFIX, DISPLAY, and session_pids (add your own).

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
session_pids=()

win_path() { local p="Z:$1"; echo "${p//\//\\}"; }

# The ids of the session's Wine processes (Wine's own binaries running in its prefix): the
# programs it started and those Wine started for them (services, desktop, device hosts), which
# put themselves in sessions of their own. A prefix is used by one session at a time, so its
# processes are the session's.
wine_processes() {
  local environ pid exe
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}; pid=${pid%/environ}
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
    case "$exe" in /usr/lib/wine/*) ;; *) continue ;; esac
    # grep reads to the end (no -q): under pipefail a tr ended by SIGPIPE would read as no match.
    if { tr '\0' '\n' < "$environ"; } 2>/dev/null | grep -xF "WINEPREFIX=$WINEPREFIX" >/dev/null; then
      echo "$pid"
    fi
  done
}

# Whether a process is there and not a zombie waiting to be collected.
is_running() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1) || true
  [ -n "$state" ] && [ "$state" != Z ]
}

# Ends the given processes and the prefix's Wine processes: asked first, then forced a second
# later. That is a grace period, not a wait for a state: some Wine programs (winedevice.exe)
# never end when asked, and the wineserver takes seconds to; forcing it loses nothing it saved
# (it writes the registry to a new file that it then renames).
end_processes() {
  local pid
  for pid in "$@" $(wine_processes); do kill "$pid" 2>/dev/null || true; done
  sleep 1
  for pid in "$@" $(wine_processes); do kill -9 "$pid" 2>/dev/null || true; done
}

wine_session_end() { end_processes "${session_pids[@]}"; }

# Wine's own fonts (the package fonts-wine): Marlett, with which Wine draws the buttons of a
# title bar, its arrows and check marks (without it the close button reads "r"), and the dialog
# fonts MS Sans Serif and Tahoma. Debian's Wine 8 is built to take its own fonts from "../fonts"
# beside its data folder, not from /usr/share/wine/fonts where fonts-wine puts them, so it never
# loads them, in a new prefix or an old one. Every Wine reads the prefix's C:\windows\Fonts:
# they are copied there, at every start. The wineserver keeps the font list for the processes
# it serves, so this is done before it starts.
wine_fonts=/usr/share/wine/fonts
install_wine_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" font
  [ -d "$wine_fonts" ] || { echo "wine: $wine_fonts is missing (install fonts-wine)"; return 0; }
  mkdir -p "$fonts"
  for font in "$wine_fonts"/*.ttf "$wine_fonts"/*.fon; do
    [ -e "$font" ] || continue
    cmp -s "$font" "$fonts/${font##*/}" || cp "$font" "$fonts/"
  done
}

# A wineserver of the session, so that nothing of it outlives the session. It is ready when its
# socket is in its server folder, which is its working folder; until then a Wine program would
# start a server of its own. One that ends at once (another serves the prefix) ends the wait too.
start_wineserver() {
  "$wineserver" -f -p >/dev/null 2>&1 &
  local server=$! deadline=$((SECONDS + 30))
  session_pids+=("$server")
  while [ "$SECONDS" -lt "$deadline" ]; do
    [ -S "/proc/$server/cwd/socket" ] && return 0
    is_running "$server" || return 0
    sleep 0.05
  done
  echo "wine: the wineserver did not open its socket within 30 s"
}

# A registry value of a new prefix. On a busy machine the first Wine program after wineboot can
# fail while the prefix's own programs are still starting; it is tried again after a pause, and a
# value that cannot be set ends the session's start with a message.
set_prefix_value() {
  local _
  for _ in 1 2 3; do
    timeout 60 "$wine" reg add "$@" /f >/dev/null 2>&1 && return 0
    sleep 2
  done
  echo "wine: cannot set $1 $3 in the new prefix $WINEPREFIX"
  return 1
}

wine_session_start() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEARCH=win64

  if [ "${2:-}" = virtual ]; then
    local displayfile
    displayfile=$(mktemp)
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$displayfile" >/dev/null 2>&1 &
    session_pids+=($!)
    for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
    DISPLAY=":$(cat "$displayfile")"
    export DISPLAY
    rm -f "$displayfile"
  fi

  # Windows version win98, so that the program takes the ASPI path; windows inside a virtual
  # desktop that Wine draws with their captions, since a bare X server has no window manager.
  local kind="win98 desktop 1" make=false
  if [ "$(cat "$WINEPREFIX/.drivewright-ready" 2>/dev/null)" != "$kind" ]; then
    make=true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
  fi

  if $make; then
    start_wineserver
    echo "wine: making the prefix $WINEPREFIX (once)"
    WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || true
    set_prefix_value 'HKCU\Software\Wine' /v Version /d win98
    set_prefix_value 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
    set_prefix_value 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768
    echo "$kind" > "$WINEPREFIX/.drivewright-ready"
    # The desktop started while the prefix was made is not the virtual one: start afresh.
    end_processes
  fi

  install_wine_fonts
  start_wineserver
}

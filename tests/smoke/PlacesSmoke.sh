#!/usr/bin/env bash
# Windows keep their place: the program remembers where the find window, its dialogs, the palette
# and the frame were and puts them there again, so opening and closing them, or quitting and starting again,
# must leave each client area exactly where it was, with a window manager's frame around it or
# none. Each window's place is read from the X server (the client window's position on the root).
# Usage: PlacesSmoke.sh PROGRAM WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
work=$2
smoke=places
source "$(dirname "$0")/SmokeLib.sh"
# "x y width height" of a window's client area on the screen.
place() {
  xwininfo -id "$1" 2>/dev/null |
    awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
         /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}

start() {
  "$program" -nosplash >>"$work/program.log" 2>&1 &
  pid=$!
  # A first start tells the user where the preferences went, in a box answered with Enter; the
  # frame comes once it is answered.
  frameOrBox() {
    frame=$(named Korvaline)
    [[ -n $frame || -n $(named Information) ]]
  }
  waitFor frameOrBox || fail "no main window"
  if [[ -z $frame ]]; then
    xdotool windowactivate --sync "$(named Information)" 2>/dev/null
    xdotool key Return
  fi
  frameUp() { frame=$(named Korvaline); [[ -n $frame ]]; }
  waitFor frameUp || fail "no main window"
  paletteUp() { [[ -n $(named Palette) ]]; }
  waitFor paletteUp || fail "no palette"
  sleep 1
}

# Édition > "Rechercher & remplacer" (its tenth item), then Escape closes the find window.
openFind() {
  xdotool mousemove --window "$frame" 66 9 click 1
  sleep 0.5
  xdotool key --delay 60 Down Down Down Down Down Down Down Down Down Down Return
  findUp() { find=$(named "Rechercher & remplacer"); [[ -n $find ]]; }
  waitFor findUp || fail "the find window did not open"
  sleep 0.5
}
closeFind() {
  xdotool windowactivate --sync "$find" 2>/dev/null
  xdotool key Escape
  findGone() { [[ -z $(named "Rechercher & remplacer") ]]; }
  waitFor findGone || fail "Escape did not close the find window"
}
# Options > "Commandes de caractères..." opens a dialog that places itself where it was last; Escape
# closes it.
openDialog() {
  xdotool windowactivate --sync "$frame" 2>/dev/null
  xdotool key alt+o
  sleep 0.4
  xdotool key c
  dialogUp() { dialog=$(named "Commandes de caractères"); [[ -n $dialog ]]; }
  waitFor dialogUp || fail "the character commands dialog did not open"
  sleep 0.5
}
closeDialog() {
  xdotool windowactivate --sync "$dialog" 2>/dev/null
  xdotool key Escape
  dialogGone() { [[ -z $(named "Commandes de caractères") ]]; }
  waitFor dialogGone || fail "Escape did not close the character commands dialog"
}
# Fenêtres > Palette shows or hides the palette.
togglePalette() {
  xdotool windowactivate --sync "$frame" 2>/dev/null
  xdotool key alt+e
  sleep 0.4
  xdotool key Return
  sleep 0.6
}

start
framePlace=$(place "$frame")
palettePlace=$(place "$(named Palette)")

# Opens and closes a window four times (WHAT, its open and close functions, the variable they set
# to the window); each time it is where it first was, which is left in the variable's name +Place.
keepsPlace() {
  local what=$1 open=$2 close=$3 var=$4 first i
  $open
  first=$(place "${!var}")
  $close
  for i in 1 2 3; do
    $open
    [[ $(place "${!var}") == "$first" ]] ||
      fail "$what opened $((i + 1)) times: at $(place "${!var}"), first at $first"
    $close
  done
  printf -v "${var}Place" '%s' "$first"
}
keepsPlace "find window" openFind closeFind find
keepsPlace dialog openDialog closeDialog dialog

for i in 1 2 3; do
  togglePalette
  [[ -z $(named Palette) ]] || fail "Fenêtres > Palette did not hide the palette"
  togglePalette
  palette=$(named Palette)
  [[ -n $palette ]] || fail "Fenêtres > Palette did not show the palette again"
  [[ $(place "$palette") == "$palettePlace" ]] ||
    fail "palette shown again $i times: at $(place "$palette"), first at $palettePlace"
done

# The places saved at the end are where the windows come back at the next start.
[[ $(place "$frame") == "$framePlace" ]] ||
  fail "the frame moved by itself: at $(place "$frame"), first at $framePlace"
stop
for i in 1 2; do
  start
  [[ $(place "$frame") == "$framePlace" ]] ||
    fail "frame after restart $i: at $(place "$frame"), before at $framePlace"
  [[ $(place "$(named Palette)") == "$palettePlace" ]] ||
    fail "palette after restart $i: at $(place "$(named Palette)"), before at $palettePlace"
  openFind
  [[ $(place "$find") == "$findPlace" ]] ||
    fail "find window after restart $i: at $(place "$find"), before at $findPlace"
  closeFind
  stop
done
exit 0

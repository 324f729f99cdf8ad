#!/usr/bin/env bash
# A close the user cancels changes nothing. With a changed document, Fichier > Quitter and then the
# window manager's close button on the frame each ask to save; Annuler (Escape) leaves the
# document and the palette on the screen, and the palette still answers: Fenêtres > Palette hides
# it, as it does a palette that is shown.
# Usage: PaletteCloseSmoke.sh PROGRAM WMCLIENT WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
wmclient=$2
work=$3
smoke=palette-close
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

"$program" -nosplash >"$work/program.log" 2>&1 &
pid=$!
# A first start tells the user where the preferences went, in a box answered with Enter.
frameOrBox() {
  frame=$(named Korvaline | head -1)
  [[ -n $frame || -n $(named Information) ]]
}
waitFor frameOrBox || fail "no main window"
if [[ -z $frame ]]; then
  xdotool windowactivate --sync "$(named Information)" 2>/dev/null
  xdotool key Return
fi
waitFor mainWindow || fail "no main window"
paletteUp() { [[ -n $(named Palette) ]]; }
waitFor paletteUp || fail "no palette at start"
sleep 1
xdotool windowactivate --sync "$frame" 2>/dev/null
xdotool type --delay 40 "a+b"
sleep 0.5

# The save question: the program's visible dialog window other than the palette and the frame.
question() {
  local w
  for w in $(named ".*"); do
    [[ $w == "$frame" || -n $(named Palette | grep -x "$w") ]] && continue
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG &&
      q=$w && return 0
  done
  return 1
}
noQuestion() { ! question; }
# Answers the save question with Annuler and checks that everything stayed.
cancelAndCheck() {
  local how=$1
  waitFor question || fail "$how on a changed document asks nothing"
  xdotool windowactivate --sync "$q" 2>/dev/null
  xdotool key Escape
  waitFor noQuestion || fail "Escape did not answer the save question ($how)"
  sleep 1
  kill -0 "$pid" 2>/dev/null || fail "the program ended after Annuler ($how)"
  [[ -n $(named Korvaline) ]] || fail "the frame went after Annuler ($how)"
  [[ -n $(named Palette) ]] || fail "the palette went after Annuler ($how)"
}

xdotool windowactivate --sync "$frame" 2>/dev/null
xdotool key alt+f
sleep 0.4
xdotool key q
cancelAndCheck "Fichier > Quitter"

"$wmclient" close "$frame"
cancelAndCheck "the close button"

# The palette is the shown one: Fenêtres > Palette hides it.
xdotool windowactivate --sync "$frame" 2>/dev/null
xdotool key alt+e
sleep 0.4
xdotool key Return
paletteGone() { [[ -z $(named Palette) ]]; }
waitFor paletteGone || fail "Fenêtres > Palette did not hide the palette after the cancelled closes"

kill -KILL "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
echo "palette close smoke: ok"
exit 0

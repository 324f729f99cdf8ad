#!/usr/bin/env bash
# Activation and focus settle: runs of input that once had the frame, the palette and the find
# window hand the keyboard to each other for ever, each followed by a check that the program goes
# idle. The program starts (which, under a window manager, gives the palette the keyboard), the
# user types, opens "Fichier" with the first click, closes it with Escape, opens "Édition" with a
# click and chooses "Rechercher & remplacer", then clicks in the document. At the end the program
# must still answer: a copy offers the clipboard to another client, and Options > Palette...
# opens the Customize Palette dialog that Escape alone closes.
# Usage: FocusSmoke.sh PROGRAM WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
work=$2
smoke=focus
source "$(dirname "$0")/SmokeLib.sh"

"$program" -nosplash >"$work/program.log" 2>&1 &
pid=$!
mainWindow() {
  kill -0 "$pid" 2>/dev/null || fail "the program ended at start-up"
  frame=$(named Korvaline)
  [[ -n $frame ]]
}
waitFor mainWindow || fail "no main window within 30 s"

# Idle: within ten seconds, one second in which the program uses at most 5% of a core (its
# processor time in clock ticks, 100 a second). A program caught in a cycle of activations uses
# a good part of a core for as long as it runs.
cpuTicks() { awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null; }
settles() {
  local step=$1 before after
  for _ in $(seq 10); do
    kill -0 "$pid" 2>/dev/null || fail "the program ended after: $step"
    before=$(cpuTicks)
    sleep 1
    after=$(cpuTicks)
    ((after - before <= 5)) && return 0
  done
  fail "the program stays busy after: $step ($((after - before)) ticks in the last second)"
}
# A click at a point of the frame's X window (its menu bar is the top 19 rows).
clickFrame() { xdotool mousemove --window "$frame" "$1" "$2" click 1; }

sleep 1
settles "start-up"
xdotool type --delay 40 "a+b"
settles "typing a+b"
clickFrame 20 9
settles "the first click on Fichier"
xdotool key Escape
settles "Escape on the open menu"
clickFrame 66 9
settles "the click on Édition"
# "Rechercher & remplacer" is the tenth item of the menu.
xdotool key --delay 60 Down Down Down Down Down Down Down Down Down Down Return
findUp() { [[ -n $(named "Rechercher & remplacer") ]]; }
waitFor findUp || fail "the menu did not open, or its find command did not run"
settles "opening the find window"
# In the document window, away from the find window.
clickFrame 42 237
settles "the click in the document"

# Still answering: the copy of everything offers the program's own type on the clipboard.
xdotool key ctrl+a ctrl+c
offers() {
  timeout 5 xclip -o -selection clipboard -t TARGETS 2>/dev/null |
    grep -qx application/x-kv-Korvaline-Expression
}
waitFor offers || fail "the program does not answer a copy"
settles "the copy"

# Options > Palette... and then Escape alone: the dialog answers its keys from its first moment,
# though the control that comes first in it is one it disables while no button is chosen.
xdotool key alt+o
sleep 0.4
xdotool key p
customizeUp() { customize=$(named "Customize Palette" | head -1); [[ -n $customize ]]; }
waitFor customizeUp || fail "Options > Palette... opened no dialog"
customizeFocused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$customize" ]]; }
waitFor customizeFocused || fail "Customize Palette did not get the keyboard as it opened"
xdotool key Escape
customizeGone() { [[ -z $(named "Customize Palette") ]]; }
waitFor customizeGone || fail "Escape did not close Customize Palette at its first open"
settles "Escape on Customize Palette"
{
  kill -KILL "$pid"
  wait "$pid"
} 2>/dev/null
exit 0

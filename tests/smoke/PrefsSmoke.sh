#!/usr/bin/env bash
# Settings typed into the picture preference dialogs start the next run: an empty PostScript
# resolution (stored as 0) and a metafile resolution of 200000 are written to general.prf; the
# second start says nothing about a damaged file, and a setting changed then rewrites general.prf
# with both values as the first run left them (a file read as damaged would have lost them). A
# shipped file and an example folder the user removed after the first run stay removed at the next
# two starts.
# Usage: PrefsSmoke.sh PROGRAM WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
work=$2
smoke=prefs
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
start() {
  "$program" -nosplash >>"$work/program.log" 2>&1 &
  pid=$!
  waitFor mainWindow || fail "no main window"
  sleep 1.5
}
# Préférences > "Image Prefs..." > item $1 of that submenu opens the dialog titled $2 (a pattern).
openImagePrefs() {
  xdotool windowactivate --sync "$frame" 2>/dev/null
  xdotool key alt+p
  sleep 0.4
  xdotool key --delay 80 Down Down Down Down Right
  sleep 0.3
  for _ in $(seq $(($1 - 1))); do
    xdotool key Down
    sleep 0.1
  done
  xdotool key Return
  title=$2
  dialogUp() { dialog=$(named "$title"); [[ -n $dialog ]]; }
  waitFor dialogUp || fail "the dialog $title did not open"
  sleep 0.5
}
# Replaces the text of the edit at client point ($1, $2) of the dialog with $3, then OK.
typeAndOk() {
  xdotool mousemove --window "$dialog" "$1" "$2" click 1
  sleep 0.2
  xdotool key End
  for _ in $(seq 8); do xdotool key BackSpace; done
  [[ -n $3 ]] && xdotool type --delay 40 "$3"
  sleep 0.2
  xdotool key Return
  dialogGone() { [[ -z $(named "$title") ]]; }
  waitFor dialogGone || fail "the dialog $title did not close"
}
pictureRecords() { grep -a '^Ep\|^Mf' "$prefs"; }

start
[[ -z $(dialogs) ]] || fail "a box at the first start"
# The resolution edits lie at (12, 30) and (12, 24) dialog units, two pixels each.
openImagePrefs 1 "PostScript .EPS. Prefs"
typeAndOk 40 70 ""
openImagePrefs 3 "Metafile Prefs"
typeAndOk 40 58 "200000"
prefs=$(find "$work/data" -name general.prf | head -1)
[[ -n $prefs ]] || fail "no general.prf"
written=$(pictureRecords)
stop
folder=$(dirname "$prefs")
[[ -f $folder/TeX.cat && -d $folder/Examples/02_Calculus ]] || fail "the first start installed no shipped files"
rm -f "$folder/TeX.cat"
rm -rf "$folder/Examples/02_Calculus"
removedStayRemoved() {
  [[ ! -e $folder/TeX.cat ]] || fail "a start put back the TeX.cat the user removed"
  [[ ! -e $folder/Examples/02_Calculus ]] || fail "a start put back the example folder the user removed"
  [[ -f $folder/MathML.cat ]] || fail "a shipped file the user kept went"
}

start
[[ -z $(dialogs) ]] || fail "the second start shows a box (general.prf taken as damaged)"
openImagePrefs 2 "Bitmap Prefs"
typeAndOk 40 58 "150"
stop
[[ $(pictureRecords) == "$written" ]] || fail "the EPS and metafile settings were not kept"
removedStayRemoved
start
stop
removedStayRemoved
echo "prefs smoke: ok"

#!/usr/bin/env bash
# A save of a file another program holds locked (flock, as saves lock it) keeps the program
# answering: the window manager's pings are answered while the save waits for the lock, then a box
# says the file is in use and the file stays as it was (OK, the box's only button, writes nothing).
# Once the other program lets go, Ctrl+S saves. SIGTERM while a save waits still ends the program
# in order, with the unsaved document kept in the Recovered folder.
# Usage: SaveLockSmoke.sh PROGRAM WMCLIENT DOCUMENT WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
wmclient=$2
document=$3
work=$4
smoke=save-lock
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$work/docs"
doc=$work/docs/doc.pvx
cp "$document" "$doc"
holder=
stopHolder() { [[ -n $holder ]] && kill "$holder" 2>/dev/null && wait "$holder" 2>/dev/null; holder=; }
trap stopHolder EXIT
# Another program takes the file's lock and keeps it.
hold() {
  flock --no-fork "$doc" sleep 600 &
  holder=$!
  sleep 0.3
  flock -n "$doc" true && fail "the file was not locked"
}
boxUp() { [[ -n $(dialogs) ]]; }
noBox() { [[ -z $(dialogs) ]]; }

launch "$doc" || fail "no main window"
xdotool windowactivate --sync "$frame" 2>/dev/null
keyboardReady
xdotool type --delay 60 "y"
sleep 0.5
original=$(sha1sum <"$doc")

# The file held all along: pings answered while the save waits, then the box.
hold
start=$(ms)
xdotool key ctrl+s
for n in 1 2 3 4; do
  sleep 0.6
  boxUp && fail "the box came before the save had waited ($n)"
  "$wmclient" ping "$frame" 500 || fail "ping $n during the save's wait not answered"
done
waitFor boxUp || fail "no box after the wait"
took=$(($(ms) - start))
((took < 9000)) || fail "the box came after ${took} ms"
[[ $(sha1sum <"$doc") == "$original" ]] || fail "the held file was written"
box=$(dialogs | head -1)
"$wmclient" ping "$box" 2000 || fail "the box does not answer _NET_WM_PING"
xdotool windowactivate --sync "$box" 2>/dev/null
xdotool key Return
waitFor noBox || fail "the box did not go with Return"
[[ $(sha1sum <"$doc") == "$original" ]] || fail "the held file was written after the box"
left=$(cd "$work/docs" && echo *)
[[ $left == "doc.pvx" ]] || fail "files beside the document after the refused save: $left"

# Let go: the save goes through.
stopHolder
xdotool windowactivate --sync "$frame" 2>/dev/null
sleep 0.5
xdotool key ctrl+s
saved() { [[ $(sha1sum <"$doc") != "$original" ]]; }
waitFor saved || fail "Ctrl+S did not save once the file was let go"
boxUp && fail "a box came with the save of the free file"

# SIGTERM while a save waits: the program ends in order and keeps the document.
xdotool type --delay 60 "z"
sleep 0.5
hold
xdotool key ctrl+s
sleep 1
"$wmclient" ping "$frame" 1000 || fail "ping before SIGTERM during the wait not answered"
quickEndOnTerm "during the save's wait"
ls "$work/data/Tessaron/Korvaline_Prefs/Recovered/"*.pvx >/dev/null 2>&1 ||
  fail "the unsaved document was not kept when SIGTERM came during the save's wait"
stopHolder
echo "save lock smoke: ok"

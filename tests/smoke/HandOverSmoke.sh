#!/usr/bin/env bash
# Files reach the running copy whatever stands in the way. The first copy runs; hostile peers hold
# its socket (fifty silent connections, one that sends a byte at a time); a second copy started
# with a document named without an extension hands it over and ends at once, and the document
# opens with no alert. Typing goes into it; a third copy hands over the same file through a link:
# the window that holds it comes forward (no second window), typing goes on, Ctrl+S saves, and the
# file holds both edits.
# Usage: HandOverSmoke.sh PROGRAM CATTRANS TEXT_TRANSLATOR DOCUMENT WORKDIR (on a private X
# server: OnXvfb.sh). CATTRANS turns the saved file into text with TEXT_TRANSLATOR; DOCUMENT is a
# document whose text has no "y" and no "z".
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
cattrans=$2
translator=$3
document=$4
work=$5
smoke=hand-over
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
probe="$(dirname "$0")/SocketProbe.py"
socket="$XDG_RUNTIME_DIR/korvaline/KorvalineFileOpen"
cp "$document" "$work/notes"
ln -s notes "$work/link"

# Starts a later copy with FILE; it must hand the file over and end with status 0 within 10 s.
handOver() {
  timeout 10 "$program" -nosplash "$1" >>"$work/later.log" 2>&1
  local status=$?
  [[ $status -eq 0 ]] || fail "a later copy with $1 ended with status $status: $(cat "$work/later.log")"
}
# Types KEYS into the front document of the first copy.
typeIntoFirst() {
  xdotool windowactivate --sync "$frame" 2>/dev/null
  waitFor frameFocused || fail "the frame does not take the keyboard"
  sleep 0.3
  xdotool type --delay 60 "$1"
  sleep 0.5
}

"$program" -nosplash >"$work/program.log" 2>&1 &
pid=$!
waitFor mainWindow || fail "no main window"
[[ -S $socket ]] || fail "no socket at $socket"

python3 "$probe" flood "$socket" 50 30 >"$work/flood.log" 2>&1 &
flood=$!
python3 "$probe" slow "$socket" 30 >"$work/slow.log" 2>&1 &
slow=$!
trap 'kill $flood $slow 2>/dev/null' EXIT
waitFor grep -q holding "$work/flood.log" || fail "the flood did not start: $(cat "$work/flood.log")"
waitFor grep -q sending "$work/slow.log" || fail "the slow sender did not start: $(cat "$work/slow.log")"

handOver "$work/notes"
sleep 1
[[ -z $(dialogs) ]] || fail "an alert for a document named without an extension"
kill -0 "$pid" 2>/dev/null || fail "the first copy ended"
typeIntoFirst y

handOver "$work/link"
sleep 1
[[ -z $(dialogs) ]] || fail "an alert when the open file was handed over again"
typeIntoFirst z
before=$(stat -c %Y.%i "$work/notes")
xdotool key ctrl+s
saved() { [[ $(stat -c %Y.%i "$work/notes") != "$before" ]]; }
waitFor saved || fail "Ctrl+S did not save the document"
"$cattrans" "$translator" file "$work/notes" "$work/notes.txt" || fail "the saved file does not read"
text=$(head -1 "$work/notes.txt")
[[ $text == *y* && $text == *z* ]] || fail "the saved file lost an edit: [$text]"
[[ -L $work/link ]] || fail "the link was replaced"

endOnTerm
echo "hand-over smoke: ok"

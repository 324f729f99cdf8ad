#!/usr/bin/env bash
# The program answers its window manager and ends when told to. The window manager's close button
# on the frame of a changed document asks to save, as the program's own close does; the program
# answers pings while that question is up; kill -TERM then ends it within a second, without the
# question, with its preferences (general.prf) written and the unsaved document written whole into
# the preferences folder's Recovered folder and named on stderr with that file; a Ctrl+C (SIGINT)
# 5 ms after the SIGTERM waits for it. The next start offers the recovered file in a box, and
# SIGTERM while the box is up ends that start in order (status 0) without losing the offer. The
# start after it offers the file again; Oui opens it to the same expression (its encoding on the
# clipboard is the one typed), untitled and changed as the document was, so SIGTERM keeps it again
# in place of the copy it was opened from. A third start offers that copy; Non leaves it and an
# edit is kept again; the fourth start offers the edit, Non leaves both files where they are, and
# a fifth start offers nothing with both files still there. With Recovered made a plain file, the
# edit is kept elsewhere and stderr names where.
# Usage: EndingSmoke.sh PROGRAM WMCLIENT WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
wmclient=$2
work=$3
smoke=ending
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
recovered="$work/data/Tessaron/Korvaline_Prefs/Recovered"
question() { q=$(dialogs | head -1); [[ -n $q ]]; }
# Sends SIGTERM and waits up to one second (in tenths) for the end; sets `ended` and `status`.
terminate() {
  kill -TERM "$pid"
  ended=
  for _ in $(seq 10); do
    sleep 0.1
    if ! kill -0 "$pid" 2>/dev/null; then ended=1; break; fi
  done
  status=
  [[ -n $ended ]] || return 0
  wait "$pid" 2>/dev/null
  status=$?
}

# Starts the program with its output in the log named and waits for its main window; sets `pid`.
# Usage: startProgram LOG [" (which run)"]
startProgram() {
  "$program" -nosplash >"$work/$1" 2>&1 &
  pid=$!
  waitFor mainWindow || fail "no main window${2:-}"
}

startProgram program.log
keyboardReady
"$wmclient" ping "$frame" 2000 || fail "the frame does not answer _NET_WM_PING"

# A change, its encoding (through a copy), then the window manager's close button.
xdotool type --delay 40 "a+b"
sleep 0.5
xdotool key ctrl+a ctrl+c
waitFor offers "$own" || fail "nothing offered after a copy"
expected=$(clip "$own" | tr -d '\0')
[[ $expected == *"]|Expr|["* ]] || fail "no encoding offered: $expected"
"$wmclient" close "$frame"
waitFor question || fail "closing the frame of a changed document asks nothing"
"$wmclient" ping "$q" 2000 || fail "the save question does not answer _NET_WM_PING"
"$wmclient" ping "$frame" 2000 || fail "the frame does not answer _NET_WM_PING during the question"

prefs=$(find "$work" -name general.prf | head -1)
[[ -n $prefs ]] || fail "no general.prf after start-up"
rm -f "$prefs"
# SIGTERM, then Ctrl+C 5 ms later while the copy is written: the second waits for the copy.
kill -TERM "$pid"
sleep 0.005
kill -INT "$pid" 2>/dev/null
terminate
[[ -n $ended ]] || fail "still running a second after SIGTERM (the save question up)"
[[ $status -eq 0 ]] || fail "ended with status $status after SIGTERM"
[[ -f $prefs ]] || fail "general.prf not written at the end"
grep -q "Sans titre 1" "$work/program.log" || fail "the unsaved document is not named: $(cat "$work/program.log")"
kept=("$recovered"/*)
[[ ${#kept[@]} -eq 1 && -f ${kept[0]} ]] || fail "not one recovered file: ${kept[*]}"
[[ $(basename "${kept[0]}") =~ ^Sans\ titre\ 1\ [0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}-[0-9]{2}-[0-9]{2}\.pvx$ ]] ||
  fail "the recovered file's name lacks the document's name or the time: ${kept[0]}"
grep -qF "kept in ${kept[0]}" "$work/program.log" || fail "the recovered file is not named: $(cat "$work/program.log")"

# The next start offers the recovered file; SIGTERM while the box is up ends the program in order
# and leaves the offer for the start after it.
boxFocused() { [[ -n $q && $(xdotool getwindowfocus 2>/dev/null) == "$q" ]]; }
noQuestion() {
  sleep 3
  q=$(dialogs | head -1)
  [[ -z $q ]] || fail "a start offers again what was offered before"
}
startProgram program2.log " (second run)"
waitFor question || fail "the next start does not offer the recovered document"
waitFor boxFocused || fail "the offer does not take the keyboard"
terminate
[[ -n $ended ]] || fail "still running a second after SIGTERM (the offer up)"
[[ $status -eq 0 ]] || fail "ended with status $status after SIGTERM with the offer up"
after=("$recovered"/*)
[[ "${after[*]}" == "${kept[*]}" ]] || fail "the recovered files changed at the offer: ${after[*]}"

# Offered again; Oui opens it to the same expression (the start's own new document is empty),
# untitled and changed as it was: SIGTERM keeps it again, in place of the copy it came from.
startProgram program2b.log " (second run, again)"
waitFor question || fail "the start after SIGTERM at the offer does not offer it again"
waitFor boxFocused || fail "the offer does not take the keyboard (offered again)"
xdotool key Return
sleep 1
printf 'other' | xclip -selection clipboard -i
xdotool key ctrl+a ctrl+c
sameExpression() { [[ $(clip "$own" 2>/dev/null | tr -d '\0') == "$expected" ]]; }
waitFor sameExpression || fail "the recovered file holds [$(clip "$own" | tr -d '\0')], typed [$expected]"
[[ -z $(named "Sans titre 1 .*") ]] || fail "the recovered document opens under its copy's name"
terminate
[[ -n $ended ]] || fail "still running a second after SIGTERM (second run)"
[[ $status -eq 0 ]] || fail "ended with status $status after SIGTERM (second run)"
grep -qE '"Sans titre [0-9]+" was not saved' "$work/program2b.log" ||
  fail "the recovered document, changed and untitled, is not kept again: $(cat "$work/program2b.log")"
again=("$recovered"/*)
[[ ${#again[@]} -eq 1 && "${again[*]}" != "${kept[*]}" ]] ||
  fail "the recovered document is not kept in place of its copy: ${again[*]} (was ${kept[*]})"

# A third start offers that copy; Non leaves it, and an edit is kept again.
startProgram program3.log " (third run)"
waitFor question || fail "the third start does not offer the copy kept again"
waitFor boxFocused || fail "the offer does not take the keyboard (third run)"
xdotool key Tab space
gone() { [[ -z $(dialogs | head -1) ]]; }
waitFor gone || fail "Non does not close the offer (third run)"
waitFor frameFocused || fail "the frame does not take the keyboard (third run)"
xdotool type --delay 40 "c"
sleep 0.5
terminate
[[ -n $ended && $status -eq 0 ]] || fail "the third run does not end on SIGTERM"
kept=("$recovered"/*)
[[ ${#kept[@]} -eq 2 ]] || fail "the third run's edit is not kept: ${kept[*]}"

# The fourth start offers it; Non leaves both files where they are and a fifth start offers nothing.
startProgram program4.log " (fourth run)"
waitFor question || fail "the fourth start does not offer the recovered document"
waitFor boxFocused || fail "the offer does not take the keyboard (fourth run)"
xdotool key Tab space
waitFor gone || fail "Non does not close the offer"
sleep 1
terminate
[[ -n $ended && $status -eq 0 ]] || fail "the fourth run does not end on SIGTERM"
startProgram program5.log " (fifth run)"
noQuestion
after=("$recovered"/*)
[[ "${after[*]}" == "${kept[*]}" ]] || fail "the recovered files changed: ${after[*]} (were ${kept[*]})"

# With Recovered made a plain file, an edit is kept in the next place, and stderr says where.
waitFor frameFocused || fail "the frame does not take the keyboard (fifth run)"
rm -rf "$recovered"
echo "not a folder" >"$recovered"
xdotool type --delay 40 "d"
sleep 0.5
terminate
[[ -n $ended && $status -eq 0 ]] || fail "the fifth run does not end on SIGTERM"
where=$(sed -n 's/.*its changes are kept in \(.*\.pvx\) (.*could not take them)$/\1/p' "$work/program5.log")
[[ -n $where && -f $where ]] || fail "the edit is not kept elsewhere: $(cat "$work/program5.log")"
[[ $(cat "$recovered") == "not a folder" ]] || fail "the file in Recovered's place changed"
echo "ending smoke: ok"

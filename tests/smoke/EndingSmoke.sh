#!/usr/bin/env bash
# The program answers its window manager and ends when told to. The window manager's close button
# on the frame of a changed document asks to save, as the program's own close does; the program
# answers pings while that question is up; kill -TERM then ends it within a second, without the
# question, with its preferences (general.prf) written and the unsaved document named on stderr.
# A second run ends on SIGTERM with nothing changed and exits 0.
# Usage: EndingSmoke.sh PROGRAM WMCLIENT WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
wmclient=$2
work=$3
smoke=ending
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
# The program's visible windows whose type is a dialog.
dialogs() {
  local w
  for w in $(named ".*"); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG && echo "$w"
  done
}
question() { q=$(dialogs | head -1); [[ -n $q ]]; }
mainWindow() { frame=$(named Korvaline | head -1); [[ -n $frame ]]; }
# The frame has the keyboard: the program gives it once the window is viewable, with a window
# manager or without, and keys typed before that would be lost.
frameFocused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$frame" ]]; }
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

"$program" -nosplash >"$work/program.log" 2>&1 &
pid=$!
waitFor mainWindow || fail "no main window"
waitFor frameFocused || fail "the frame does not take the keyboard"
sleep 1
"$wmclient" ping "$frame" 2000 || fail "the frame does not answer _NET_WM_PING"

# A change, then the window manager's close button.
xdotool type --delay 40 "a+b"
sleep 0.5
"$wmclient" close "$frame"
waitFor question || fail "closing the frame of a changed document asks nothing"
"$wmclient" ping "$q" 2000 || fail "the save question does not answer _NET_WM_PING"
"$wmclient" ping "$frame" 2000 || fail "the frame does not answer _NET_WM_PING during the question"

prefs=$(find "$work" -name general.prf | head -1)
[[ -n $prefs ]] || fail "no general.prf after start-up"
rm -f "$prefs"
terminate
[[ -n $ended ]] || fail "still running a second after SIGTERM (the save question up)"
[[ $status -eq 0 ]] || fail "ended with status $status after SIGTERM"
[[ -f $prefs ]] || fail "general.prf not written at the end"
grep -q "Sans titre 1" "$work/program.log" || fail "the unsaved document is not named: $(cat "$work/program.log")"

# Nothing changed: SIGTERM ends at once too.
"$program" -nosplash >"$work/program2.log" 2>&1 &
pid=$!
waitFor mainWindow || fail "no main window (second run)"
sleep 1
terminate
[[ -n $ended ]] || fail "still running a second after SIGTERM (second run)"
[[ $status -eq 0 ]] || fail "ended with status $status after SIGTERM (second run)"
if grep -q "was not saved" "$work/program2.log"; then fail "an unchanged document named as unsaved"; fi
echo "ending smoke: ok"

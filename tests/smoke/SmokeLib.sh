# Shared by the smoke scripts that drive the program through its windows. Source it after setting
# `smoke` (the test's name in messages) and `work` (its folder, emptied here). It gives the program
# a private home and runtime folder, and:
#   fail MESSAGE    says what failed, shows the program's log, kills the copies started ($pid and
#                   $pid2) and ends the test
#   waitFor CMD...  retries CMD every 0.2 s for up to 30 s (the program answers at its own pace)
#   named TITLE     the visible windows of the program ($pid) with exactly this title (xdotool's
#                   conditions all at once: without --all it takes a window of the program or one
#                   with the title)
#   mainWindow      sets `frame` to the program's main window; false while there is none
#   frameFocused    the frame has the keyboard: the program gives it once the window is viewable,
#                   with a window manager or without, and keys typed before that would be lost
#   dialogs         the program's visible windows whose type is a dialog (alerts, message boxes)
#   endOnTerm       sends SIGTERM to $pid and fails unless the program ends within 30 s
#   stop            quits the way SIGTERM does (the preferences are written) and waits for the end
#   launch [ARG...] starts $program -nosplash with ARGs as $pid, its output in program.log,
#                   and waits for its main window (`frame`); false when none comes
#   keyboardReady   fails unless the frame takes the keyboard, then lets the program settle a second
#   quickEndOnTerm WHEN  sends SIGTERM to $pid and fails unless the program ends with status 0
#                   within 3 s; WHEN ("during a paste") ends the messages
#   saveWithCtrlS FILE  presses Ctrl+S; false unless FILE is replaced (new time or inode) within 30 s
#   ms              the clock in milliseconds
# and for the clipboard (clip waits $clipSeconds, default 5, for an answer):
#   clip TYPE       what the clipboard's owner gives as TYPE
#   own             the program's own type; offers TYPE / offersNot TYPE: the owner offers it or not
#   takeClipboard XCLIP_ARG...  another client (xclip) takes the clipboard; false unless the
#                   program stops offering its own type within 30 s
#   copyLongFormula N  pastes the one-row formula x0+x1+...+x(N-1) as text over the document and
#                   copies it; sets `long` to its text
rm -rf "$work" && mkdir -p "$work/home" "$work/run" && chmod 700 "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
pid=
pid2=
fail() {
  echo "$smoke smoke: $*" >&2
  [[ -f $work/program.log ]] && cat "$work/program.log" >&2
  [[ -n $pid$pid2 ]] && kill -KILL $pid $pid2 2>/dev/null
  exit 1
}
waitFor() {
  for _ in $(seq 150); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}
named() { xdotool search --all --onlyvisible --pid "$pid" --name "^$1\$" 2>/dev/null; }
mainWindow() { frame=$(named Korvaline | head -1); [[ -n $frame ]]; }
frameFocused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$frame" ]]; }
dialogs() {
  local w
  for w in $(named ".*"); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG && echo "$w"
  done
}
endOnTerm() {
  kill -TERM "$pid"
  waitFor bash -c "! kill -0 $pid 2>/dev/null" || fail "still running after SIGTERM"
}
stop() {
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null
  pid=
}
launch() {
  "$program" -nosplash "$@" >"$work/program.log" 2>&1 &
  pid=$!
  waitFor mainWindow
}
keyboardReady() {
  waitFor frameFocused || fail "the frame does not take the keyboard"
  sleep 1
}
quickEndOnTerm() {
  kill -TERM "$pid"
  for _ in $(seq 30); do
    sleep 0.1
    kill -0 "$pid" 2>/dev/null || break
  done
  kill -0 "$pid" 2>/dev/null && fail "still running 3 s after SIGTERM $1"
  wait "$pid"
  local status=$?
  pid=
  [[ $status -eq 0 ]] || fail "ended with status $status after SIGTERM $1"
}
replaced() { [[ $(stat -c %Y.%i "$1") != "$2" ]]; }
saveWithCtrlS() {
  local before
  before=$(stat -c %Y.%i "$1")
  xdotool key ctrl+s
  waitFor replaced "$1" "$before"
}
ms() { echo $(($(date +%s%N) / 1000000)); }
clip() { timeout "${clipSeconds:-5}" xclip -o -selection clipboard -t "$1"; }
own=application/x-kv-Korvaline-Expression
offers() { clip TARGETS 2>/dev/null | grep -qx "$1"; }
offersNot() { ! clip TARGETS 2>/dev/null | grep -qx "$1"; }
takeClipboard() {
  xclip -selection clipboard "$@"
  waitFor offersNot "$own"
}
copyLongFormula() {
  local i
  long=x0
  for i in $(seq 1 $(($1 - 1))); do long+="+x$i"; done
  printf '%s' "$long" | takeClipboard -i || fail "xclip did not take the clipboard with the long formula"
  xdotool key ctrl+a ctrl+v
  sleep 1
  xdotool key ctrl+a ctrl+c
  waitFor offers "$own" || fail "nothing offered after copying the long formula"
}

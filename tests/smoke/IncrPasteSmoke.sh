#!/usr/bin/env bash
# A clipboard owner that never ends its INCR transfer does not freeze the program: the paste gives
# up within its bound (about ten seconds) and pastes nothing, the window manager's pings are
# answered while it waits, and Escape gives it up at once. Keys typed meanwhile are served after.
# SIGTERM during such a paste still ends the program in order (preferences and unsaved work kept).
# Usage: IncrPasteSmoke.sh PROGRAM WMCLIENT OWNER WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
wmclient=$2
owner=$3
work=$4
smoke=incr-paste
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
logged() { grep -q "$2" "$1" 2>/dev/null; }
ownerPid=
stopOwner() { [[ -n $ownerPid ]] && kill "$ownerPid" 2>/dev/null; ownerPid=; }
trap stopOwner EXIT
# Starts an owner that sends a small chunk every 1.5 s for ever (each under the per-chunk wait).
startOwner() {
  "$owner" UTF8_STRING 1500 1000 >"$1" 2>&1 &
  ownerPid=$!
  waitFor logged "$1" "owner ready" || fail "the owner did not start"
}
# A copy after a paste takes the clipboard from the owner (log $1) once the paste is over: $3 (the
# paste) must end within $2 ms of $start and leave the document as it was.
copyAfterPaste() {
  xdotool key ctrl+a ctrl+c
  waitFor logged "$1" "lost ownership" || fail "$3 never ended"
  took=$(($(ms) - start))
  ((took < $2)) || fail "$3 took ${took} ms to end"
  [[ $(clip "$own" | tr -d '\0') == "$expected" ]] ||
    fail "the document changed after $3: [$(clip "$own" | tr -d '\0')], was [$expected]"
}

launch || fail "no main window"
keyboardReady
xdotool type --delay 40 "x"
xdotool key ctrl+a ctrl+c
waitFor offers "$own" || fail "nothing offered after a copy"
expected=$(clip "$own" | tr -d '\0')
[[ $expected == *"]|Expr|["* ]] || fail "no encoding offered: $expected"

# A paste from an owner that never ends: pings answered meanwhile, the paste given up in time, and
# nothing pasted.
startOwner "$work/owner1.log"
start=$(ms)
xdotool key ctrl+v
waitFor logged "$work/owner1.log" "transfer started" || fail "the paste asked nothing of the owner"
for n in 1 2 3; do
  sleep 1.5
  "$wmclient" ping "$frame" 2000 || fail "ping $n during the transfer not answered"
done
grep -q "chunk sent 3" "$work/owner1.log" || fail "the transfer stopped early: $(cat "$work/owner1.log")"
copyAfterPaste "$work/owner1.log" 16000 "the paste"
stopOwner

# Escape gives the paste up at once.
startOwner "$work/owner2.log"
xdotool key ctrl+v
waitFor logged "$work/owner2.log" "transfer started" || fail "the second paste asked nothing"
sleep 1
start=$(ms)
xdotool key Escape
copyAfterPaste "$work/owner2.log" 4000 "the paste given up with Escape"
stopOwner

# SIGTERM while a paste waits: the program still ends in order, with its preferences written and
# the unsaved document kept in the Recovered folder.
"$wmclient" ping "$frame" 2000 || fail "the frame does not answer _NET_WM_PING after the pastes"
startOwner "$work/owner3.log"
xdotool key ctrl+v
waitFor logged "$work/owner3.log" "transfer started" || fail "the third paste asked nothing"
sleep 1
prefs=$(find "$work/data" -name general.prf | head -1)
[[ -n $prefs ]] || fail "no general.prf after start-up"
rm -f "$prefs"
quickEndOnTerm "during a paste"
[[ -f $prefs ]] || fail "general.prf not written when SIGTERM came during a paste"
ls "$work/data/Tessaron/Korvaline_Prefs/Recovered/"*.pvx >/dev/null 2>&1 ||
  fail "the unsaved document was not recovered when SIGTERM came during a paste"
echo "incr paste smoke: ok"

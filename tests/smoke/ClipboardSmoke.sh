#!/usr/bin/env bash
# The editor on a real X server with a real clipboard client: a copy offers its types to other
# programs, the PNG it offers is valid (a one-line formula of 300 terms too, text and PNG), the metafile converts with emf2svg (when installed), an
# encoding another program puts on the clipboard (a large one, sent in pieces) or rich text holding
# it pastes back as the same expression, and a second copy of the editor pastes what the first
# copied. Every wait is bounded.
# Usage: ClipboardSmoke.sh PROGRAM WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
work=$2
smoke=clipboard
source "$(dirname "$0")/SmokeLib.sh"

launch || fail "no main window"
sleep 1

# Type, select everything, copy.
xdotool type --delay 40 "x+1"
xdotool key ctrl+a ctrl+c
waitFor offers "$own" || fail "nothing offered after a copy"
targets=$(clip TARGETS) || fail "no TARGETS answer"
for t in TARGETS UTF8_STRING image/png image/emf "$own"; do
  grep -qx "$t" <<<"$targets" || fail "type $t not offered: $targets"
done
clip image/png >"$work/copy.png" && pngcheck -q "$work/copy.png" || fail "the PNG does not pass pngcheck"
if command -v emf2svg-conv >/dev/null; then
  clip image/x-emf >"$work/copy.emf" || fail "no image/x-emf answer"
  emf2svg-conv -i "$work/copy.emf" -o "$work/copy.svg" && grep -q "<text" "$work/copy.svg" ||
    fail "the metafile does not convert with emf2svg"
fi
expected=$(clip "$own" | tr -d '\0')
[[ $expected == *"]|Expr|["* ]] || fail "no encoding offered: $expected"

# A formula of 300 terms on one line, pasted as text, copies whole: its text and its picture can
# both be read (the picture is drawn smaller than it would be, to fit the bitmap limit).
copyLongFormula 300
[[ $(clip UTF8_STRING | head -n 1) == "$long" ]] ||
  fail "the long formula's text is [$(clip UTF8_STRING | head -c 200)]"
clip image/png >"$work/long.png" && pngcheck -q "$work/long.png" ||
  fail "the long formula's PNG does not pass pngcheck"

# Cut empties the document (another client owned the clipboard before, so the program owning it
# again shows the cut was done).
printf 'other' | takeClipboard -i || fail "xclip did not take the clipboard"
xdotool key ctrl+a ctrl+x
waitFor offers "$own" || fail "nothing offered after a cut"

# Another client's text holding the encoding, far over one request's size, pastes back the same
# expression.
{ head -c 6000000 /dev/zero | tr '\0' ' '; printf '%s' "$expected"; } >"$work/big.txt"
takeClipboard -i "$work/big.txt" || fail "xclip did not take the clipboard"
xdotool key ctrl+a ctrl+v
pastedBack() {
  xdotool key ctrl+a ctrl+c
  sleep 0.3
  [[ $(clip "$own" 2>/dev/null | tr -d '\0') == "$expected" ]]
}
waitFor pastedBack || fail "pasted [$(clip "$own" | tr -d '\0')], expected [$expected]"

# Rich text from a word processor that kept the encoding token pastes back the same expression.
xdotool key ctrl+a ctrl+x
waitFor offers "$own" || fail "nothing offered after the second cut"
printf '{\\rtf1\\ansi {\\*\\kvexpr ]|Expr|[B64%s]|[}}' "$(printf '%s' "$expected" | base64 -w0)" \
  >"$work/eq.rtf"
takeClipboard -t text/rtf -i "$work/eq.rtf" || fail "xclip did not take the clipboard with rich text"
xdotool key ctrl+a ctrl+v
waitFor pastedBack || fail "rich text pasted [$(clip "$own" | tr -d '\0')], expected [$expected]"

# A second copy of the editor (its own home and run folder, so it does not hand over to the
# first) pastes what the first copied: it then copies its document, which is the same expression.
mkdir -p "$work/home2" "$work/run2" && chmod 700 "$work/run2"
HOME="$work/home2" XDG_RUNTIME_DIR="$work/run2" "$program" -nosplash >"$work/program2.log" 2>&1 &
pid2=$!
# Its visible main window (xdotool's conditions all at once: without --all the first copy's
# window, of the same title, would do).
secondUp() {
  frame2=$(xdotool search --all --onlyvisible --pid "$pid2" --name "^Korvaline$" 2>/dev/null |
    head -1)
  [[ -n $frame2 ]]
}
waitFor secondUp || fail "no main window of the second copy"
# The new main window takes the keyboard focus itself; keys typed before would go to the first.
secondFocused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$frame2" ]]; }
waitFor secondFocused || fail "the second copy does not take the keyboard"
sleep 1
# The keys are handled in order, so the copy comes after the paste has read the first's data.
xdotool key ctrl+v ctrl+a ctrl+c
# The first copy ends once the second has gone idle (its processor time, in clock ticks, stands
# nearly still for a second: the caret's blink costs a tick at most).
cpuTime() { awk '{print $14 + $15}' "/proc/$pid2/stat" 2>/dev/null || echo 0; }
idle=
for _ in $(seq 20); do
  before=$(cpuTime)
  sleep 1
  (($(cpuTime) - before <= 1)) && idle=1 && break
done
[[ -n $idle ]] || fail "the second copy never went idle"
{
  kill -KILL "$pid"
  wait "$pid"
} 2>/dev/null
# With the first copy gone, only the second can answer, and it must hold the same expression.
secondHasIt() { [[ $(clip "$own" 2>/dev/null | tr -d '\0') == "$expected" ]]; }
waitFor secondHasIt || fail "the second copy holds [$(clip "$own" | tr -d '\0')], expected [$expected]"
# The changed document would ask to be saved: the program is ended without asking.
{
  kill -KILL "$pid2"
  wait "$pid2"
} 2>/dev/null
exit 0

#!/usr/bin/env bash
# Japanese text under a Japanese locale that the system need not have installed: characters typed
# through the X server (XTest) become a double-byte word, a character the code page cannot hold
# (é) is refused, the saved file holds the word's double-byte record, and the file opened in a new
# run gives the same expression, the same picture and the same text on the clipboard. The code
# page of the settings file comes before the locale's: with 1252 there, Japanese is refused.
# Usage: DoubleByteSmoke.sh PROGRAM WORKDIR (on a private X server: OnXvfb.sh).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
work=$2
smoke=double-byte
source "$(dirname "$0")/SmokeLib.sh"
clip() { timeout 5 xclip -o -selection clipboard -t "$1"; }
own=application/x-kv-Korvaline-Expression
offers() { clip TARGETS 2>/dev/null | grep -qx "$own"; }
offersNot() { ! clip TARGETS 2>/dev/null | grep -qx "$own"; }
# The program under the Japanese locale; xdotool reads its own text in an installed UTF-8 locale.
start() {
  env -u LC_ALL -u LC_CTYPE LANG=ja_JP.UTF-8 "$program" -nosplash "$@" >>"$work/program.log" 2>&1 &
  pid=$!
}
typeText() { LC_ALL=C.UTF-8 xdotool type --delay 80 "$1"; }
mainWindow() {
  kill -0 "$pid" 2>/dev/null || fail "the program ended at start-up"
  [[ -n $(named Korvaline) ]]
}
# Copies the whole document once another client has taken the clipboard, and keeps what the
# program offers: the encoding, the PNG picture and the text.
copyAll() {
  printf 'other' | xclip -selection clipboard -i
  waitFor offersNot || fail "xclip did not take the clipboard"
  xdotool key ctrl+a ctrl+c
  waitFor offers || fail "nothing offered after a copy ($1)"
  clip "$own" | tr -d '\0' >"$work/$1.expr"
  clip image/png >"$work/$1.png" || fail "no PNG offered ($1)"
  clip UTF8_STRING | head -1 >"$work/$1.txt"
}

start
waitFor mainWindow || fail "no main window within 30 s"
sleep 1
typeText "x日本é"
copyAll typed
[[ $(cat "$work/typed.txt") == "x日本" ]] || fail "typed text is [$(cat "$work/typed.txt")], not [x日本]"
# 日本 in code page 932 is 93 FA 96 7B: a record of two characters.
grep -q '~"' "$work/typed.expr" || fail "no double-byte record: $(cat "$work/typed.expr")"

xdotool key ctrl+s
saveDialog() { [[ -n $(named "Enregistrer sous") ]]; }
waitFor saveDialog || fail "no save dialog"
sleep 0.5
typeText "$work/ja.pvx"
xdotool key Return
saved() { [[ -s $work/ja.pvx ]] && grep -aq ']|\[' "$work/ja.pvx"; }
waitFor saved || fail "the document was not saved"
grep -aq '~"' "$work/ja.pvx" || fail "the saved file has no double-byte record: $(cat "$work/ja.pvx")"
stop

start "$work/ja.pvx"
waitFor mainWindow || fail "no main window in the second run"
# The document window is inside the frame: the copy below shows what it holds.
sleep 2
copyAll reopened
cmp -s "$work/typed.expr" "$work/reopened.expr" ||
  fail "reopened as [$(cat "$work/reopened.expr")], typed [$(cat "$work/typed.expr")]"
cmp -s "$work/typed.png" "$work/reopened.png" || fail "the reopened picture differs"
[[ $(cat "$work/reopened.txt") == "x日本" ]] || fail "reopened text is [$(cat "$work/reopened.txt")]"
stop

mkdir -p "$work/settings"
printf '[HKEY_CURRENT_USER\\Software\\Brindlewick]\n"CodePage"=dword:000004e4\n' \
  >"$work/settings/registry.ini"
export KV_REGISTRY_DIR=$work/settings
start
waitFor mainWindow || fail "no main window in the third run"
sleep 1
typeText "日y本"
copyAll western
[[ $(cat "$work/western.txt") == "y" ]] || fail "with code page 1252 set, typed [$(cat "$work/western.txt")]"
stop
exit 0

#!/usr/bin/env bash
# Japanese text under a Japanese locale that the system need not have installed: characters typed
# through the X server (XTest) become a double-byte word, a character the code page cannot hold
# (é) is refused, half-width katakana (single bytes of the page) copy out as themselves, the saved
# file holds the word's double-byte record, and the file opened in a new run gives the same
# expression, the same picture and the same text on the clipboard. 1,000 pasted characters are
# saved and come back whole. The code page of the settings file comes before the locale's: with
# 1252 there, Japanese is refused.
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
# A character the keyboard map lacks is given a spare key code of its own first (xmodmap), and kept:
# left to xdotool, the code is mapped for the one key press and taken back at once, and a program
# still catching up with the map (a loaded machine) then reads the key as the code's old meaning.
spareKey=200
typeText() {
  local LC_ALL=C.UTF-8 text=$1 i c code
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    [[ $c == [[:print:]] && $(printf '%s' "$c" | LC_ALL=C wc -c) -eq 1 ]] && continue
    code=$(printf '%s' "$c" | iconv -f UTF-8 -t UTF-32BE | od -An -tx1 | tr -d ' \n' | sed 's/^0*//')
    xmodmap -pke | grep -qi "= U0*$code\b" && continue
    xmodmap -e "keycode $spareKey = U$code" && spareKey=$((spareKey + 1))
  done
  sleep 0.2
  xdotool type --delay 80 "$text"
}
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
typeText "x日本éｱｲ"
copyAll typed
[[ $(cat "$work/typed.txt") == "x日本ｱｲ" ]] || fail "typed text is [$(cat "$work/typed.txt")], not [x日本ｱｲ]"
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
[[ $(cat "$work/reopened.txt") == "x日本ｱｲ" ]] || fail "reopened text is [$(cat "$work/reopened.txt")]"
stop

# Files named in Japanese: one opens from the command line and saves under its own name, and a
# second copy hands the other over to the running one. 表 ends in the byte of a backslash in the
# code page, where a path must not be cut.
cp "$work/ja.pvx" "$work/数式.pvx"
cp "$work/ja.pvx" "$work/表.pvx"
start "$work/数式.pvx"
waitFor mainWindow || fail "no main window with 数式.pvx"
sleep 2
[[ -z $(dialogs) ]] || fail "a box opened for 数式.pvx"
copyAll named
cmp -s "$work/typed.expr" "$work/named.expr" || fail "数式.pvx opened as [$(cat "$work/named.expr")]"
first=$(stat -c %i "$work/数式.pvx")
xdotool key End x BackSpace ctrl+s
namedSaved() { [[ $(stat -c %i "$work/数式.pvx") != "$first" ]]; }
waitFor namedSaved || fail "数式.pvx was not saved under its own name"
env -u LC_ALL -u LC_CTYPE LANG=ja_JP.UTF-8 timeout 20 "$program" -nosplash "$work/表.pvx" \
  >>"$work/program.log" 2>&1 || fail "the second copy did not hand 表.pvx over"
sleep 2
[[ -z $(dialogs) ]] || fail "a box opened for the handed-over 表.pvx"
copyAll handed
cmp -s "$work/typed.expr" "$work/handed.expr" || fail "表.pvx opened as [$(cat "$work/handed.expr")]"
unexpected=$(ls "$work" | grep -e '\.pvx$' | grep -v -x -e ja.pvx -e 数式.pvx -e 表.pvx)
[[ -z $unexpected ]] || fail "documents under other names: $unexpected"
stop

# 1,000 characters pasted from another program (more than one double-byte word holds), saved with
# Ctrl+S, opened in a new run and saved again: every character comes back, in order. The files are
# read here: each double-byte record is "~", its count of characters and each character's code
# (lead byte low) as compact numbers, then "L}".
doubleByteText() {
  python3 - "$1" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read().decode('latin-1')
def number(i):
    lead = ord(data[i])
    if 0x20 <= lead <= 0x60:
        v = lead - 0x20
        return (v - 64 if v >= 32 else v), i + 1
    digits = lead - ord('a') + 1
    if not 2 <= digits <= 6:
        sys.exit('not a number at %d' % i)
    v = 0
    for k in range(digits):
        v = v << 6 | (ord(data[i + 1 + k]) - 0x20)
    bits = 6 * digits
    return (v - (1 << bits) if v >> (bits - 1) else v), i + 1 + digits
text = bytearray()
i = data.find('~')
while i >= 0:
    count, i = number(i + 1)
    for _ in range(count):
        code, i = number(i)
        text += bytes([code & 0xFF, (code >> 8) & 0xFF])
    if data[i:i + 2] != 'L}':
        sys.exit('a double-byte record does not end at %d' % i)
    i = data.find('~', i)
sys.stdout.write(text.decode('cp932'))
EOF
}
chars=(日 本 語 表 ソ ア 数 式 ぁ)
long=
for ((i = 0; i < 1000; i++)); do long+=${chars[i % 9]}; done
start
waitFor mainWindow || fail "no main window in the long-text run"
sleep 1
printf '%s' "$long" | LC_ALL=C.UTF-8 xclip -selection clipboard -i
waitFor offersNot || fail "xclip did not take the clipboard with the long text"
xdotool key ctrl+v
sleep 1
xdotool key ctrl+s
waitFor saveDialog || fail "no save dialog for the long text"
sleep 0.5
typeText "$work/long.pvx"
xdotool key Return
longSaved() { [[ -s $work/long.pvx ]] && grep -aq ']|\[' "$work/long.pvx"; }
waitFor longSaved || fail "the long text was not saved"
text=$(doubleByteText "$work/long.pvx" 2>&1) || fail "the saved file cannot be read: $text"
[[ $text == "$long" ]] || fail "saved ${#text} characters: [${text:0:40}...]"
stop
start "$work/long.pvx"
waitFor mainWindow || fail "no main window when the long text is opened"
sleep 2
[[ -z $(dialogs) ]] || fail "a box opened with the long text"
# A character typed and taken back makes the document one to save; the save replaces the file.
first=$(stat -c %i "$work/long.pvx")
xdotool key End x BackSpace ctrl+s
resaved() { [[ $(stat -c %i "$work/long.pvx") != "$first" ]]; }
waitFor resaved || fail "the reopened long text was not saved"
text=$(doubleByteText "$work/long.pvx" 2>&1) || fail "the file saved again cannot be read: $text"
[[ $text == "$long" ]] || fail "reopened and saved ${#text} characters: [${text:0:40}...]"
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

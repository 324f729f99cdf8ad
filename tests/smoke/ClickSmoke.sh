#!/usr/bin/env bash
# A click beside a formula leaves the caret at its end or its start, at every height. The program
# opens a document that holds a fraction as its last item; clicks right of the formula, level with
# the numerator, the bar, the denominator and above and below them, each followed by a "y", and
# clicks left of it, each followed by a "z", then Ctrl+S. The saved text is the formula as it was
# with every "z" before it and every "y" after it: no key went into a slot or replaced anything.
# Then it opens a row of big operators and clicks below it, and types a pile of lines and a
# square root over the first document and clicks at their edges (see the end).
# Usage: ClickSmoke.sh PROGRAM WMCLIENT CATTRANS TEXT_TRANSLATOR DOCUMENT OPERATORS WORKDIR (on a
# private X server: OnXvfb.sh). DOCUMENT ends in a fraction and its text has no "y" and no "z";
# OPERATORS is a row of big operators whose text has no "y".
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
wmclient=$2
cattrans=$3
translator=$4
document=$5
operators=$6
work=$7
smoke=click
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$work/docs"
cp "$document" "$work/docs/doc.pvx"
"$cattrans" "$translator" file "$work/docs/doc.pvx" "$work/before.txt" || fail "the document does not read"

launch "$work/docs/doc.pvx" || fail "no main window"
xdotool windowactivate --sync "$frame" 2>/dev/null
# The page of the document and the formula's ink on it, in the frame's coordinates.
drawn() { read -r pl pt pr pb il it ir ib < <("$wmclient" ink "$frame") && ((ir > il)); }
waitFor drawn || fail "no formula drawn"
((ir + 12 < pr && il - 4 > pl)) || fail "no room beside the formula: page $pl,$pt-$pr,$pb ink $il,$it-$ir,$ib"
clicks=0
# Each click beside the formula as it is drawn then: the letters typed before widen it.
clickBeside() {
  local side=$1 dy=$2 letter=$3
  # Apart in time: no double click.
  sleep 0.6
  drawn || fail "the formula went"
  local x=$((il - 3))
  [[ $side == right ]] && x=$((ir + 3))
  [[ $side == far ]] && x=$((pr - 10))
  xdotool mousemove --window "$frame" "$x" $((it + dy)) click 1
  sleep 0.2
  xdotool type --delay 40 "$letter"
  clicks=$((clicks + 1))
}
height=$((ib - it))
ys=""
for ((dy = -2; dy <= height + 1; dy += 5)); do
  clickBeside right "$dy" y
  clickBeside far "$dy" y
  ys+="yy"
done
zs=""
for ((dy = -2; dy <= height + 1; dy += 5)); do
  clickBeside left "$dy" z
  zs+="z"
done
saveWithCtrlS "$work/docs/doc.pvx" || fail "Ctrl+S did not save the document"
endOnTerm
pid=
"$cattrans" "$translator" file "$work/docs/doc.pvx" "$work/after.txt" || fail "the saved file does not read"
was=$(head -1 "$work/before.txt" | tr -d ' ')
now=$(head -1 "$work/after.txt" | tr -d ' ')
want="$zs$was$ys"
[[ $now == "$want" ]] || fail "after $clicks clicks beside the formula the text is [$now], not [$want]"

# On and below a row of big operators (limits above and below, and as scripts): clicks every 10 px
# across the formula at the height of its middle (over the signs) and every 30 px 1 to 19 px
# below it, each
# followed by a "y", then Ctrl+S. No key went into an operator's own sign and nothing was
# replaced: without the "y"s the saved text is the text it had.
cp "$operators" "$work/docs/ops.pvx"
"$cattrans" "$translator" file "$work/docs/ops.pvx" "$work/ops-before.txt" ||
  fail "the operators document does not read"
launch "$work/docs/ops.pvx" || fail "no main window for the operators"
xdotool windowactivate --sync "$frame" 2>/dev/null
waitFor drawn || fail "no operators drawn"
below=0
width=$((ir - il))
for ((step = 0; step < width; step += 10)); do
  for where in middle below; do
    # Below it at every third step only.
    [[ $where == below ]] && ((step % 30 != 0)) && continue
    sleep 0.6
    drawn || fail "the operators went"
    # Along the formula as it is drawn now, widened by the letters typed before.
    y=$(((it + ib) / 2))
    [[ $where == below ]] && y=$((ib + 1 + step % 19))
    xdotool mousemove --window "$frame" $((il + (ir - il) * step / width)) "$y" click 1
    sleep 0.2
    xdotool type --delay 40 y
    below=$((below + 1))
  done
done
saveWithCtrlS "$work/docs/ops.pvx" || fail "Ctrl+S did not save the operators"
endOnTerm
pid=
"$cattrans" "$translator" file "$work/docs/ops.pvx" "$work/ops-after.txt" ||
  fail "the saved operators do not read"
was=$(head -1 "$work/ops-before.txt")
now=$(head -1 "$work/ops-after.txt")
typed=${now//[^y]/}
((${#typed} == below)) || fail "$below clicks on and below the operators typed ${#typed} letters: [$now]"
[[ ${now//[ y]/} == "${was// /}" ]] || fail "clicks on and below the operators changed [$was] into [$now]"
# A letter in a sign's slot stands after the operator's name, or before its lower limit.
if [[ $now =~ (sum|prod|union|intersect)\ *y|y\ *_\( ]]; then
  fail "a click on or below the operators typed into an operator's sign: [$now]"
fi

# Three lines made with Enter, the first and the last ending in a fraction, typed over the first
# document: clicks at a quarter, the middle and three quarters of the formula's width on the pixel
# rows from a few above its ink down to its top (where the pile's own edge lies), each followed by
# a "u", and from its bottom to a few below it, each followed by a "v". Every "u" goes into the
# first line and every "v" into the last: no new line, nothing before or after the pile.
cp "$document" "$work/docs/pile.pvx"
launch "$work/docs/pile.pvx" || fail "no main window for the pile"
xdotool windowactivate --sync "$frame" 2>/dev/null
keyboardReady
waitFor drawn || fail "no formula drawn before the pile"
xdotool key ctrl+a
xdotool type --delay 40 "a="
xdotool key ctrl+slash
xdotool type --delay 40 p
xdotool key Tab
xdotool type --delay 40 q
xdotool key Right Return
xdotool type --delay 40 cd
xdotool key Return
xdotool type --delay 40 "y="
xdotool key ctrl+slash
xdotool type --delay 40 r
xdotool key Tab
xdotool type --delay 40 s
xdotool key Right
saveWithCtrlS "$work/docs/pile.pvx" || fail "Ctrl+S did not save the pile"
"$cattrans" "$translator" file "$work/docs/pile.pvx" "$work/pile-before.txt" || fail "the pile does not read"
was=$(head -1 "$work/pile-before.txt" | tr -d ' ')
[[ $was == "[a=(p)/(q);cd;y=(r)/(s)]" ]] || fail "the typed pile is [$was]"
edges=0
for dy in -6 -4 -2 0 1 3 5 7; do
  letter=u
  ((dy > 0)) && letter=v
  for quarter in 1 2 3; do
    sleep 0.6
    drawn || fail "the pile went"
    y=$((it + dy))
    ((dy > 0)) && y=$((ib - 2 + dy))
    xdotool mousemove --window "$frame" $((il + (ir - il) * quarter / 4)) "$y" click 1
    sleep 0.2
    xdotool type --delay 40 "$letter"
    edges=$((edges + 1))
  done
done
saveWithCtrlS "$work/docs/pile.pvx" || fail "Ctrl+S did not save the pile after the clicks"
endOnTerm
pid=
"$cattrans" "$translator" file "$work/docs/pile.pvx" "$work/pile-after.txt" || fail "the clicked pile does not read"
now=$(head -1 "$work/pile-after.txt" | tr -d ' ')
[[ ${now//[uv]/} == "$was" ]] || fail "$edges clicks at the pile's edges changed [$was] into [$now]"
inLines='^\[[^;v]*;cd;[^;u]*\]$'
[[ $now =~ $inLines ]] ||
  fail "a click at the pile's edges typed outside its first or last line: [$now]"
typed=${now//[^uv]/}
((${#typed} == edges)) || fail "$edges clicks at the pile's edges typed ${#typed} letters: [$now]"

# A square root whose index is left empty: clicks over its sign and above it, left of the
# radicand, each followed by a "k" that is taken back with Ctrl+Z after the document is saved. No
# key goes into the index, which draws nothing: the saved text never has a root with an index.
launch "$work/docs/pile.pvx" || fail "no main window for the root"
xdotool windowactivate --sync "$frame" 2>/dev/null
keyboardReady
waitFor drawn || fail "no formula drawn before the root"
xdotool key ctrl+a
xdotool type --delay 40 "y="
xdotool key ctrl+r
xdotool type --delay 40 "x+1"
# Out of the radicand, past the empty index.
xdotool key Right Right
xdotool type --delay 40 "+w"
saveWithCtrlS "$work/docs/pile.pvx" || fail "Ctrl+S did not save the root"
"$cattrans" "$translator" file "$work/docs/pile.pvx" "$work/root-before.txt" || fail "the root does not read"
was=$(head -1 "$work/root-before.txt" | tr -d ' ')
[[ $was == "y=sqrt(x+1)+w" ]] || fail "the typed root is [$was]"
drawn || fail "the root went"
# The sign stands after "y =", between a sixth and two fifths of the formula's width.
onSign=0
for ((x = il + (ir - il) / 6; x < il + (ir - il) * 2 / 5; x += 3)); do
  for dy in -2 3 8; do
    sleep 0.6
    xdotool mousemove --window "$frame" "$x" $((it + dy)) click 1
    sleep 0.2
    xdotool type --delay 40 k
    saveWithCtrlS "$work/docs/pile.pvx" || fail "Ctrl+S did not save after a click on the root"
    "$cattrans" "$translator" file "$work/docs/pile.pvx" "$work/root-after.txt" ||
      fail "the root after a click does not read"
    now=$(head -1 "$work/root-after.txt" | tr -d ' ')
    [[ $now == *sqrt* && ${now//k/} == "$was" ]] ||
      fail "a click at $x,$((it + dy)) over the root's sign, then k, made [$now] of [$was]"
    xdotool key ctrl+z
    onSign=$((onSign + 1))
  done
done
endOnTerm
pid=
echo "click smoke: ok ($clicks clicks beside the formula, $below on and below the operators," \
  "$edges at a pile's edges, $onSign over a root's sign)"

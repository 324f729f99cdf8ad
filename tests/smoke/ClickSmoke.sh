#!/usr/bin/env bash
# A click beside a formula leaves the caret at its end or its start, at every height. The program
# opens a document that holds a fraction as its last item; clicks right of the formula, level with
# the numerator, the bar, the denominator and above and below them, each followed by a "y", and
# clicks left of it, each followed by a "z", then Ctrl+S. The saved text is the formula as it was
# with every "z" before it and every "y" after it: no key went into a slot or replaced anything.
# Then it opens a row of big operators and clicks below it (see the end).
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
echo "click smoke: ok ($clicks clicks beside the formula, $below on and below the operators)"

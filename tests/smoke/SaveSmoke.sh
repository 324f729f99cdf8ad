#!/usr/bin/env bash
# Saves keep every file of the user's. Beside the document stands a file of the user's own with a
# save's sibling name and no permission at all. Two runs of the program each open the document,
# take a typed edit and save it with Ctrl+S: the document holds both edits, the user's file is
# there after each run exactly as it was, and no other file is left beside them.
# Usage: SaveSmoke.sh PROGRAM CATTRANS TEXT_TRANSLATOR DOCUMENT WORKDIR (on a private X server:
# OnXvfb.sh). CATTRANS turns the saved file into text with TEXT_TRANSLATOR; DOCUMENT is a document
# whose text has no "y" and no "z".
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
cattrans=$2
translator=$3
document=$4
work=$5
smoke=save
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$work/docs"
cp "$document" "$work/docs/doc.pvx"
printf 'mine' >"$work/docs/doc.0"
chmod 000 "$work/docs/doc.0"

for edit in y z; do
  launch "$work/docs/doc.pvx" || fail "no main window (run $edit)"
  xdotool windowactivate --sync "$frame" 2>/dev/null
  sleep 1
  xdotool type --delay 60 "$edit"
  sleep 0.5
  saveWithCtrlS "$work/docs/doc.pvx" || fail "Ctrl+S did not save the document (run $edit)"
  [[ -f $work/docs/doc.0 ]] || fail "the save removed the user's doc.0 (run $edit)"
  [[ $(stat -c %a "$work/docs/doc.0") == 0 ]] || fail "the save changed the user's doc.0"
  [[ $(stat -c %s "$work/docs/doc.0") == 4 ]] || fail "the save changed what doc.0 holds"
  left=$(cd "$work/docs" && echo *)
  [[ $left == "doc.0 doc.pvx" ]] || fail "files beside the document after the save: $left"
  endOnTerm
  pid=
done
"$cattrans" "$translator" file "$work/docs/doc.pvx" "$work/doc.txt" || fail "the saved file does not read"
text=$(head -1 "$work/doc.txt")
[[ $text == *y* && $text == *z* ]] || fail "the saved file lost an edit: [$text]"
echo "save smoke: ok"

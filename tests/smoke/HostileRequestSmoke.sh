#!/usr/bin/env bash
# Another program that asks the editor for a large picture thousands of times and reads none of it
# does not take the editor down: a copy of a formula whose metafile is near 1 MB, then 4,000
# MULTIPLE pairs for image/emf from 20 windows, never read. The editor answers, converting some
# pairs and refusing those past its bounds (one client never takes every transfer: another
# program's paste is served meanwhile), keeps answering the window manager's pings while the
# requests stay unread, frees what they held as soon as their windows are gone (a new requestor
# right after is served in full), refuses plain requests past its bound the same way, still hands
# the whole picture and the text to a normal paste, and ends on SIGTERM. Then a copy of a formula
# whose metafile takes a while to draw (near 50 MB): the first request gets it whole, and pings
# are answered within a second while it is drawn.
# Usage: HostileRequestSmoke.sh PROGRAM WMCLIENT REQUESTOR WORKDIR (on a private X server).
set -u
[[ -n ${KV_SMOKE_TRACE:-} ]] && set -x
program=$1
wmclient=$2
requestor=$3
work=$4
smoke=hostile-request
source "$(dirname "$0")/SmokeLib.sh"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
clipSeconds=10
# Runs the requestor: WINDOWS PAIRS HOLD_MS; sets answered, accepted and most.
ask() {
  local out
  out=$("$requestor" image/emf "$@") || fail "the requests were not all answered: $out"
  read -r _ answered _ accepted _ most <<<"$out"
}

launch || fail "no main window"
keyboardReady

# A one-row formula of 3,300 terms, pasted as text and copied: its metafile is near 1 MB.
copyLongFormula 3300
size=$(clip image/emf | wc -c)
((size > 800000)) || fail "the metafile has $size bytes"

# 4,000 pairs from 20 windows, never read, held for 3 s: pings are answered meanwhile.
"$requestor" image/emf 20 200 3000 >"$work/first.out" 2>&1 &
first=$!
waitFor grep -q answered "$work/first.out" || fail "the first requestor did not start"
read -r _ answered _ accepted _ most <"$work/first.out"
((answered == 20)) || fail "$answered of the 20 MULTIPLE requests answered"
((accepted > 0 && accepted < 4000)) || fail "$accepted of 4,000 pairs converted"
((most < 200)) || fail "one window had all its $most pairs converted"
"$wmclient" ping "$frame" 3000 || fail "ping not answered while the requests are unread"
((size == $(clip image/emf | wc -c))) || fail "another program's paste refused while one holds transfers"
wait "$first" || fail "the first requestor failed: $(cat "$work/first.out")"

# Its windows are gone: a new requestor (well within the time an unread transfer is kept) is
# served in full.
ask 1 40 0
((answered == 1 && accepted == 40)) || fail "after the first requestor ended, $accepted of 40 pairs"

# 300 plain requests from one window, never read: those past the bound for one window are refused;
# a requestor after it is served in full.
ask 1 300 0 plain
((answered == 300 && accepted > 0 && accepted < 300)) ||
  fail "$accepted of 300 plain requests converted ($answered answered)"
ask 1 40 0 plain
((answered == 40 && accepted == 40)) || fail "after the plain requests, $accepted of 40 converted"

# A normal paste still gets the whole picture and the text.
((size == $(clip image/emf | wc -c))) || fail "a later paste of the picture is not whole"
[[ $(clip UTF8_STRING | head -n 1) == "$long" ]] || fail "a later paste of the text differs"
"$wmclient" ping "$frame" 3000 || fail "ping not answered after the requests"

# A formula of 150,000 terms: its metafile (near 50 MB) takes a second or more to draw on its first
# request, which gets it whole; pings sent all along are each answered. The bound here is 5 s, not
# the 1 s the program aims at: a loaded test machine stalls a well-behaved program for a second now
# and then, while a drawing that blocks the pings holds them for many seconds, which 5 s still
# catches. The 1 s target is measured by bench/SelectionLoadBench.cpp.
clipSeconds=60
copyLongFormula 150000
clip image/emf >"$work/large.emf" &
reader=$!
pings=0
while kill -0 "$reader" 2>/dev/null; do
  "$wmclient" ping "$frame" 5000 || fail "a ping waited more than 5 s while the picture was drawn"
  pings=$((pings + 1))
done
wait "$reader" || fail "the first request of the large picture failed"
large=$(wc -c <"$work/large.emf")
((large > 40000000)) || fail "the large picture has $large bytes"
((large == $(clip image/emf | wc -c))) || fail "the large picture differs on a second request"
((pings > 0)) || fail "no ping was sent while the picture was drawn"
grep -q "AddressSanitizer\|runtime error" "$work/program.log" && fail "sanitizer report"
endOnTerm
exit 0

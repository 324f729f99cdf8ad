# Shared by the smoke scripts that drive the program through its windows. Source it after setting
# `smoke` (the test's name in messages) and `work` (its folder, emptied here). It gives the program
# a private home and runtime folder, and:
#   fail MESSAGE    says what failed, shows the program's log, kills the copies started ($pid and
#                   $pid2) and ends the test
#   waitFor CMD...  retries CMD every 0.2 s for up to 30 s (the program answers at its own pace)
#   named TITLE     the visible windows of the program ($pid) with exactly this title (xdotool's
#                   conditions all at once: without --all it takes a window of the program or one
#                   with the title)
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

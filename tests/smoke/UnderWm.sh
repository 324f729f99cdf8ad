#!/usr/bin/env bash
# Runs a command on the X display of DISPLAY under a window manager, as on a user's desktop: the
# window manager is started with a home of its own (no user configuration), the command runs once
# it has taken the root window (its _NET_SUPPORTING_WM_CHECK window is up), and the window manager
# is stopped afterwards. The command's exit status is the script's; it finds the window manager's
# process id in KV_WM_PID.
# Usage: UnderWm.sh WM COMMAND [ARGUMENT...]   (under xvfb-run; WM "none" runs the command alone)
set -u
wm=$1
shift
[[ $wm == none ]] && exec "$@"

wmHome=$(mktemp -d) || exit 1
HOME="$wmHome" "$wm" >"$wmHome/wm.log" 2>&1 &
wmPid=$!
stopWm() {
  kill -TERM "$wmPid" 2>/dev/null
  # A window manager that does not end within two seconds is killed.
  for _ in $(seq 20); do
    kill -0 "$wmPid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$wmPid" 2>/dev/null
  wait "$wmPid" 2>/dev/null
  rm -rf "$wmHome"
}

# The window manager has taken the root when the root names its check window and that window
# names itself the same way.
managed() {
  local check
  check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '/window id/ {print $NF}')
  [[ -n $check ]] && xprop -id "$check" _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "$check"
}
up=
for _ in $(seq 100); do
  managed && up=1 && break
  if ! kill -0 "$wmPid" 2>/dev/null; then
    echo "under $wm: the window manager ended before taking the display:" >&2
    cat "$wmHome/wm.log" >&2
    rm -rf "$wmHome"
    exit 1
  fi
  sleep 0.1
done
if [[ -z $up ]]; then
  echo "under $wm: the window manager did not take the display within 10 s" >&2
  stopWm
  exit 1
fi

# The command may watch the window manager (whether it still runs, where it is stuck).
KV_WM_PID=$wmPid "$@"
status=$?
stopWm
exit "$status"

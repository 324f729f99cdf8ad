#!/usr/bin/env bash
# Runs a command on the X display of DISPLAY under a window manager, as on a user's desktop: the
# window manager is started with a home of its own (no user configuration), the command runs once
# it has taken the root window (its _NET_SUPPORTING_WM_CHECK window is up), and the window manager
# is stopped afterwards. The command's exit status is the script's; it finds the window manager's
# process id in KV_WM_PID.
# Usage: UnderWm.sh WM COMMAND [ARGUMENT...]   (on an X server, e.g. from OnXvfb.sh; WM "none"
# runs the command alone)
set -u
wm=$1
shift
[[ $wm == none ]] && exec "$@"

wmHome=$(mktemp -d) || exit 1
# fluxbox would set a wallpaper, fail without an image viewer and say so in a window of its own.
mkdir -p "$wmHome/.fluxbox" && echo "background: none" >"$wmHome/.fluxbox/overlay"
wmPid=
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
# Starts the window manager; true once it has taken the root. One that ends first (it could not
# connect, as on a server resetting after its last client) is started again, twice at most.
startWm() {
  HOME="$wmHome" "$wm" >"$wmHome/wm.log" 2>&1 &
  wmPid=$!
  for _ in $(seq 100); do
    managed && return 0
    if ! kill -0 "$wmPid" 2>/dev/null; then
      wait "$wmPid" 2>/dev/null
      wmPid=
      return 1
    fi
    sleep 0.1
  done
  return 1
}
up=
for _ in 1 2 3; do
  startWm && up=1 && break
  [[ -n $wmPid ]] && break
done
if [[ -z $up ]]; then
  echo "under $wm: the window manager did not take the display:" >&2
  cat "$wmHome/wm.log" >&2
  stopWm
  exit 1
fi

# The command may watch the window manager (whether it still runs, where it is stuck).
KV_WM_PID=$wmPid "$@"
status=$?
stopWm
exit "$status"

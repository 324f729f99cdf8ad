#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb, 1280 x 1024 x 24 at 96 dpi), with or without a window
# manager (UnderWm.sh), and stops the server afterwards. The server picks a free display number
# itself (-displayfd), so tests started side by side never share one, as xvfb-run -a now and then
# made them do. The server does not reset when its last client leaves (-noreset): a client that
# connects while it resets is refused ("cannot open display"), as the program was now and then when
# a test started it right after the previous client (an xprop, the program's first run) had gone.
# The command's exit status is the script's.
# Usage: OnXvfb.sh WM COMMAND [ARGUMENT...]   (WM "none": no window manager)
set -u
here=$(cd "$(dirname "$0")" && pwd)
wm=$1
shift

work=$(mktemp -d) || exit 1
serverPid=
stopServer() {
  kill -TERM "$serverPid" 2>/dev/null
  for _ in $(seq 20); do
    kill -0 "$serverPid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$serverPid" 2>/dev/null
  wait "$serverPid" 2>/dev/null
}

# Starts the server; true once a client can reach it. One that no client reaches is replaced.
startServer() {
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/server.log" 2>&1 &
  serverPid=$!
  for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    kill -0 "$serverPid" 2>/dev/null || return 1
    sleep 0.1
  done
  [[ -s $work/display ]] || return 1
  DISPLAY=:$(head -1 "$work/display")
  export DISPLAY
  for _ in $(seq 20); do
    xprop -root -len 0 >/dev/null 2>&1 && kill -0 "$serverPid" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
started=
for _ in 1 2 3; do
  startServer && started=1 && break
  stopServer
done
if [[ -z $started ]]; then
  echo "no X server a client can reach:" >&2
  cat "$work/server.log" >&2
  rm -rf "$work"
  exit 1
fi

"$here/UnderWm.sh" "$wm" "$@"
status=$?
stopServer
rm -rf "$work"
exit "$status"

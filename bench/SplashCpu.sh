#!/usr/bin/env bash
# The processor time of a start of the program with its splash: the program is started on a
# private X server (through tests/smoke/OnXvfb.sh), left alone for 9 seconds (the splash shows for
# 6 of them, then the main window waits for input), and its user and system time so far are read
# from /proc before it is ended with SIGTERM. Prints one line per run.
# Usage: bench/SplashCpu.sh PROGRAM [RUNS] [WM]    (WM as OnXvfb.sh takes it; default none)
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
runs=${2:-3}
wm=${3:-none}
if [[ ${KV_SPLASH_CPU_INNER:-} != 1 ]]; then
  KV_SPLASH_CPU_INNER=1 exec "$here/../tests/smoke/OnXvfb.sh" "$wm" "$0" "$program" "$runs" "$wm"
fi
work=$(mktemp -d) || exit 1
mkdir -p "$work/run" && chmod 700 "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" \
  XDG_CONFIG_HOME="$work/config"
ticks=$(getconf CLK_TCK)
for run in $(seq "$runs"); do
  "$program" >"$work/program.log" 2>&1 &
  pid=$!
  sleep 9
  if ! read -ra stat <"/proc/$pid/stat"; then
    echo "run $run: the program ended early" >&2
    cat "$work/program.log" >&2
    exit 1
  fi
  # Fields 14 and 15 (utime, stime), counted after the command name, which has no blank here.
  echo "run $run: $(awk -v u="${stat[13]}" -v s="${stat[14]}" -v t="$ticks" \
    'BEGIN { printf "%.2f s of processor time (user %.2f, system %.2f) in 9 s", (u + s) / t, u / t, s / t }')"
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null
done
rm -rf "$work"

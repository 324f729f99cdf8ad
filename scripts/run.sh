#!/usr/bin/env bash
# Builds Korvaline with the files it reads at run time (its preferences folder: preference files,
# function names, translators, Examples) and starts the editor on the current X display, in the
# folder the script was run from: the file dialogs open there and relative file names work.
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd)
(
  cd "$tree"
  bash scripts/setup.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$(nproc)" --target kv_program
)
exec "$tree/build/src/korvaline" "$@"

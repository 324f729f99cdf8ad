#!/usr/bin/env bash
# Builds Korvaline with the files it reads at run time (its preferences folder: preference files,
# function names, translators, Examples) and starts the editor on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target kv_program
exec ./build/src/korvaline "$@"

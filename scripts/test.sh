#!/usr/bin/env bash
# Builds Korvaline and runs every test: unit tests on the headless back end, the X11 smoke tests
# under Xvfb, and the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

if [ "${KV_SKIP_ASAN:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_BUILD_BENCH=OFF >/dev/null
  cmake --build build-asan -j "$jobs"
  ( cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/../tests/lsan.supp ctest -LE smoke -j "$jobs" --output-on-failure --timeout 300 ) \
    || { echo "sanitizer run failed"; exit 1; }
fi

cd build
ctest -j "$jobs" --output-on-failure --timeout 300

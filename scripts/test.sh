#!/usr/bin/env bash
# Builds Korvaline and runs every test: unit tests on the headless back end, the X11 smoke tests
# under Xvfb, and, from a clang build with AddressSanitizer and UndefinedBehaviorSanitizer, the
# unit tests again, every fuzz target over its seed corpus for a fixed number of inputs, and two
# minutes of random input to the whole program under a window manager.
#
#   KV_WERROR=ON       warnings fail the build (CI sets it)
#   KV_SKIP_ASAN=1     only the normal build
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
werror=${KV_WERROR:-OFF}

# -O1 with line tables: all the debug information a failure or a crash report needs, and close to
# half the compile time of -O2 with full debug information (the Release build is -O3).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DKV_WERROR="$werror" >/dev/null
cmake --build build -j "$jobs"

if [ "${KV_SKIP_ASAN:-0}" != 1 ]; then
  # -O1 with line tables keeps the sanitizer reports readable and runs the tests several times
  # faster than -O0; lld links the large test programs in a fraction of the time.
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
    -DKV_SANITIZE=ON -DKV_BUILD_BENCH=OFF -DKV_WERROR="$werror" >/dev/null
  cmake --build build-fuzz -j "$jobs"
  ( cd build-fuzz && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/../tests/lsan.supp ctest -LE smoke -j "$jobs" --output-on-failure --timeout 300 ) \
    || { echo "sanitizer run failed"; exit 1; }
  # Then, alone, random input to the whole program on an X server under a window manager.
  ( cd build-fuzz && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/../tests/lsan.supp ctest -L x11random --output-on-failure --timeout 300 ) \
    || { echo "X11 random-input run failed"; exit 1; }
fi

cd build
# Twice as many tests as cores: the X11 smoke tests spend most of their time waiting for the
# server and the program.
ctest -j "$((jobs * 2))" --output-on-failure --timeout 300

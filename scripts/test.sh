#!/usr/bin/env bash
# Sets up (packages, build) and runs every test: the C++ tests and the
# host-level tests in octave-cli on the normal build, then the C++ tests again
# under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
(cd build && ctest --output-on-failure -j 2)

echo "== C++ tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
BUILD_DIR=build-asan scripts/setup.sh -DCCS_SANITIZE=address -DCCS_BUILD_MEX=OFF \
  -DCCS_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j 2 -L cpp)

#!/usr/bin/env bash
# Sets up (packages, build) and runs every test:
#  1. the C++ tests, the host-level tests in octave-cli and the Python package's
#     pytest tests on the normal build;
#  2. the C++ tests under AddressSanitizer + UndefinedBehaviorSanitizer (GCC);
#  3. the C++ tests under ThreadSanitizer (clang-14 with LLVM's OpenMP run-time
#     and its thread-sanitizer tool, so that OpenMP's own synchronisation is
#     seen), except those labelled no_tsan;
#  4. the fuzz targets: corpora and past failures replayed, then a short run
#     of each (scripts/fuzz.sh).
# Any sanitizer report fails the run. See ARCHITECTURE.md, "Sanitizers".
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
# Two threads in every test (the machine CI runs on has two cores).
export OMP_NUM_THREADS=2
stage() { echo "== $1 (at $(( $(date +%s) - start )) s) =="; }

scripts/setup.sh
(cd build && ctest --output-on-failure --no-tests=error -j 2)

stage "C++ tests under AddressSanitizer + UndefinedBehaviorSanitizer"
BUILD_DIR=build-asan scripts/setup.sh -DCCS_SANITIZE=address -DCCS_BUILD_MEX=OFF \
  -DCCS_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Open Babel's own leaks are suppressed (the command-line tests).
lsan_supp="$PWD/tests/cli/lsan_openbabel.supp"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$lsan_supp \
  ctest --output-on-failure --no-tests=error -j 2 -L cpp)

stage "C++ tests under ThreadSanitizer"
archer=/usr/lib/llvm-14/lib/libarcher.so
[ -f "$archer" ] || { echo "missing $archer (libomp-14-dev)" >&2; exit 1; }
CC=clang-14 CXX=clang++-14 BUILD_DIR=build-tsan scripts/setup.sh -DCCS_SANITIZE=thread \
  -DCCS_BUILD_MEX=OFF -DCCS_BUILD_BENCH=OFF -DCCS_BUILD_CLI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
# ignore_noninstrumented_modules: accesses inside the (uninstrumented) OpenMP
# and BLAS libraries are not reported; the tool supplies OpenMP's
# happens-before edges (barriers, locks, the end of a region) instead.
(cd build-tsan && OMP_TOOL_LIBRARIES=$archer OPENBLAS_NUM_THREADS=1 \
  TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure --no-tests=error -j 2 -L cpp -LE no_tsan)

stage "Fuzz targets"
FUZZ_TIMEOUT=120 scripts/fuzz.sh 5

stage "All tests passed"

#!/usr/bin/env bash
# Builds the fuzz targets (clang-14, libFuzzer, ASan+UBSan) in ./build-fuzz,
# replays every corpus input and every input that once failed, then fuzzes
# each target for SECONDS (default 5: the smoke run of scripts/test.sh).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 3600 shadecount
#   MERGE=1 scripts/fuzz.sh 600 ringtest      also merge new coverage into the
#                                             repository corpus (kept small)
#
# FUZZ_TIMEOUT (default 30 s) is the time one input may take before it counts
# as a hang (the smoke run of scripts/test.sh allows 120 s, so that a merely
# slow input cannot make CI flaky).
# A failing input is written to build-fuzz/artifacts/<target>/; turn it into
# a test (tests/host, tests/fuzz/regressions/<target>/) before fixing it.
# CCS_FUZZ_DESCRIBE=1 build-fuzz/tests/host/fuzz_<target> <file> prints the
# call an input makes.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-5}
shift || true

CC=clang-14 CXX=clang++-14 BUILD_DIR=build-fuzz BUILD_TARGET=fuzz_targets scripts/setup.sh \
  -DCCS_SANITIZE=fuzzer -DCCS_BUILD_MEX=OFF -DCCS_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo

export OMP_NUM_THREADS=2 OPENBLAS_NUM_THREADS=1
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Open Babel (read by the structure readers) leaks in bond perception.
export LSAN_OPTIONS=suppressions=$PWD/tests/cli/lsan_openbabel.supp

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(cd build-fuzz && find . -name 'fuzz_*' -type f -executable \
    -printf '%f\n' | sed 's/^fuzz_//' | sort)
fi

echo "== Replaying corpora and regressions =="
(cd build-fuzz && ctest --output-on-failure --no-tests=error -L fuzz)

for t in "${targets[@]}"; do
  exe=$(find build-fuzz -name "fuzz_$t" -type f -executable | head -n 1)
  [ -n "$exe" ] || { echo "no fuzz target fuzz_$t" >&2; exit 1; }
  corpus=tests/fuzz/corpus/$t
  work=build-fuzz/work/$t
  artifacts=build-fuzz/artifacts/$t
  mkdir -p "$corpus" "$work" "$artifacts"
  echo "== fuzz_$t: ${SECONDS_EACH} s =="
  # New inputs go to the work folder; the repository corpus only seeds it.
  "$exe" -max_total_time="$SECONDS_EACH" -timeout="${FUZZ_TIMEOUT:-30}" -rss_limit_mb=4096 \
    -max_len=512 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "$corpus" 2>"$work.log" \
    || { tail -n 60 "$work.log"; echo "fuzz_$t failed: input in $artifacts/" >&2; exit 1; }
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$work.log" | tr '\n' ' '
  echo
  if [ "${MERGE:-0}" = 1 ]; then
    "$exe" -merge=1 "$corpus" "$work" 2>>"$work.log"
    echo "corpus of $t: $(ls "$corpus" | wc -l) inputs"
  fi
done

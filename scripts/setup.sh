#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing,
# and configures and builds the project in ./build. Quick when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang-14, its sanitizer run-times and LLVM's OpenMP run-time: the
# thread-sanitizer and fuzzing configurations of scripts/test.sh.
PACKAGES=(cmake make g++ libopenblas-dev libopenblas0-openmp libopenblas0-pthread
          liblapacke-dev octave liboctave-dev libgtest-dev libbenchmark-dev
          libopenbabel-dev nlohmann-json3-dev libcli11-dev pkg-config
          clang-14 libclang-rt-14-dev libomp-14-dev)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  # -n: never wait for a password in a non-interactive run; fail instead.
  [ "$(id -u)" -ne 0 ] && SUDO="sudo -n"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# BUILD_DIR (default build) and BUILD_TARGET (default all) select what is
# built; extra arguments go to cmake.
BUILD_DIR=${BUILD_DIR:-build}
# The configure output stays visible: a missing dependency stops here, by name.
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release "$@" | grep -vE '^-- (Detecting|Check|Looking|Performing|Found|Configuring done|Generating done)' || true
[ "${PIPESTATUS[0]}" -eq 0 ] || { echo "cmake configuration failed" >&2; exit 1; }
echo "Building in $BUILD_DIR ..."
if ! cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${BUILD_TARGET:-all}" \
    > "$BUILD_DIR/build.log" 2>&1; then
  tail -n 60 "$BUILD_DIR/build.log"
  echo "Build failed; the full log is $BUILD_DIR/build.log"
  exit 1
fi

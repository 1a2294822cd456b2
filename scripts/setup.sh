#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing,
# and configures and builds the project in ./build. Quick when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang-14, its sanitizer run-times and LLVM's OpenMP run-time: the
# thread-sanitizer and fuzzing configurations of scripts/test.sh.
PACKAGES=(cmake make g++ libopenblas-dev libopenblas0-openmp libopenblas0-pthread
          liblapacke-dev octave liboctave-dev libgtest-dev libbenchmark-dev
          libopenbabel-dev nlohmann-json3-dev libcli11-dev zlib1g-dev pkg-config
          clang-14 libclang-rt-14-dev libomp-14-dev
          python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pip python3-setuptools
          python3-wheel python3-pytest python3-mdanalysis python3-matplotlib python3-pandas
          python3-tqdm libopenmpi-dev openmpi-bin)

# Open MPI (libopenmpi-dev, openmpi-bin): the distributed mode of ccs
# (mpirun -n R ccs ...); without it the configuration stops unless
# -DCCS_WITH_MPI=OFF.
# Python packages: the module (pybind11, numpy), its installation (pip,
# setuptools, wheel) and its tests and extras (pytest, MDAnalysis,
# matplotlib, pandas, tqdm), all for Debian's /usr/bin/python3.

SUDO=""
# -n: never wait for a password in a non-interactive run; fail instead.
[ "$(id -u)" -ne 0 ] && SUDO="sudo -n"
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# BUILD_DIR (default build) and BUILD_TARGET (default all) select what is
# built; extra arguments go to cmake.
BUILD_DIR=${BUILD_DIR:-build}
# A missing dependency stops the configuration, by name; what was found
# (BLAS, Octave, ...) is shown either way.
mkdir -p "$BUILD_DIR"
if ! cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release "$@" > "$BUILD_DIR/configure.log" 2>&1; then
  cat "$BUILD_DIR/configure.log"
  echo "Configuration failed; the log is $BUILD_DIR/configure.log" >&2
  exit 1
fi
grep -vE '^-- (Detecting|Check|Looking|Performing|Found|Configuring done|Generating done|The (C|CXX) compiler)|^ *$' \
  "$BUILD_DIR/configure.log" || true
echo "Building in $BUILD_DIR ..."
if ! cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${BUILD_TARGET:-all}" \
    > "$BUILD_DIR/build.log" 2>&1; then
  tail -n 60 "$BUILD_DIR/build.log"
  echo "Build failed; the full log is $BUILD_DIR/build.log"
  exit 1
fi

# The Python package (import ccs) for Debian's interpreter, from the module
# just built (not in the sanitized builds): a wheel built here, installed by
# pip into /usr/local (Debian's rule against pip in the system interpreter
# needs --break-system-packages; nothing of Debian's is replaced). Only when
# the module, the package or the tables changed since the last install. The
# tests import the build tree's package instead (PYTHONPATH=build/python).
module=$(ls "$BUILD_DIR"/python/ccs/_core.*.so 2>/dev/null | head -n 1 || true)
if [ -n "$module" ]; then
  wheels="$BUILD_DIR/python-wheel"
  if [ ! -f "$wheels/installed" ] || [ -n "$(find "$module" python/ccs python/setup.py \
      python/pyproject.toml data/params -newer "$wheels/installed" -print -quit)" ]; then
    echo "Installing the Python package ccs for /usr/bin/python3 ..."
    rm -rf "$wheels" && mkdir -p "$wheels"
    if ! CCS_BUILD_DIR="$BUILD_DIR" /usr/bin/python3 -m pip wheel --no-build-isolation --no-deps \
        --no-index -w "$wheels" ./python > "$wheels/log" 2>&1 ||
       ! $SUDO /usr/bin/python3 -m pip install --no-deps --no-index --force-reinstall \
        --break-system-packages --root-user-action=ignore "$wheels"/ccs_toolkit-*.whl \
        >> "$wheels/log" 2>&1 ||
       ! (cd / && /usr/bin/python3 -c "import ccs; ccs.methods()"); then
      tail -n 40 "$wheels/log"
      echo "Installing the Python package failed; the full log is $wheels/log"
      exit 1
    fi
    touch "$wheels/installed"
  fi
fi

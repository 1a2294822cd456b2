#!/usr/bin/env bash
# Sets up (packages, build) and runs every test: the C++ tests and the
# host-level tests in octave-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
ctest --output-on-failure -j 2

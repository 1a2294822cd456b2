#!/usr/bin/env bash
# Sets up (packages, build) and runs the main job: the collision cross section
# and mobility of a shipped example ion, the protonated 2-phenylethylamine
# with its partial charges, in helium at 298.15 K and 101325 Pa by the
# trajectory method with the default settings of the ccs program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build/src/cli/ccs examples/phenethylammonium.mol2 "$@"

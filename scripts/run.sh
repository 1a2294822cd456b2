#!/usr/bin/env bash
# Sets up (packages, build) and runs the main job on a shipped example: the
# projection-approximation cross section of C60 in helium, through the host.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
octave-cli --no-gui -q --eval "
  addpath('build/mex');
  f = fopen('examples/c60.xyz'); n = str2double(fgetl(f)); fgetl(f);
  c = textscan(f, '%s %f %f %f'); fclose(f);
  atoms = [c{2} c{3} c{4} 1.7 * ones(n, 1)];
  ccs = shadecount(atoms, n, 1.0, 2000, 0, 1);
  printf('C60 projected cross section (probe 1.0 A, 2000 orientations): %.1f A^2\n', ccs);" 2>/dev/null

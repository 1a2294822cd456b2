#!/usr/bin/env bash
# Builds the Octave package ccs-<version>.tar.gz from the repository:
#   scripts/make-octave-package.sh [OUTDIR]     (default: build)
# Install it in Octave with: pkg install OUTDIR/ccs-<version>.tar.gz
# The package holds the functions (octave/inst), the parameter tables
# (data/params, as inst/params) and the C++ sources its plug-ins are built
# from at installation (octave/src/Makefile).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build}
version=$(sed -n 's/^project(ccs_toolkit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "make-octave-package: no project version in CMakeLists.txt" >&2; exit 1; }
date=$(git log -1 --format=%cs 2>/dev/null || date +%F)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg="$stage/ccs-$version"
mkdir -p "$pkg/inst/params" "$pkg/src/core/mex" "$pkg/src/core/cli" "$out"
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$date/" octave/DESCRIPTION.in > "$pkg/DESCRIPTION"
cp octave/COPYING octave/INDEX "$pkg/"
cp -R octave/inst/. "$pkg/inst/"
cp data/params/*.tsv "$pkg/inst/params/"
cp octave/src/Makefile octave/src/__ccs_readers__.cpp "$pkg/src/"
for d in runtime projection hardsphere trajectory; do
  mkdir -p "$pkg/src/core/$d"
  cp src/$d/*.cpp src/$d/*.h "$pkg/src/core/$d/"
done
cp src/mex/entry_layer.cpp src/mex/entry_layer.h src/mex/trajectory_inputs.h \
   src/mex/shadecount_mex.cpp src/mex/hardkick_mex.cpp src/mex/tracerun_plus_mex.cpp \
   src/mex/tracerun_mex.cpp src/mex/tracerun_well_mex.cpp "$pkg/src/core/mex/"
# The program's library (its command line, job output, checkpoint, signals,
# progress, start-up and main are not needed).
for f in src/cli/*.cpp src/cli/*.h; do
  case "$(basename "$f")" in
    main.cpp | command_line.* | checkpoint.* | job_output.* | progress.* | stop_signals.* | wait_policy_preinit.cpp) ;;
    *) cp "$f" "$pkg/src/core/cli/" ;;
  esac
done
tar -C "$stage" -czf "$out/ccs-$version.tar.gz" "ccs-$version"
echo "$out/ccs-$version.tar.gz"

#!/bin/sh
# replay.sh FUZZ_TARGET DIR...: runs the target once over every input in the
# folders that exist (a corpus, the inputs that once failed).
exe=$1
shift
dirs=""
for d in "$@"; do
  [ -d "$d" ] && dirs="$dirs $d"
done
[ -n "$dirs" ] || { echo "no inputs to replay for $exe"; exit 0; }
# shellcheck disable=SC2086
exec "$exe" -runs=0 $dirs

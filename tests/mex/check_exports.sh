#!/usr/bin/env bash
# Usage: check_exports.sh PLUGIN.mex SYMBOL...
# Fails unless the plug-in's dynamic symbol table defines exactly the given
# symbols (each under the version node MEX) and nothing else.
set -euo pipefail
mex=$1
shift
want=$(printf '%s\n' "$@" | sort)
have=$(nm -D --defined-only "$mex" | awk '$3 != "MEX" {print $3}' | sed 's/@@MEX$//' | sort)
unversioned=$(nm -D --defined-only "$mex" | awk '$3 != "MEX" && $3 !~ /@@MEX$/ {print $3}')
if [ -n "$unversioned" ]; then
  echo "symbols outside the MEX version node: $unversioned"
  exit 1
fi
if [ "$want" != "$have" ]; then
  echo "exported symbols differ from the expected list:"
  diff <(echo "$want") <(echo "$have") || true
  exit 1
fi
echo "exports of $(basename "$mex") as expected"

#!/usr/bin/env bash
# Memory check of the plug-ins inside the real host: octave-cli under
# valgrind's memcheck runs one call of each built plug-in CALLS times
# (default 100), once with a single call and once with CALLS calls.
#
# It fails on any invalid read or write, use of freed memory, invalid free or
# uninitialised-value error whose stack passes through one of our plug-ins,
# and on any definitely-lost block allocated through one of them. Octave's
# own findings (its interpreter and libraries) are not ours and are not
# counted; as a check on everything else, the definitely-lost total of the
# CALLS-call run must not exceed that of the single-call run (a per-call
# leak anywhere would grow with the calls). Too slow for CI (minutes): run
# by hand after changing an entry or a driver.
#
#   scripts/valgrind-plugins.sh [CALLS]
set -euo pipefail
cd "$(dirname "$0")/.."
CALLS=${1:-100}
command -v valgrind >/dev/null || {
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get install -y -qq --no-install-recommends valgrind >/dev/null
}
scripts/setup.sh >/dev/null
mex=$PWD/build/mex
out=build/valgrind
mkdir -p "$out"

# One small, valid call per plug-in (tiny work: a few atoms, orientations
# and trajectories). A plug-in not built yet is skipped.
declare -A CALL
CALL[shadecount]="shadecount([0 0 0 1.7; 1.4 0 0 1.7; 0 1.4 0 1.5], 3, 1.0, 4, 0, 1)"
CALL[ringtest]="ringtest([0.5 2 1; 0.5 2 0.5], [0 1 1 0; 0 0 1 1], [1 2 3 4; 2 3 4 1])"

run() {  # run NAME N LOG
  local name=$1 n=$2 log=$3
  OMP_NUM_THREADS=2 valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --num-callers=50 --track-origins=no \
    --log-file="$log" octave-cli --no-gui --no-window-system -q --eval \
    "addpath('$mex'); for k = 1:$n, ${CALL[$name]}; end; clear mex; disp('done')" >/dev/null
}

# Summarises a log: errors through our plug-ins and definitely-lost bytes.
analyse() {
  python3 - "$1" "$mex" <<'EOF'
import re, sys
log, mex = sys.argv[1], sys.argv[2]
text = open(log).read()
# Blocks are separated by lines holding only the pid prefix.
blocks = re.split(r"\n==\d+== \n", text)
ours = [b for b in blocks if mex in b]
bad = [b for b in ours if re.search(r"Invalid (read|write|free)|uninitialised|"
                                    r"definitely lost|Mismatched free|overlap", b)]
m = re.search(r"definitely lost: ([\d,]+) bytes", text)
lost = int(m.group(1).replace(",", "")) if m else 0
errors = re.search(r"ERROR SUMMARY: (\d+) errors", text)
print(len(bad), lost, errors.group(1) if errors else "?")
for b in bad[:5]:
    print(b[:3000], file=sys.stderr)
EOF
}

status=0
for name in "${!CALL[@]}"; do
  [ -f "$mex/$name.mex" ] || { echo "$name: not built, skipped"; continue; }
  start=$(date +%s)
  run "$name" 1 "$out/$name.1.log"
  run "$name" "$CALLS" "$out/$name.$CALLS.log"
  read -r bad1 lost1 err1 < <(analyse "$out/$name.1.log")
  read -r badn lostn errn < <(analyse "$out/$name.$CALLS.log")
  verdict=ok
  if [ "$bad1" -ne 0 ] || [ "$badn" -ne 0 ] || [ "$lostn" -gt "$lost1" ]; then
    verdict=FAILED
    status=1
    analyse "$out/$name.$CALLS.log" >/dev/null
  fi
  echo "$name: $verdict - findings through the plug-in: $badn; definitely lost (whole" \
       "process): $lost1 bytes after 1 call, $lostn after $CALLS; memcheck errors" \
       "(whole process): $err1 / $errn; $(( $(date +%s) - start )) s; logs in $out/"
done
exit $status

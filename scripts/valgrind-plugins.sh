#!/usr/bin/env bash
# Memory check of the plug-ins inside the real host: octave-cli under
# valgrind's memcheck runs one call of each built plug-in CALLS times
# (default 100), once with a single call and once with CALLS calls.
#
# It fails on any invalid read or write, use of freed memory, invalid free or
# uninitialised-value error whose stack passes through one of our plug-ins,
# and on any definitely-lost block allocated through one of them. Octave's
# own findings (its interpreter and libraries: 839 bytes in 61 blocks
# definitely lost by octave-cli 7.3 alone) are not ours and are not counted;
# as a check on everything else, the definitely-lost total and the number of
# blocks in use at exit must be the same after CALLS calls as after one (a
# per-call leak anywhere would grow with the calls; the random-number states
# are allocated once). Takes a few minutes: run by hand after changing an
# entry or a driver.
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
# SETUP runs once (the helpers of tests/octave give consistent helium inputs).
SETUP="addpath('$PWD/tests/octave'); p = he_inputs(); u = 1.66053906660e-27;
  t = tracerun_args(p, [0.3 -0.1 0.2 2.0; 1.5 0.2 -0.4 1.7], 2, 4, 1, 3); t{23} = 2;
  tp = [t, {[1e12; 1e12], [0.3 -0.1 0.2; 1.5 0.2 -0.4; 0.3 -0.1 0.2; 1.5 0.2 -0.4], 1}];
  tw = [t(1:25), {[0; 0], [1; 1], [1; 1]}, t(26:27), {0}];"
declare -A CALL
CALL[shadecount]="shadecount([0 0 0 1.7; 1.4 0 0 1.7; 0 1.4 0 1.5], 3, 1.0, 4, 0, 1)"
CALL[ringtest]="ringtest([0.5 2 1; 0.5 2 0.5], [0 1 1 0; 0 0 1 1], [1 2 3 4; 2 3 4 1])"
CALL[hardkick]="hardkick([0.5 -0.3 0.2 2.0], 1, 1.0, 4.002602 * u, 200 * u, 1, 42, 8, 2, 0, 1, 0, 0, 101325, 298, 7, 1)"
CALL[tracerun]="evalc('tracerun(t{:})')"
CALL[tracerun_plus]="evalc('tracerun_plus(tp{:})')"
CALL[tracerun_well]="evalc('tracerun_well(tw{:})')"

run() {  # run NAME N LOG
  local name=$1 n=$2 log=$3
  OMP_NUM_THREADS=2 valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --num-callers=50 --track-origins=no \
    --log-file="$log" octave-cli --no-gui --no-window-system -q --eval \
    "addpath('$mex'); $SETUP for k = 1:$n, ${CALL[$name]}; end; clear mex; disp('done')" \
    >"$log.out" 2>&1 || { echo "$name: octave-cli failed (see $log.out)"; return 1; }
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
inuse = re.search(r"in use at exit: ([\d,]+) bytes in ([\d,]+) blocks", text)
print(len(bad), lost, errors.group(1) if errors else "?",
      inuse.group(2).replace(",", "") if inuse else "?")
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
  read -r bad1 lost1 err1 use1 < <(analyse "$out/$name.1.log")
  read -r badn lostn errn usen < <(analyse "$out/$name.$CALLS.log")
  verdict=ok
  if [ "$bad1" -ne 0 ] || [ "$badn" -ne 0 ] || [ "$lostn" -gt "$lost1" ] ||
     [ "$usen" != "$use1" ]; then
    verdict=FAILED
    status=1
    analyse "$out/$name.$CALLS.log" >/dev/null
  fi
  echo "$name: $verdict - findings through the plug-in: $badn; whole process after 1 and" \
       "$CALLS calls: definitely lost $lost1 / $lostn bytes, memcheck errors $err1 / $errn," \
       "blocks in use at exit $use1 / $usen; $(( $(date +%s) - start )) s; logs in $out/"
done
exit $status

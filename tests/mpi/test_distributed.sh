#!/usr/bin/env bash
# The distributed ccs against the single-process program: a seeded job over
# two files (one of three structures) by pa, ehss and lj on 1, 2 and 3 ranks
# gives the same rows, field by field (the wall time left out); a checkpoint
# cut short (two rows and half a line) is resumed on another rank count with
# the same rows; a checkpoint of other settings is refused.
# Usage: test_distributed.sh CCS SOURCE_DIR
set -euo pipefail
ccs=$1
src=$2
# Open MPI refuses root unless told; CI runs as root.
if [ "$(id -u)" -eq 0 ]; then export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1; fi
work=$(mktemp -d /tmp/ccs_mpi_test_XXXXXX)
trap 'rm -rf "$work"' EXIT
compare() { python3 "$src/tests/mpi/compare_rows.py" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

# Three structures of phenethylammonium's heavy frame, each moved a little.
python3 - "$src/examples/phenethylammonium.mol2" > "$work/three.xyz" <<'PY'
import sys
lines = open(sys.argv[1]).read().split("@<TRIPOS>ATOM")[1].split("@<TRIPOS>")[0].strip().splitlines()
atoms = [(l.split()[5].split(".")[0], *map(float, l.split()[2:5])) for l in lines]
for k in range(3):
    print(len(atoms)); print(f"copy {k + 1}")
    for i, (e, x, y, z) in enumerate(atoms):
        d = 0.05 * ((i * 7 + k * 3) % 5 - 2)
        print(f"{e} {x + d:.4f} {y - d:.4f} {z + 0.5 * d:.4f}")
PY

job=(--seed 7 --method all --orientations 6 --trajectories 60 --csv --quiet --threads 1)
# pa, ehss and lj: --method all runs every method; keep those three.
keep() { python3 - "$1" > "$1.kept" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))
m = rows[0].index("method")
w = csv.writer(sys.stdout, lineterminator="\n")
for r in rows:
    if r is rows[0] or r[m] in ("pa", "ehss", "lj"):
        w.writerow(r)
PY
}
files=("$src/examples/c60.xyz" "$work/three.xyz")

"$ccs" "${job[@]}" "${files[@]}" > "$work/single.csv" 2> "$work/single.err" || fail "single process: $(cat "$work/single.err")"
keep "$work/single.csv"
for n in 1 2 3; do
  mpirun --oversubscribe -n $n "$ccs" "${job[@]}" "${files[@]}" > "$work/r$n.csv" 2> "$work/r$n.err" ||
    fail "$n ranks: $(cat "$work/r$n.err")"
  keep "$work/r$n.csv"
  compare "$work/single.csv.kept" "$work/r$n.csv.kept" || fail "$n ranks differ from the single process"
  [ ! -s "$work/r$n.err" ] || fail "$n ranks wrote to standard error: $(cat "$work/r$n.err")"
done
rows=$(($(wc -l < "$work/single.csv") - 1))
[ "$rows" -eq 20 ] || fail "expected 20 rows (4 structures x 5 methods), got $rows"

# A checkpoint of a whole job, cut to two rows and half of the third.
cp="$work/rows.jsonl"
mpirun --oversubscribe -n 2 "$ccs" "${job[@]}" --checkpoint "$cp" "${files[@]}" > "$work/c1.csv" 2> "$work/c1.err" ||
  fail "checkpointed run: $(cat "$work/c1.err")"
compare "$work/single.csv" "$work/c1.csv" || fail "the checkpointed run differs"
[ "$(wc -l < "$cp")" -eq $((rows + 1)) ] || fail "the checkpoint should hold the settings and $rows rows"
{ head -n 3 "$cp"; sed -n 4p "$cp" | head -c 100; } > "$cp.cut" && mv "$cp.cut" "$cp"
mpirun --oversubscribe -n 3 "$ccs" "${job[@]}" --checkpoint "$cp" "${files[@]}" > "$work/c2.csv" 2> "$work/c2.err" ||
  fail "resumed run: $(cat "$work/c2.err")"
grep -q "2 row(s) taken from the checkpoint" "$work/c2.err" || fail "resume: $(cat "$work/c2.err")"
compare "$work/c1.csv" "$work/c2.csv" || fail "the resumed run differs"
# Every row is now in the file: the single-process program takes them all,
# with the seed of the checkpoint when none is given.
"$ccs" "${job[@]:2}" --checkpoint "$cp" "${files[@]}" > "$work/c3.csv" 2> "$work/c3.err" ||
  fail "rerun from a full checkpoint: $(cat "$work/c3.err")"
grep -q "$rows row(s) taken from the checkpoint" "$work/c3.err" || fail "full checkpoint: $(cat "$work/c3.err")"
compare "$work/c1.csv" "$work/c3.csv" || fail "the rows from the checkpoint differ"

# Other settings are refused, naming them.
set +e
mpirun --oversubscribe -n 2 "$ccs" "${job[@]}" --gas N2 --checkpoint "$cp" "${files[@]}" > /dev/null 2> "$work/c4.err"
st=$?
set -e
[ $st -eq 2 ] || fail "a checkpoint of other settings: exit $st"
grep -q "other settings (.*gas" "$work/c4.err" || fail "other settings: $(cat "$work/c4.err")"
# SIGTERM to rank 0 in the middle of a job: exit 143, the finished rows
# printed and kept, the other rank stopped; a rerun takes them and finishes.
for k in 1 2; do
  cp "$src/examples/c60.xyz" "$work/c60_$k.xyz"
  cp "$src/examples/phenethylammonium.mol2" "$work/pea_$k.mol2"
done
long=(--seed 9 --method tm --orientations 200 --trajectories 1000 --csv --quiet --threads 1
      --checkpoint "$work/long.jsonl" "$work/c60_1.xyz" "$work/pea_1.mol2" "$work/c60_2.xyz" "$work/pea_2.mol2")
mpirun --oversubscribe -n 2 "$ccs" "${long[@]}" > "$work/l1.csv" 2> "$work/l1.err" &
launcher=$!
rank0=
for _ in $(seq 1 600); do
  for p in $(pgrep -P $launcher || true); do
    if tr '\0' '\n' < /proc/$p/environ 2>/dev/null | grep -qx OMPI_COMM_WORLD_RANK=0; then rank0=$p; fi
  done
  [ -n "$rank0" ] && [ -f "$work/long.jsonl" ] && [ "$(wc -l < "$work/long.jsonl")" -ge 2 ] && break
  sleep 0.05
done
[ -n "$rank0" ] || fail "rank 0 not found"
kill -TERM "$rank0"
set +e
wait $launcher
st=$?
set -e
[ $st -eq 143 ] || fail "SIGTERM to rank 0: exit $st: $(cat "$work/l1.err")"
grep -q "interrupted; the finished rows are printed" "$work/l1.err" || fail "after SIGTERM: $(cat "$work/l1.err")"
done_rows=$(($(wc -l < "$work/long.jsonl") - 1))
[ "$done_rows" -ge 1 ] && [ "$done_rows" -lt 4 ] || fail "$done_rows rows kept of 4"
[ "$(($(wc -l < "$work/l1.csv") - 1))" -eq "$done_rows" ] || fail "printed rows differ from the kept ones"
mpirun --oversubscribe -n 2 "$ccs" "${long[@]}" > "$work/l2.csv" 2> "$work/l2.err" || fail "resume: $(cat "$work/l2.err")"
grep -q "$done_rows row(s) taken from the checkpoint" "$work/l2.err" || fail "resume: $(cat "$work/l2.err")"
[ "$(($(wc -l < "$work/l2.csv") - 1))" -eq 4 ] || fail "resume: not 4 rows"

echo "distributed runs: same rows on 1, 2, 3 ranks as in one process; checkpoint resumed"

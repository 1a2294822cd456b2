#!/usr/bin/env bash
# Distributed ccs on this machine (not a test; minutes):
#  1. the same seed gives the same rows on 1, 2 and 3 ranks (and in one process);
#  2. strong scaling 1 -> 2 ranks (1 thread per rank) on synthetic globules of
#     100 000 and 1 000 000 atoms by pa, ehss and lj: the run's wall time
#     (first unit handed out to last unit back), the parallel efficiency
#     T1 / (2 T2), each rank's peak memory (bytes per atom), and the ceiling
#     the machine sets: T1 over the time of the same 1-rank job when two of
#     them run at once (the two cores share memory bandwidth and cache);
#  3. a batch of 1 000 small structures (jittered copies of a 40-atom
#     globule): structures per second on 1 and 2 ranks and in one process,
#     and the distributed overhead per structure.
# The machine is shared: the load (uptime) is printed with every part, and
# every time is the best of two runs (three for strong scaling, whose single
# runs here vary by up to 7 %). Ranks are not bound to cores
# (--bind-to none): on a machine busy with other work a bound rank cannot
# move to the idler core.
# Usage: bench/mpi_scaling.sh [BUILD_DIR] > bench/mpi_scaling.out
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
ccs=$build/src/cli/ccs
work=$(mktemp -d /tmp/ccs_mpi_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ "$(id -u)" -eq 0 ]; then export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1; fi
export OMP_WAIT_POLICY=passive
load() { echo "# load: $(uptime | sed 's/.*load average: //') ($(nproc) cores, shared with other work)"; }
seconds_of() { python3 -c "import json,sys; r=json.load(open(sys.argv[1]))['results']; print(' '.join(f\"{x['seconds']:.3f}\" for x in r))" "$1"; }
# The shortest run time among the given single-row JSON outputs.
best_of() { python3 -c "import json,sys; print(min(round(json.load(open(f))['results'][0]['seconds'], 3) for f in sys.argv[1:]))" "$@"; }
ccs_of() { python3 -c "import json,sys; r=json.load(open(sys.argv[1]))['results']; print(' '.join(repr(x['ccs_A2']) for x in r))" "$1"; }

echo "# distributed ccs: $(date -u '+%Y-%m-%d %H:%M UTC'), $(mpirun --version | head -n 1)"
load

echo "## 1. same seed, same rows on 1, 2, 3 ranks"
job=(--seed 11 --method all --orientations 12 --trajectories 100 --csv --quiet --threads 1)
files=(examples/c60.xyz examples/phenethylammonium.mol2)
"$ccs" "${job[@]}" "${files[@]}" > "$work/single.csv" || true
for n in 1 2 3; do
  mpirun --oversubscribe -n $n "$ccs" "${job[@]}" "${files[@]}" > "$work/r$n.csv" || true
  if python3 tests/mpi/compare_rows.py "$work/single.csv" "$work/r$n.csv"; then
    echo "R=$n: $(($(wc -l < "$work/r$n.csv") - 1)) rows identical to the single process (every field but the wall time)"
  else
    echo "R=$n: DIFFERENT"
  fi
done

echo "## 2. strong scaling, 1 thread per rank"
load
python3 tools/make_examples.py globule 100000 "$work/g100k.xyz"
python3 tools/make_examples.py globule 1000000 "$work/g1m.xyz"
# Settings sized to 10-60 s per run on one rank (the defaults would run for
# hours on 10^6 atoms; ehss keeps their shape, many short orientations: 4096
# of 100 trajectories, since 512 now take only about 2.5 s). A
# run's time includes preparing it on every rank that runs a unit of it
# (replicated, not divided: for lj the reach of the attraction, about 1.3 s
# per million atoms).
declare -A settings=(
  [g100k.pa]="--orientations 400"
  [g100k.ehss]="--orientations 64 --trajectories 64000"
  [g100k.lj]="--orientations 32 --trajectories 16"
  [g1m.pa]="--orientations 32"
  [g1m.ehss]="--orientations 4096 --trajectories 100"
  [g1m.lj]="--orientations 64 --trajectories 4"
)
printf "%-8s %-5s %10s %10s %8s %8s %12s %12s %s\n" atoms method "T1/s" "T2/s" eff ceiling "rss1 B/atom" "rss2 B/atom" "same ccs"
for g in g100k g1m; do
  atoms=$([ $g = g100k ] && echo 100000 || echo 1000000)
  for m in pa ehss lj; do
    args=(--seed 5 --method $m --charge 20 --threads 1 --quiet --json ${settings[$g.$m]})
    for rep in 1 2 3; do
      for n in 1 2; do
        # Each rank's peak memory from /usr/bin/time around it.
        mpirun --oversubscribe --bind-to none -n $n sh -c '/usr/bin/time -f %M -o "$0.$OMPI_COMM_WORLD_RANK" "$@"' \
          "$work/rss.$n" "$ccs" "${args[@]}" "$work/$g.xyz" > "$work/$g.$m.$n.$rep.json" 2> "$work/$g.$m.$n.err" || true
      done
    done
    # Two 1-rank jobs at once: the slower one's time.
    for k in a b; do
      mpirun --oversubscribe --bind-to none -n 1 "$ccs" "${args[@]}" "$work/$g.xyz" > "$work/$g.$m.pair.$k.json" 2> /dev/null &
    done
    wait
    tpair=$(python3 -c "print(max($(seconds_of "$work/$g.$m.pair.a.json"), $(seconds_of "$work/$g.$m.pair.b.json")))")
    t1=$(best_of "$work/$g.$m".1.*.json)
    t2=$(best_of "$work/$g.$m".2.*.json)
    same=$([ "$(ccs_of "$work/$g.$m.1.1.json")" = "$(ccs_of "$work/$g.$m.2.1.json")" ] && echo yes || echo NO)
    rss1=$(cat "$work"/rss.1.* | sort -n | tail -n 1)
    rss2=$(cat "$work"/rss.2.* | sort -n | tail -n 1)
    rm -f "$work"/rss.*
    printf "%-8s %-5s %10s %10s %8.3f %8.3f %12.0f %12.0f %s\n" $atoms $m "$t1" "$t2" \
      "$(python3 -c "print($t1 / (2 * $t2))")" "$(python3 -c "print(min(1, $t1 / $tpair))")" \
      "$(python3 -c "print($rss1 * 1024 / $atoms)")" \
      "$(python3 -c "print($rss2 * 1024 / $atoms)")" $same
  done
  load
done

echo "## 3. batch of 1000 structures (40 atoms each), 1 thread per rank"
python3 tools/make_examples.py globule 40 "$work/batch.xyz" 1000 0.2
# Wall time of a command, best of two.
best_wall() {
  local best=
  for rep in 1 2; do
    local t0; t0=$(date +%s.%N)
    "$@" || true
    best=$(python3 -c "import time; t = time.time() - $t0; print(t if '$best' == '' else min(t, float('$best' or 0)))")
  done
  echo "$best"
}
for m in pa tm; do
  o=$([ $m = pa ] && echo 5 || echo 20)
  args=(--seed 3 --method $m --orientations $o --trajectories 50 --threads 1 --quiet --csv "$work/batch.xyz")
  t0=$(best_wall sh -c '"$0" "$@" > "'"$work/b.$m.0.csv"'"' "$ccs" "${args[@]}")
  line="$m ($o orientations): one process $(python3 -c "print(f'{1000 / $t0:.1f}')") structures/s"
  for n in 1 2; do
    t=$(best_wall sh -c 'mpirun --oversubscribe --bind-to none -n '$n' "$0" "$@" > "'"$work/b.$m.$n.csv"'"' "$ccs" "${args[@]}")
    python3 tests/mpi/compare_rows.py "$work/b.$m.0.csv" "$work/b.$m.$n.csv" > /dev/null && same=same || same=DIFFERENT
    line="$line; R=$n $(python3 -c "print(f'{1000 / $t:.1f}')") structures/s ($same rows)"
    [ $n -eq 1 ] && over=$(python3 -c "print(f'{($t - $t0) / 1000 * 1e3:.2f}')")
  done
  echo "$line; R=1 over one process: $over ms per structure (mpirun and MPI start-up included)"
done
load

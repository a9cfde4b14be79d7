#!/usr/bin/env bash
# Whole-process timing of the carried jobs with hyperfine, over tables written by
# bench/make_tables.py: 100 samples through 41 temperatures and 1,000 samples carried to 250 °C
# (`batch`, one thread), `geothermometry` of the 1,000 samples (both datasets, 41 temperatures,
# 2 threads) and `uncertainty` of the example water (1,000 draws, 41 temperatures, one dataset,
# 2 threads). The dataset is named in each command: one database, as the comparison it answers,
# and the same work for builds whose default differs.
#   bench/jobs.sh [CLI [OTHER_CLI]]   (OTHER_CLI: an older build, timed in the same run)
#   RUNS=n (default 5), JOBS="batch41 carry250 geothermometry uncertainty" to choose.
# Prints hyperfine's table, then per job and binary the median wall time, the mean CPU time
# (user + system, which a loaded machine inflates less) and the target.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$root/build/app/cli/geofluid-cli}"
other="${2:-}"
[ -x "$cli" ] || { echo "no $cli: build geofluid-cli first" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$root/bench/make_tables.py" "$work" 100 1000

declare -A command=(
  [batch41]="batch $work/wells-100.csv --dataset solveq --temperatures 100:300:5 --jobs 1 --out /dev/null"
  [carry250]="batch $work/wells-1000.csv --dataset solveq --temperatures 250 --jobs 1 --out /dev/null"
  [geothermometry]="geothermometry $work/wells-1000.csv --dataset both --jobs 2 --format csv"
  [uncertainty]="uncertainty $root/examples/nacl-water.ini --dataset solveq --draws 1000 --jobs 2 --format csv"
)
declare -A target=([batch41]=0.28 [carry250]=0.15 [geothermometry]=5 [uncertainty]=2)
args=()
for job in ${JOBS:-batch41 carry250 geothermometry uncertainty}; do
  for c in "$cli" $other; do
    args+=(-n "$job $c" "$c ${command[$job]}")
  done
done
hyperfine -N --warmup 1 --runs "${RUNS:-5}" --output=null --export-json "$work/times.json" \
  "${args[@]}"

/usr/bin/python3 - "$work/times.json" <<PY
import json, statistics, sys
target = {"batch41": 0.28, "carry250": 0.15, "geothermometry": 5, "uncertainty": 2}
for r in json.load(open(sys.argv[1]))["results"]:
    job, binary = r["command"].split(" ", 1)
    print(f"{job:<15} {binary:<50} median {statistics.median(r['times']):7.3f} s  "
          f"cpu {r['user'] + r['system']:7.3f} s  target {target[job]} s")
PY
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

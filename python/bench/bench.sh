#!/usr/bin/env bash
# Whole-process timing of geofluid.evaluate against `geofluid-cli batch` on the same table of
# N samples (the readable wells of examples/wells.csv, repeated and varied by up to ±10 %),
# both datasets, the pH carried to T; then the same over a local Dask cluster of 1 and 2
# worker processes (their start-up included).
#   [RUNS=5] [WARMUP=1] python/bench/bench.sh [BUILD_DIR] [N] [T]   (defaults: build 10000 250)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
n="${2:-10000}"
t="${3:-250}"
cli="$build/app/cli/geofluid-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export PYTHONPATH="$build/python:$root/python/tests"
/usr/bin/python3 -c "
from conftest import varied_wells
varied_wells($n).to_csv('$work/wells-$n.csv', index=False)"

py="/usr/bin/python3 $root/python/bench/evaluate_file.py $work/wells-$n.csv $t"
hyperfine --warmup "${WARMUP:-1}" --runs "${RUNS:-5}" -N --export-markdown "$work/table.md" \
  -n "geofluid-cli batch" "$cli batch $work/wells-$n.csv --dataset both --temperatures $t --out /dev/null" \
  -n "geofluid.evaluate" "$py" \
  -n "geofluid.dask 1 worker" "$py --dask 1" \
  -n "geofluid.dask 2 workers" "$py --dask 2"
cat "$work/table.md"

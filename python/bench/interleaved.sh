#!/usr/bin/env bash
# The module against `geofluid-cli batch` on the same table, the two runs alternating so that
# both meet the same load of a shared machine: wall, user and system seconds of each run, then
# the medians and the ratio module / command line.
#   [ROUNDS=5] python/bench/interleaved.sh [BUILD_DIR] [N] [T]   (defaults: build 2000 250)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
n="${2:-2000}"
t="${3:-250}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export PYTHONPATH="$build/python:$root/python/tests"
/usr/bin/python3 -c "
from conftest import varied_wells
varied_wells($n).to_csv('$work/wells.csv', index=False)"
for round in $(seq "${ROUNDS:-5}"); do
  /usr/bin/time -f "cli %e %U %S" -a -o "$work/times" "$build/app/cli/geofluid-cli" batch \
    "$work/wells.csv" --dataset both --temperatures "$t" --out /dev/null
  /usr/bin/time -f "python %e %U %S" -a -o "$work/times" /usr/bin/python3 \
    "$root/python/bench/evaluate_file.py" "$work/wells.csv" "$t"
done
cat "$work/times"
/usr/bin/python3 - "$work/times" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
med = {(w, k): statistics.median(float(r[i]) for r in rows if r[0] == w)
       for w in ("cli", "python") for k, i in (("wall", 1), ("user", 2), ("sys", 3))}
for k in ("wall", "user", "sys"):
    print(f"median {k}: cli {med['cli', k]:.2f} s, python {med['python', k]:.2f} s, "
          f"python/cli {med['python', k] / med['cli', k]:.3f}")
PY

#!/usr/bin/env bash
# Whole-process timing of `geofluid-cli batch`: N samples (the Na-Cl, acid-sulfate and
# bicarbonate wells of examples/wells.csv, each varied by up to ±10 %) carried from their pH
# temperature to 250 °C with the steam correction, both datasets.
#   bench/batch_bench.sh [BUILD_DIR]     (default build/)
# Prints hyperfine's table and the medians and ratios against the targets.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/app/cli/geofluid-cli"
[ -x "$cli" ] || { echo "no $cli: build geofluid-cli first" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Inputs: the wells without the faulty row, repeated and varied with a fixed seed.
/usr/bin/python3 - "$root/examples/wells.csv" "$work" <<'PY'
import csv, random, sys
rows = list(csv.DictReader(open(sys.argv[1], newline="")))
rows = [r for r in rows if r["id"] != "NA-09"]
fields = list(rows[0].keys())
random.seed(1)
for n in (1000, 2000, 10000):
    with open(f"{sys.argv[2]}/wells-{n}.csv", "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=fields, lineterminator="\n")
        w.writeheader()
        for i in range(n):
            r = dict(rows[i % len(rows)])
            r["id"] = f"{r['id']}-{i}"
            for k in fields[6:]:
                if r[k] not in ("", "0"):
                    r[k] = f"{float(r[k]) * random.uniform(0.9, 1.1):.4g}"
            w.writerow(r)
PY

run() {  # run N JOBS
  echo "$cli batch $work/wells-$1.csv --dataset both --temperatures 250 --jobs $2 --out /dev/null"
}
hyperfine --warmup 1 --runs "${RUNS:-10}" -N --ignore-failure --export-json "$work/times.json" \
  -n "1000 x1" "$(run 1000 1)" -n "1000 x2" "$(run 1000 2)" \
  -n "2000 x2" "$(run 2000 2)" -n "10000 x2" "$(run 10000 2)"

/usr/bin/python3 - "$work/times.json" <<'PY'
import json, statistics, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {name: statistics.median(r["times"]) for name, r in results.items()}
for name, m in med.items():
    print(f"median {name:>9}: {m:.3f} s")
print(f"1000 samples, 2 jobs: {med['1000 x2']:.3f} s (target <= 0.3 s)")
print(f"10000 samples, 2 jobs: {med['10000 x2']:.3f} s (target <= 3 s)")
print(f"2 jobs against 1 (1000 samples): {med['1000 x1'] / med['1000 x2']:.2f}x (target >= 1.7x)")
print(f"10000 / 1000 samples (2 jobs): {med['10000 x2'] / med['1000 x2']:.2f} (linear: 10)")
print(f"2000 / 1000 samples (2 jobs): {med['2000 x2'] / med['1000 x2']:.2f} (linear: 2)")
PY

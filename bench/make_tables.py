#!/usr/bin/env python3
"""Writes the tables of the timing jobs (bench/jobs.sh): N samples drawn from the Na-Cl,
acid-sulfate and bicarbonate wells of examples/wells.csv, every analysed value varied by up to
±10 % with a fixed seed, so that the same command gives the same tables.

    bench/make_tables.py OUT_DIR [N ...]     (default N: 100 1000)
writes OUT_DIR/wells-N.csv for each N.
"""
import csv
import pathlib
import random
import sys

root = pathlib.Path(__file__).resolve().parent.parent


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    out = pathlib.Path(argv[1])
    out.mkdir(parents=True, exist_ok=True)
    sizes = [int(n) for n in argv[2:]] or [100, 1000]
    with open(root / "examples" / "wells.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    rows = [r for r in rows if r["id"] != "NA-09"]  # the example's faulty row
    fields = list(rows[0].keys())
    analysed = fields[fields.index("SiO2"):]
    for n in sizes:
        rng = random.Random(n)
        with open(out / f"wells-{n}.csv", "w", newline="") as f:
            w = csv.DictWriter(f, fieldnames=fields, lineterminator="\n")
            w.writeheader()
            for i in range(n):
                r = dict(rows[i % len(rows)])
                r["id"] = f"{r['id']}-{i}"
                for k in analysed:
                    if r[k] not in ("", "0"):
                        r[k] = f"{float(r[k]) * rng.uniform(0.9, 1.1):.4g}"
                w.writerow(r)


if __name__ == "__main__":
    main(sys.argv)

#!/usr/bin/env python3
"""Where the time of a carried point goes: perf's call-graph samples of the 100 x 41 batch of
bench/jobs.sh (SOLVEQ, one thread, three runs), each sample given to the first phase its stack
holds, in the order below (the estimate's own passes count as the estimate's). Prints each
phase's share and the time per carried point in perf's samples, which run slower than the
plain process.

    /usr/bin/python3 bench/phases.py CLI [OTHER_CLI ...]
"""
import argparse
import collections
import subprocess
import tempfile
from pathlib import Path

PHASES = [
    ("estimate (Newton on the balances)", ["EstimatePh"]),
    ("exact speciations", ["SpeciateSideBySide", "speciation::Speciate("]),
    ("saturation indices", ["SaturationIndices"]),
    ("steam fraction", ["SteamFraction"]),
    ("rest of the evaluation", ["engine::Evaluate"]),
    ("output", ["SinkList::Write"]),
    ("page faults", ["exc_page_fault"]),
    ("input", ["CsvInput"]),
]
OTHER = "start-up, parsing, exit, other"
RUNS, FREQUENCY, POINTS = 3, 3000, 100 * 41

root = Path(__file__).resolve().parent.parent
parser = argparse.ArgumentParser()
parser.add_argument("cli", nargs="+")
args = parser.parse_args()

with tempfile.TemporaryDirectory() as work:
    subprocess.run(["/usr/bin/python3", str(root / "bench/make_tables.py"), work, "100", "1000"],
                   check=True, stdout=subprocess.DEVNULL)
    command = (f"batch {work}/wells-100.csv --dataset solveq --temperatures 100:300:5 "
               "--jobs 1 --out /dev/null")
    for cli in args.cli:
        data = f"{work}/perf.data"
        loop = f"for i in $(seq {RUNS}); do {cli} {command} 2>/dev/null; done"
        subprocess.run(["perf", "record", "-q", "--call-graph", "dwarf,16384", "-F",
                        str(FREQUENCY), "-o", data, "--", "sh", "-c", loop],
                       check=True, stderr=subprocess.DEVNULL)
        script = subprocess.run(["perf", "script", "-i", data, "-F", "ip,sym"],
                                check=True, capture_output=True, text=True).stdout
        counts = collections.Counter()
        samples = 0
        for stack in script.split("\n\n"):
            if not stack.strip():
                continue
            samples += 1
            phase = next((name for name, keys in PHASES if any(k in stack for k in keys)), OTHER)
            counts[phase] += 1
        print(cli)
        for name in [p[0] for p in PHASES] + [OTHER]:
            print(f"  {name:36s} {100 * counts[name] / max(samples, 1):5.1f} %")
        per_point = samples / FREQUENCY / RUNS / POINTS * 1e6
        print(f"  {samples} samples, {per_point:.1f} µs per carried point under perf")

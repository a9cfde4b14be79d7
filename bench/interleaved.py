#!/usr/bin/env python3
"""The one-thread jobs of bench/jobs.sh, with the builds run in turn rather than one after the
other: on a machine whose speed drifts within minutes, a drift then falls on every build alike.
Prints the median wall and CPU time of each job and build.

    /usr/bin/python3 bench/interleaved.py CLI [OTHER_CLI ...] [--runs N]
"""
import argparse
import resource
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

root = Path(__file__).resolve().parent.parent
parser = argparse.ArgumentParser()
parser.add_argument("cli", nargs="+")
parser.add_argument("--runs", type=int, default=20)
args = parser.parse_args()

with tempfile.TemporaryDirectory() as work:
    subprocess.run(["/usr/bin/python3", str(root / "bench/make_tables.py"), work, "100", "1000"],
                   check=True, stdout=subprocess.DEVNULL)
    jobs = {
        "batch41": f"batch {work}/wells-100.csv --dataset solveq --temperatures 100:300:5",
        "carry250": f"batch {work}/wells-1000.csv --dataset solveq --temperatures 250",
    }
    for job, command in jobs.items():
        wall = {c: [] for c in args.cli}
        cpu = {c: [] for c in args.cli}
        for n in range(args.runs):
            for cli in args.cli if n % 2 == 0 else reversed(args.cli):
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                start = time.perf_counter()
                subprocess.run([cli, *command.split(), "--jobs", "1", "--out", "/dev/null"],
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                wall[cli].append(time.perf_counter() - start)
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                cpu[cli].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
        for cli in args.cli:
            print(f"{job:9} {cli:50} median {statistics.median(wall[cli]):.3f} s"
                  f"  cpu {statistics.median(cpu[cli]):.3f} s")

#!/usr/bin/python3
"""Figures of docs/validation.md: Geofluid's saturation indices of water W against PHREEQC's
(3.8.9, llnl.dat), and the solute geothermometers of examples/wells.csv.

    /usr/bin/python3 docs/validation.py build/app/cli/geofluid-cli

writes docs/validation.png and prints the tables of the page (Markdown).
"""
import csv
import io
import subprocess
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

DOCS = Path(__file__).resolve().parent
ROOT = DOCS.parent
CASES = [("W-25", "25 °C, pH 8.3"), ("W-180", "180 °C, pH 6.5"), ("W-250", "250 °C, pH 6.0")]

# PHREEQC 3.8.9 with llnl.dat (../shared/reference/phreeqc-water-W.md): label -> SI at 25, 180, 250 °C.
PEER = {
    "quartz": (2.038, 0.589, 0.267),
    "chalcedony": (1.767, 0.411, 0.113),
    "calcite": (-0.674, -1.036, -1.870),
    "anhydrite": (-3.332, -1.197, -0.005),
    "albite (low)": (8.271, 2.213, 0.949),
    "microcline": (10.303, 2.699, 1.101),
    "muscovite": (16.402, 4.452, 2.292),
    "kaolinite": (9.228, 1.748, 0.427),
    "wairakite": (6.928, 1.933, 1.186),
    "laumontite": (11.333, 2.932, 1.201),
    "pyrite": (7.080, 1.711, 0.051),
    "magnetite": (0.543, 4.425, 4.965),
    "hematite": (0.727, 3.099, 3.480),
}
# The same minerals as each dataset names them.
NAMES = {
    "solveq": {"albite (low)": "LOW-ALBITE"},
    "supcrt": {"albite (low)": "ALBITE_LOW"},
}
DATASETS = [("solveq", "SOLVEQ"), ("supcrt", "SUPCRT98")]


def run(cli, *args):
    done = subprocess.run([cli, *args], cwd=ROOT, capture_output=True, text=True)
    if done.returncode not in (0, 1):
        sys.exit(f"{' '.join(args)}: {done.stderr}")
    return list(csv.DictReader(io.StringIO(done.stdout)))


def geofluid_si(cli):
    rows = run(cli, "batch", "docs/water-w.csv", "--dataset", "both", "--no-steam-correction")
    si = {}
    for r in rows:
        if r["status"] == "error":
            sys.exit(f"{r['id']} {r['dataset']}: {r['message']}")
        for label in PEER:
            column = "SI_" + NAMES[r["dataset"]].get(label, label.upper())
            si[(r["dataset"], r["id"], label)] = float(r[column])
    return si


def chart(si):
    labels = list(PEER)
    fig, axes = plt.subplots(1, 3, figsize=(15, 5.6), sharey=False)
    for k, (case, title) in enumerate(CASES):
        ax = axes[k]
        y = range(len(labels))
        ax.axvline(0.0, color="0.6", lw=0.8)
        ax.scatter([PEER[m][k] for m in labels], y, marker="o", s=46, facecolors="none",
                   edgecolors="black", label="PHREEQC 3.8.9, llnl.dat", zorder=3)
        for (key, name), marker, colour in zip(DATASETS, ["s", "^"], ["#1f77b4", "#d62728"]):
            ax.scatter([si[(key, case, m)] for m in labels], y, marker=marker, s=26,
                       color=colour, label=f"Geofluid {name}", zorder=4)
        ax.set_yticks(list(y))
        ax.set_yticklabels(labels if k == 0 else [])
        ax.invert_yaxis()
        ax.set_title(f"Water W, {title}")
        ax.set_xlabel("saturation index log(Q/K)")
        ax.grid(axis="x", color="0.9")
    axes[0].legend(loc="lower right", fontsize=9)
    fig.tight_layout()
    fig.savefig(DOCS / "validation.png", dpi=96)


def table(si):
    print("| mineral | T °C | PHREEQC | SOLVEQ | SUPCRT98 | SOLVEQ - PHREEQC | SUPCRT98 - PHREEQC |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for label in PEER:
        for k, (case, _) in enumerate(CASES):
            p = PEER[label][k]
            a = si[("solveq", case, label)]
            b = si[("supcrt", case, label)]
            print(f"| {label} | {case[2:]} | {p:.3f} | {a:.3f} | {b:.3f} | {a - p:+.2f} | "
                  f"{b - p:+.2f} |")


def wells(cli):
    rows = run(cli, "geothermometry", "examples/wells.csv", "--format", "csv")
    keys = ["quartz_fournier1977", "quartz_steam_loss_fournier1977", "chalcedony_fournier1977",
            "na_k_fournier1979", "na_k_giggenbach1988", "na_k_ca_fournier_truesdell1973",
            "k_mg_giggenbach1988"]
    print("\n| well | " + " | ".join(keys) + " | Giggenbach class | RMS SOLVEQ | RMS SUPCRT98 |")
    print("|---|" + "---:|" * len(keys) + "---|---:|---:|")
    for r in rows:
        if r["error"]:
            print(f"| {r['id']} | " + " | ".join("" for _ in keys) + f" | {r['error']} | | |")
            continue
        cells = [f"{float(r[k]):.0f}" if r[k] else "-" for k in keys]
        rms = [f"{float(r[k]):.0f}" if r[k] else "-" for k in ("solveq_rms", "supcrt_rms")]
        print(f"| {r['id']} | " + " | ".join(cells) + f" | {r['giggenbach_class']} | "
              + " | ".join(rms) + " |")


def main():
    cli = str(Path(sys.argv[1]).resolve()) if len(sys.argv) > 1 else str(
        ROOT / "build/app/cli/geofluid-cli")
    si = geofluid_si(cli)
    chart(si)
    table(si)
    wells(cli)


if __name__ == "__main__":
    main()

"""A field study from Python: the well discharges of examples/wells.csv (mg/kg), their reservoir
temperatures, their chemistry at those temperatures, and a chart of log(Q/K) against
temperature for one well.

    PYTHONPATH=build/python /usr/bin/python3 examples/field_study.py [WELL] [FIGURE.png]

(defaults: NA-01, docs/field_study.png)
"""
import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import pandas as pd  # noqa: E402

import geofluid  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[1]
WELL = sys.argv[1] if len(sys.argv) > 1 else "NA-01"
FIGURE = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else ROOT / "docs" / "field_study.png"

# The table gives its units per row (mg/kg for the water, mmol/kg for the steam's gases). Read
# ids as text and numbers exactly as written.
wells = pd.read_csv(ROOT / "examples" / "wells.csv", dtype={"id": str},
                    float_precision="round_trip").set_index("id", drop=False)

# Reservoir temperatures: the multicomponent estimate of each dataset and the solute
# geothermometers. A row that cannot be read says why in `error` and is left out below.
reservoir = geofluid.geothermometry(wells)
for _, row in reservoir[reservoir["error"] != ""].iterrows():
    print(f"left out: {row['error']}")
reservoir = reservoir[reservoir["error"] == ""]
print("\nReservoir temperatures, °C (quartz of the water as sampled and of the reservoir liquid)")
print(reservoir[["solveq_rms", "supcrt_rms", "quartz_fournier1977",
                 "reservoir_quartz_fournier1977", "na_k_giggenbach1988",
                 "giggenbach_class"]].round(1).to_string())

# The summary a geochemist reads first: per group, the reservoir-liquid values that no flag
# rules out (not applicable, immature, out of range, below detection) and their range.
RULED_OUT = ("not_applicable", "immature", "out_of_range", "below_detection")
SILICA = ("quartz", "chalcedony")
print("\nSummary, reservoir liquid, °C")
for well, row in reservoir.iterrows():
    groups = {"silica": [], "cation": []}
    for column in reservoir.columns:
        if not column.startswith("reservoir_flags_") or "steam_loss" in column:
            continue
        key = column[len("reservoir_flags_"):]
        value = row["reservoir_" + key]
        if key.startswith(("amorphous", "cristobalite")) or pd.isna(value):
            continue  # lower bounds, or no value
        if any(code in row[column].split(";") for code in RULED_OUT):
            continue
        groups["silica" if key.startswith(SILICA) else "cation"].append(value)
    text = [f"{name} {min(v):.0f}-{max(v):.0f} ({len(v)})" if v else f"{name} none"
            for name, v in groups.items()]
    print(f"{well:6s} " + ", ".join(text) +
          f", multicomponent RMS {row['solveq_rms']:.0f} / {row['supcrt_rms']:.0f}")

# Each well evaluated at the quartz temperature of its reservoir liquid (Fournier 1977), the
# usual first guess of the reservoir temperature, with the pH carried there.
at_reservoir = wells.loc[reservoir.index].assign(
    temperatures=reservoir["reservoir_quartz_fournier1977"].round().astype(int).astype(str))
result = geofluid.evaluate(at_reservoir, dataset="solveq")
print("\nAt the reservoir liquid's quartz temperature (SOLVEQ)")
print(result[["temperature", "status", "pH", "steam_fraction", "SI_QUARTZ", "SI_CALCITE",
              "SI_ANHYDRITE"]].round(3).to_string())

# log(Q/K) of the estimate's mineral set against temperature for one well, both datasets.
sweep = geofluid.sweep(wells.loc[[WELL]], temperatures="100:300:5")
estimate = reservoir.loc[WELL]
separation = wells.loc[WELL, "separation"]
LABEL_BOX = dict(boxstyle="square,pad=0.15", facecolor="white", edgecolor="none", alpha=0.85)
fig, axes = plt.subplots(1, 2, figsize=(12, 6.4), sharey=True, layout="constrained")
for ax, (key, title) in zip(axes, [("solveq", "SOLVEQ"), ("supcrt", "SUPCRT98")]):
    curves = sweep[(sweep["dataset"] == key) & (sweep["status"] != "error")]
    for k, mineral in enumerate(geofluid.default_minerals(key)):
        # Names as the dataset spells them, made readable (SOLVEQ spells prehnite "PRHENITE").
        label = mineral.replace("_", " ").title().replace("Prhenite", "Prehnite")
        ax.plot(curves["temperature"], curves["SI_" + mineral], lw=1.6,
                ls="-" if k < 10 else "--", label=label)
    ax.axhline(0.0, color="black", lw=0.8)
    # Below the separation temperature the fluid has not boiled: no steam is recombined, hence
    # the kink of every curve there.
    ax.axvspan(100, separation, color="0.92", zorder=0)
    ax.annotate(f"below the separation\ntemperature ({separation:g} °C):\nno steam recombined",
                (100, 0.0), xycoords=("data", "axes fraction"), xytext=(4, 4),
                textcoords="offset points", ha="left", va="bottom", fontsize=8, color="0.35")
    rms = estimate[f"{key}_rms"]
    quartz = estimate["reservoir_quartz_fournier1977"]
    ax.axvline(rms, color="tab:red", lw=1.2, ls=":")
    ax.annotate(f"multicomponent\nestimate (RMS)\n{rms:.0f} °C", (rms, 1.0),
                xycoords=("data", "axes fraction"), xytext=(-4, -4), textcoords="offset points",
                ha="right", va="top", color="tab:red", fontsize=8, bbox=LABEL_BOX)
    ax.axvline(quartz, color="0.3", lw=1.0, ls="--")
    ax.annotate(f"quartz geothermometer,\nreservoir liquid\n{quartz:.0f} °C", (quartz, 0.80),
                xycoords=("data", "axes fraction"), xytext=(-4, -4), textcoords="offset points",
                ha="right", va="top", color="0.3", fontsize=8, bbox=LABEL_BOX)
    ax.set_title(title)
    ax.set_xlabel("Temperature (°C)")
    ax.set_xlim(100, 300)
    ax.grid(True, lw=0.3, alpha=0.6)
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.12), ncol=4, fontsize=8,
              frameon=False)
axes[0].set_ylabel("log(Q/K)  (saturation index)")
axes[0].set_ylim(-6, 6)
fig.suptitle(f"Well {WELL}: log(Q/K) of the alteration minerals against temperature\n"
             f"pH measured at {wells.loc[WELL, 'ph_temperature']:g} °C, carried to each "
             f"temperature through TOTH; curves below -6 leave the chart", fontsize=11)
FIGURE.parent.mkdir(parents=True, exist_ok=True)
fig.savefig(FIGURE, dpi=110)
print(f"\nFigure: {FIGURE}")

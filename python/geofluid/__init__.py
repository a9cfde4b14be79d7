"""Geofluid from Python: the chemistry of geothermal fluids on pandas DataFrames.

Each row of an input DataFrame is one sample of separated hot water and its steam, in the
columns of a `geofluid-cli batch` table (see INPUT_COLUMNS and help(geofluid.evaluate)). The
sample is speciated at the temperature at which its pH was measured, and its pH is then carried
to the temperatures asked for, with each of the two thermodynamic datasets (SOLVEQ, SUPCRT98).

    evaluate(df, ...)      one row per sample, dataset and temperature: pH, TOTH, steam
                           fraction, saturation indices; faults per row in status/message
    species(df, ...)       the species of each evaluation in long form
    sweep(df, ...)         pH and log(Q/K) of every mineral over a grid of temperatures
    geothermometry(df, ...)  reservoir temperatures: multicomponent estimates per dataset,
                           solute geothermometers, Giggenbach's Na-K-Mg class
    uncertainty(df, ...)   Monte Carlo: medians and 5-95 % intervals of pH, SI and estimates
    constants(dataset, t)  the equilibrium constants of a dataset at a temperature
    evaluate_sample(sample, ...)  one typed Sample (mol/kg) evaluated: a list of Evaluation,
                           whose species and minerals are read by name
    estimate_sample(sample, ...)  its multicomponent temperature estimates (Estimate)
    uncertainty_sample(sample, ...)  its Monte Carlo (UncertaintyResult of Interval)
    dataset(key)           a Dataset: its key, title, species, minerals and default minerals
    geofluid.dask          the same evaluation over the partitions of a Dask DataFrame

The work runs in compiled code on the module's own threads, with the GIL released.
"""

import math
import os

import numpy as np
import pandas as pd

from . import _geofluid

# The library's own types: Sample (molalities), Dataset, Evaluation (Species, Mineral), Estimate,
# UncertaintyResult (Interval).
Sample = _geofluid.Sample
Dataset = _geofluid.Dataset
Evaluation = _geofluid.Evaluation
Species = _geofluid.Species
Mineral = _geofluid.Mineral
Estimate = _geofluid.Estimate
Interval = _geofluid.Interval
UncertaintyResult = _geofluid.UncertaintyResult
dataset = _geofluid.dataset
evaluate_sample = _geofluid.evaluate_sample
estimate_sample = _geofluid.estimate_sample
uncertainty_sample = _geofluid.uncertainty_sample
for _type in (Sample, Dataset, Evaluation, Species, Mineral, Estimate, Interval,
              UncertaintyResult):
    _type.__module__ = "geofluid"


def _celsius(value):
    return "none" if value is None else f"{value:.1f} °C"


# What an interactive session shows of a result: the values that tell one from another.
Evaluation.__repr__ = lambda e: (f"<geofluid.Evaluation {e.dataset.key} at {e.temperature:g} °C: "
                                 f"pH {e.pH:.4f}, {len(e.minerals())} minerals>")
Species.__repr__ = lambda s: f"<geofluid.Species {''.join(s.name.split())}: {s.molality:.6g} mol/kg>"
Mineral.__repr__ = lambda m: f"<geofluid.Mineral {m.name.strip()}: SI {m.si:.4f}>"
Estimate.__repr__ = lambda e: (f"<geofluid.Estimate {e.dataset.key}: RMS {_celsius(e.rms)}, "
                               f"median {_celsius(e.median)}, {len(e.used)} mineral"
                               f"{'' if len(e.used) == 1 else 's'} used>")
Interval.__repr__ = lambda i: (f"<geofluid.Interval median {i.median:.6g}, 5-95 % "
                               f"{i.q05:.6g} to {i.q95:.6g} of {i.n} draws>")
UncertaintyResult.__repr__ = lambda r: (f"<geofluid.UncertaintyResult {r.draws} draws, "
                                        f"{r.failed_draws} failed>")

# Raised for every failure the library reports and every argument it refuses; a ValueError (and
# a RuntimeError), so that code catching either keeps working.
Error = _geofluid.Error
Error.__module__ = "geofluid"

__all__ = [
    "Error",
    "evaluate",
    "species",
    "sweep",
    "geothermometry",
    "uncertainty",
    "scaling",
    "constants",
    "default_minerals",
    "Sample",
    "Dataset",
    "Evaluation",
    "Species",
    "Mineral",
    "Estimate",
    "Interval",
    "UncertaintyResult",
    "dataset",
    "evaluate_sample",
    "estimate_sample",
    "uncertainty_sample",
    "read_table",
    "table_columns",
    "INPUT_COLUMNS",
    "SPECIES_COLUMNS",
]

#: The columns an input DataFrame may have (any order; id, pH and ph_temperature at least).
INPUT_COLUMNS = tuple(_geofluid.input_columns())

#: The first columns of evaluate's result; the SI_<mineral> columns follow.
RESULT_COLUMNS = (
    "id",
    "dataset",
    "temperature",
    "status",
    "message",
    "pH",
    "ionic_strength",
    "toth",
    "steam_fraction",
    "charge_balance_percent",
    "passes",
    "trials",
    "converged",
)

#: The columns of species' result.
SPECIES_COLUMNS = (
    "id",
    "dataset",
    "temperature",
    "species",
    "charge",
    "molality",
    "gamma",
    "activity",
    "log_activity",
)

_EXACT_INTEGER = 2.0**53


def _column(series):
    """One input column as the compiled part takes it: float64, or objects with None for gaps."""
    if pd.api.types.is_float_dtype(series.dtype):
        return series.to_numpy(dtype=np.float64, na_value=np.nan)
    elif pd.api.types.is_integer_dtype(series.dtype):
        values = series.to_numpy(dtype=np.float64, na_value=np.nan)
        # Integers a double holds exactly keep their text; larger ones (long ids) go as text.
        if not np.any(np.abs(values) >= _EXACT_INTEGER):
            return values
    values = series.to_numpy(dtype=object, copy=True)
    values[pd.isna(values)] = None
    return values


def read_table(path):
    """A batch table (CSV) as evaluate() takes it: ids as text, numbers exactly as written."""
    return pd.read_csv(path, dtype={"id": str}, float_precision="round_trip")


def _frame(df):
    if isinstance(df, (str, os.PathLike)):
        df = read_table(df)
    elif not isinstance(df, pd.DataFrame):
        df = pd.DataFrame(df)
    index = df.index
    # Samples indexed by their id: the id is a column of the table (and stays the index).
    if "id" not in df.columns and df.index.name == "id":
        df = df.reset_index()
    names = [str(name) for name in df.columns]
    columns = [_column(df.iloc[:, k]) for k in range(df.shape[1])]
    if isinstance(index, pd.RangeIndex) and index.start == 0 and index.step == 1:
        labels = []  # the label is the position
    else:
        labels = [str(label) for label in index]
    return index, names, columns, labels


def _run(df, temperatures, dataset, units, steam_correction, steam_units, threads, interpolation,
         table, species):
    index, names, columns, labels = _frame(df)
    if isinstance(temperatures, np.ndarray):
        temperatures = temperatures.tolist()
    out = _geofluid.run(
        names,
        columns,
        labels,
        temperatures,
        dataset,
        units,
        steam_units,
        bool(steam_correction),
        int(threads),
        interpolation,
        table,
        species,
    )
    return index, out


def _table(index, t):
    missing = ~t["evaluated"]
    data = {
        "id": t["id"],
        "dataset": t["dataset"],
        "temperature": t["temperature"],
        "status": t["status"],
        "message": t["message"],
        "pH": t["pH"],
        "ionic_strength": t["ionic_strength"],
        "toth": t["toth"],
        "steam_fraction": t["steam_fraction"],
        "charge_balance_percent": t["charge_balance_percent"],
        "passes": pd.arrays.IntegerArray(t["passes"], missing),
        "trials": pd.arrays.IntegerArray(t["trials"], missing),
        "converged": pd.arrays.BooleanArray(t["converged"], missing),
    }
    for key, fixed in zip(t["fixed_keys"], t["fixed"]):
        data["fixed_" + key] = fixed
    for name, si in zip(t["minerals"], t["si"]):
        data["SI_" + name] = si
    return pd.DataFrame(data, index=index.take(t["row"]), copy=False)


def _species(index, s):
    data = {name: s[name] for name in SPECIES_COLUMNS}
    return pd.DataFrame(data, index=index.take(s["row"]), copy=False)


def evaluate(
    df,
    temperatures=None,
    dataset="both",
    units="mol/kg",
    steam_correction=True,
    *,
    steam_units=None,
    threads=0,
    interpolation="specified",
):
    """Evaluate every sample of a DataFrame; one result row per sample, dataset and temperature.

    The same calculation, with the same numbers bit for bit, as `geofluid-cli batch`.

    Input ``df`` (a DataFrame, anything pandas.DataFrame() takes, or the path of a CSV table,
    read by read_table()), one sample per row, in the columns of a batch table (INPUT_COLUMNS;
    any order, unknown names are refused):
      id              the sample's name (text; a DataFrame indexed by "id" is taken as well)
      SiO2, Na, K, Ca, Mg, Fe, Al, CO3(2-), SO4(2-), HS(-), Cl, NH3
                      the separated water's analysis in ``units``; the forms HCO3,
                      total_CO2, total_H2S and NH4 are converted by their molar mass
                      (one form per component); a missing value is a component not analysed
      pH              measured at ph_temperature (°C)
      ph_temperature  °C at which the pH was measured
      separation      steam-separation temperature, °C (needed with the steam correction)
      CO2, H2S        the steam's gases per kg of steam (mol/kg with mol/kg, else mg/kg,
                      or as ``steam_units`` says)
      H2O             moles of water (default 55.51, 1 kg)
      units, steam_units, density (kg/L, for mg/L), temperatures
                      per-row overrides of the arguments
    Numbers are read exactly: read a CSV with ``pd.read_csv(path, dtype={"id": str},
    float_precision="round_trip")`` to get the file's numbers bit for bit.

    Arguments:
      temperatures      °C to carry each pH to: a number, a list of numbers, or a text as
                        the command line takes it ("150,200,250", "100:300:10"). None: the
                        measured mode only, at each sample's ph_temperature.
      dataset           "solveq", "supcrt" or "both" (default; each sample with each).
      units             the water's unit: "mol/kg" (molality, default), "mg/kg" or "mg/L".
      steam_correction  carry the pH with the steam separated at ``separation`` (default).
      steam_units       the gases' unit: "mol/kg", "mmol/kg" or "mg/kg" (default: mol/kg with
                        mol/kg, else mg/kg).
      threads           threads to use, 0 (default) for all cores.
      interpolation     how the thermodynamic tables are carried to a temperature:
                        "specified" (default, the window's polynomial through all nodes) or
                        "steffen" (a monotone piecewise cubic through the same nodes).

    Returns a DataFrame indexed by the input's index labels (a label repeats for each dataset
    and temperature of its sample), with the columns:
      id, dataset ("solveq"/"supcrt"), temperature (°C),
      status ("ok", "warning", "error"), message (why, for a warning or an error),
      pH, ionic_strength (mol/kg), toth (total H+, mol/kg), steam_fraction (mass fraction),
      charge_balance_percent (100 (cations - anions) / (cations + anions), equivalents),
      passes, trials (speciation passes and pH trials), converged,
      fixed_<component> (with a fix_<component> column: the total that saturates the row's
      mineral at each temperature, mol/kg; NaN where not fixed),
      SI_<mineral> ... (log(Q/K) as the report prints it; empty where the dataset has no
      such mineral).
    A sample that cannot be read or evaluated gives rows with status "error" and a message
    naming the row (by its index label), the column and the cause; its numbers are empty.

    Raises ValueError, with the command line's message, for arguments it does not take and for
    an unknown, repeated or missing column (nothing is evaluated then).
    """
    index, out = _run(
        df, temperatures, dataset, units, steam_correction, steam_units, threads, interpolation,
        True, False
    )
    return _table(index, out["table"])


def species(
    df,
    temperatures=None,
    dataset="both",
    units="mol/kg",
    steam_correction=True,
    *,
    steam_units=None,
    threads=0,
    interpolation="specified",
):
    """The species of every evaluation in long form: one row per species.

    Takes the same input and arguments as evaluate(). Returns a DataFrame indexed by the input's
    index labels with the columns:
      id, dataset, temperature (°C), species (name, e.g. "Na(+)", "H4SiO4(aq)"),
      charge, molality (mol/kg H2O), gamma (activity coefficient), activity,
      log_activity (log10).
    A species without data at that temperature has empty values. Samples whose evaluation
    failed (status "error" in evaluate) have no rows.
    """
    index, out = _run(
        df, temperatures, dataset, units, steam_correction, steam_units, threads, interpolation,
        False, True
    )
    return _species(index, out["species"])


def sweep(
    df,
    temperatures="100:300:5",
    dataset="both",
    units="mol/kg",
    steam_correction=True,
    *,
    interpolation="specified",
    steam_units=None,
    threads=0,
):
    """pH and log(Q/K) of every mineral of each dataset over a grid of temperatures.

    The pH is measured at each sample's ph_temperature and carried through TOTH, with the
    steam correction, to each temperature exactly as evaluate() carries it. Takes the input
    columns and the arguments of evaluate() (see help(geofluid.evaluate)), and:
      temperatures   the grid, °C: "100:300:5" (default), a list, or a text as evaluate takes it
      interpolation  of the thermodynamic tables: "specified" (default, as everywhere else) or
                     "steffen" (a monotone piecewise cubic through the same nodes)

    Returns a DataFrame indexed by the input's labels, one row per sample, dataset and
    temperature, with the columns:
      id, dataset, interpolation, temperature (°C), status ("ok", "warning", "error"),
      message, pH, steam_fraction (mass fraction), toth (the carried TOTH target, mol/kg),
      converged, SI_<mineral> ... (log(Q/K); empty where the dataset has no such mineral).
    A sample that cannot be read, or whose speciation at its pH temperature fails, gives one
    row per dataset with status "error" and no temperature.
    """
    index, names, columns, labels = _frame(df)
    if isinstance(temperatures, np.ndarray):
        temperatures = temperatures.tolist()
    t = _geofluid.sweep(names, columns, labels, temperatures, dataset, units, steam_units,
                        bool(steam_correction), int(threads), interpolation)
    missing = ~t["evaluated"]
    data = {name: t[name] for name in ("id", "dataset", "interpolation", "temperature", "status",
                                       "message", "pH", "steam_fraction", "toth")}
    data["converged"] = pd.arrays.BooleanArray(t["converged"], missing)
    for name, si in zip(t["minerals"], t["si"]):
        data["SI_" + name] = si
    return pd.DataFrame(data, index=index.take(t["row"]), copy=False)


def geothermometry(
    df,
    dataset="both",
    minerals=None,
    temperatures="100:300:5",
    units="mol/kg",
    steam_correction=True,
    *,
    interpolation="specified",
    steam_units=None,
    threads=0,
    fix=None,
    normalize=False,
    optimize=None,
):
    """Reservoir temperatures of every sample, as `geofluid-cli geothermometry --format csv`.

    Multicomponent geothermometry (Reed & Spycher 1984): log(Q/K) of a mineral set over the
    temperature grid, with each dataset; the estimates are the temperatures minimising the RMS,
    |median|, |mean| and standard deviation of the SI over the set (Spycher et al. 2014),
    refined to 0.1 °C between grid points. Then the solute geothermometers of the separated
    water and the Na-K-Mg triangle of Giggenbach (1988).

    Takes the input columns and the arguments of evaluate() (see help(geofluid.evaluate)), and:
      minerals       the set, names as constants() gives them (e.g. ["QUARTZ", "CALCITE"]);
                     None: quartz, low albite, microcline, muscovite, clinochlore,
                     clinozoisite, prehnite, wairakite, laumontite, calcite, anhydrite
      temperatures   the grid, °C ("100:300:5" by default, or a list)
      interpolation  "specified" (default) or "steffen"
      fix            {"Al": "MICROCLINE"}: at each temperature the component's total is the one
                     that saturates the mineral (for analyses without Al, Mg or Fe); the mineral
                     leaves the statistics. Minerals by either dataset's name or the common name.
      normalize      divide each log(Q/K) by the moles of its reaction before the statistics
      optimize       "steam_loss", "dilution" or both: found with the temperature (minimising
                     the RMS), in the columns <dataset>_steam_loss, <dataset>_dilution
                     (fractions) and their curvature spread <dataset>_steam_loss_sd, ...

    Returns a DataFrame indexed by the input's labels, one row per sample, with the columns:
      id, interpolation, error (why the sample could not be evaluated),
      <dataset>_rms, <dataset>_median, <dataset>_mean, <dataset>_sd   estimates, °C
      <dataset>_steam_loss, <dataset>_steam_loss_sd, <dataset>_dilution, <dataset>_dilution_sd
                            with optimize only: the unknowns found (NaN where not found)
      <dataset>_crossings   where each mineral's SI crosses 0 ("QUARTZ 231.4; ...", °C)
      <dataset>_warnings    estimate on the edge of the range, too few crossings, minerals
                            left out, the interpolations parting (joined by "; ")
      for <dataset> solveq and/or supcrt; then the solute geothermometers, °C:
      quartz_fournier1977, quartz_steam_loss_fournier1977, chalcedony_fournier1977,
      na_k_truesdell1976, na_k_fournier1979, na_k_arnorsson1983, na_k_giggenbach1988,
      na_k_ca_fournier_truesdell1973, k_mg_giggenbach1988 (empty where an equation cannot be
      applied); giggenbach_na, giggenbach_k, giggenbach_mg (percent of Na/1000, K/100 and
      sqrt(Mg) in the triangle), maturity_index, giggenbach_class; the later geothermometers
      (quartz_fournier_potter1982 ... cristobalite_beta_fournier1977, as the README lists);
      reservoir_<key> for each, the reservoir liquid before it lost steam down to the
      separation temperature (NaN without one); flags_<key> and reservoir_flags_<key>
      (out_of_range, immature, partial_equilibrium, below_detection, not_applicable,
      condition, joined by ";");
      separation; below_detection (the cells given as "<x" or "n.d.": half the limit, or 0, is
      used); notes (the flags' reasons, why a reservoir value is missing).
    Raises ValueError for an unknown mineral, and as evaluate() does.
    """
    index, names, columns, labels = _frame(df)
    if isinstance(temperatures, np.ndarray):
        temperatures = temperatures.tolist()
    if isinstance(minerals, str):
        minerals = [m.strip() for m in minerals.split(",")]
    elif minerals is not None:
        minerals = list(minerals)
    t = _geofluid.geothermometry(names, columns, labels, temperatures, dataset, units,
                                 steam_units, bool(steam_correction), int(threads), interpolation,
                                 minerals, dict(fix or {}), bool(normalize),
                                 [o.strip() for o in optimize.split(",")]
                                 if isinstance(optimize, str) else list(optimize or []))
    row = t.pop("row")
    return pd.DataFrame(t, index=index.take(row))


def uncertainty(
    df,
    temperatures="100:300:5",
    dataset="both",
    errors=None,
    draws=1000,
    seed=1,
    units="mol/kg",
    steam_correction=True,
    *,
    minerals=None,
    threads=0,
    fix=None,
    normalize=False,
    optimize=None,
):
    """How sure is the answer: the inputs' errors drawn many times (Monte Carlo), as
    `geofluid-cli uncertainty --format csv`.

    Each draw moves every input by its error and is a whole evaluation, the pH carried through
    TOTH and the steam correction to every temperature. Takes the input columns of evaluate()
    (see help(geofluid.evaluate)) plus optional err_<input> columns per row, and:
      temperatures  °C: "100:300:5" (default), a list, or a text as evaluate takes it
      errors        1-sigma errors over the defaults (5 % for every component and steam gas,
                    0.1 for the pH, 0 for the temperatures) and the err_ columns: a dict
                    {"Na": "3%", "pH": 0.05, "Al": "x2"} or a list of "KEY=VALUE". "3%" is a
                    relative normal error (concentrations), "x2" a log-normal factor, a plain
                    number an absolute error (pH units, °C). Keys: the components (SiO2 ... NH3),
                    CO2, H2S, pH, ph_temperature, separation, temperature; "components" and
                    "gases" set all of them.
      draws, seed   the same seed gives the same numbers whatever the threads
      minerals      the set of the temperature estimate (None: as geothermometry())
      fix, normalize  as geothermometry(): {"Al": "MICROCLINE"} solved in every draw
      optimize      "steam_loss", "dilution" or both (a list): found in every draw with the
                    temperature, so the interval includes what they leave open

    Returns a DataFrame indexed by the input's labels, in long form, with the columns:
      id, dataset, temperature (°C; empty for an estimate or a solute geothermometer),
      quantity ("pH", "SI_<mineral>", "estimate_rms|median|mean|sd" in °C,
      "optimized_steam_loss", "optimized_dilution" (fractions, with optimize),
      "solute_<geothermometer>" in °C; "error" or "warning" for a row's messages),
      nominal (the draw-free value), median, q05, q95 (5 % and 95 % quantiles),
      n (draws counted; the others failed), message (the text of an error or a warning).
    """
    index, names, columns, labels = _frame(df)
    if isinstance(temperatures, np.ndarray):
        temperatures = temperatures.tolist()
    if errors is None:
        items = []
    elif isinstance(errors, dict):
        items = [f"{key}={value}" for key, value in errors.items()]
    elif isinstance(errors, str):
        items = [errors]
    else:
        items = list(errors)
    if minerals is not None:
        minerals = [m.strip() for m in minerals.split(",")] if isinstance(minerals, str) \
            else list(minerals)
    if isinstance(optimize, str):
        optimize = [o.strip() for o in optimize.split(",")]
    out = _geofluid.uncertainty(names, columns, labels, temperatures, dataset, units,
                                bool(steam_correction), int(threads), items, int(draws),
                                int(seed), minerals, dict(fix or {}), bool(normalize),
                                list(optimize or []))
    t = out["table"]
    table = pd.DataFrame({name: t[name] for name in ("id", "dataset", "temperature", "quantity",
                                                     "nominal", "median", "q05", "q95", "n")},
                         index=index.take(t["row"]), copy=False)
    table["message"] = ""
    notes = pd.DataFrame({
        "id": pd.Series(out["note_ids"], dtype=object),
        "dataset": "",
        "temperature": np.nan,
        "quantity": pd.Series(out["note_kinds"], dtype=object),
        "nominal": np.nan,
        "median": np.nan,
        "q05": np.nan,
        "q95": np.nan,
        "n": 0,
        "message": pd.Series(out["note_texts"], dtype=object),
    })
    notes.index = index.take(out["note_rows"])
    # Each row's messages before its numbers, the rows in the input's order.
    order = np.concatenate([out["note_rows"], t["row"]])
    both = pd.concat([notes, table])
    return both.iloc[np.argsort(order, kind="stable")]


def default_minerals(dataset):
    """The mineral set geothermometry() takes by default in "solveq" or "supcrt", as named there."""
    return _geofluid.default_minerals(dataset)


def constants(dataset, temperature):
    """The equilibrium constants of a dataset at a temperature, as `geofluid-cli constants`.

    dataset: "solveq" or "supcrt"; temperature in °C.
    Returns a DataFrame with the columns kind ("aqueous", "mineral" or "param"), index (the
    species' or mineral's number in the dataset), name, value: log10 K of the formation
    reaction of an aqueous species or the dissolution of a mineral, and the activity model's
    parameters A, B (Debye-Hückel) and Bdot.
    """
    if isinstance(temperature, str) or not math.isfinite(float(temperature)):
        raise Error(f"temperature={temperature!r} is not a number")
    out = _geofluid.constants(dataset, float(temperature))
    return pd.DataFrame(
        {
            "kind": out["kind"],
            "index": pd.array(out["index"], dtype="Int64"),
            "name": out["name"],
            "value": out["value"],
        }
    )


def table_columns(dataset="both"):
    """The columns evaluate() gives for ``dataset``, in order."""
    return list(RESULT_COLUMNS) + ["SI_" + m for m in _geofluid.mineral_columns(dataset)]


def empty_table(dataset="both"):
    """evaluate()'s result without rows: its columns and their dtypes."""
    data = {
        "id": np.array([], dtype=object),
        "dataset": np.array([], dtype=object),
        "temperature": np.array([], dtype=np.float64),
        "status": np.array([], dtype=object),
        "message": np.array([], dtype=object),
    }
    for name in ("pH", "ionic_strength", "toth", "steam_fraction", "charge_balance_percent"):
        data[name] = np.array([], dtype=np.float64)
    data["passes"] = pd.array([], dtype="Int64")
    data["trials"] = pd.array([], dtype="Int64")
    data["converged"] = pd.array([], dtype="boolean")
    for m in _geofluid.mineral_columns(dataset):
        data["SI_" + m] = np.array([], dtype=np.float64)
    return pd.DataFrame(data)


def _temperature_list(values, name):
    if values is None:
        return None
    if isinstance(values, str):
        values = [v for v in values.split(",")]
    elif np.isscalar(values):
        values = [values]
    try:
        return [float(v) for v in values]
    except (TypeError, ValueError):
        raise ValueError(f"{name}: {values!r} is not a list of temperatures in °C") from None


def scaling(
    df,
    reservoir,
    separation=None,
    cooling=None,
    *,
    stages=None,
    degassing="closed",
    step=1.0,
    dataset="both",
    minerals=None,
    units="mol/kg",
    steam_units=None,
    interpolation="specified",
    threads=0,
):
    """Boiling, degassing and scaling of every sample, as `geofluid-cli scaling --format csv`.

    Each sample's total fluid at the reservoir temperature (its pH carried from the measured
    mode through TOTH with the steam correction) boils adiabatically to each separation
    temperature, CO2 and H2S going into the steam by their distribution constants (IAPWS
    G7-04, Fernández-Prini et al. 2003) through their neutral aqueous species; the separated
    water is then cooled with its totals and TOTH fixed to each reinjection temperature.

    Takes the input columns and units of evaluate() (see help(geofluid.evaluate)), and:
      reservoir    °C, a solute geothermometer's key (e.g. "quartz_fournier1977") or
                   "multicomponent" (each dataset's RMS estimate)
      separation   separation temperatures, °C, each from the reservoir; or
      stages       separators in sequence, °C, falling (e.g. [180, 120])
      cooling      reinjection temperatures, °C
      degassing    "closed" (one step) or "open" (steps of `step` °C, the steam removed)
      minerals     names as constants() gives them, or "AMORPHOUS_SILICA"; None: amorphous
                   silica, quartz, calcite, anhydrite

    Returns a long DataFrame indexed by the input's labels, one row per sample, dataset and
    water: step "reservoir", then each "separation" followed by its "cooling" rows. Columns:
      id, dataset, step, separation (°C of the separator), temperature (°C), status (ok,
      warning, error), message, steam_fraction (of the water entering the separator),
      total_steam_fraction (of the reservoir fluid), pH, steam_CO2, steam_H2S (mol/kg of
      steam), liquid_CO2, liquid_H2S (total carbonate and sulphide of the water, mol/kg),
      ssi_amorphous_silica (SiO2 over the solubility of Fournier & Rowe 1977), SI_<mineral>.
    A row that cannot be read or evaluated is kept with status "error" and why in message.
    Raises ValueError for an unusable argument, with the command line's message.
    """
    if (separation is None) == (stages is None):
        raise ValueError("give either separation or stages")
    temperatures = _temperature_list(stages if stages is not None else separation,
                                     "stages" if stages is not None else "separation")
    cooling = _temperature_list(cooling, "cooling")
    if cooling is None:
        raise ValueError("cooling: give the reinjection temperatures")
    if isinstance(minerals, str):
        minerals = [m.strip() for m in minerals.split(",")]
    elif minerals is not None:
        minerals = list(minerals)
    index, names, columns, labels = _frame(df)
    t = _geofluid.scaling(names, columns, labels, str(reservoir), temperatures,
                          stages is not None, cooling, degassing, float(step), dataset, units,
                          steam_units, int(threads), interpolation, minerals)
    row = t.pop("row")
    return pd.DataFrame(t, index=index.take(row))

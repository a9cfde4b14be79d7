"""Every public function of geofluid on the example wells and on odd inputs, pickled.

    PYTHONPATH=build/python /usr/bin/python3 python/tools/snapshot.py save before.pickle
    PYTHONPATH=build/python /usr/bin/python3 python/tools/snapshot.py compare before.pickle

`compare` runs the same calls with the module on PYTHONPATH and checks each output against the
pickle exactly: frames by DataFrame.equals, their dtypes, index and column names; errors by type
and message. A change of the module's internals must leave every entry equal.
"""
import pickle
import sys
import warnings

import numpy as np
import pandas as pd

import geofluid

WELLS = "examples/wells.csv"


def odd_frames():
    wells = geofluid.read_table(WELLS)
    frames = {"wells": wells}
    mg = wells.iloc[:4].copy()  # mg/kg from the argument, not the column
    frames["mgkg_argument"] = mg.drop(columns=["units", "steam_units"])
    odd = wells.iloc[:8].copy().astype({"Na": object, "Cl": object, "pH": object})
    odd.loc[odd.index[0], "Na"] = "abc"            # text in a number column
    odd.loc[odd.index[1], "Cl"] = None            # an empty cell
    odd.loc[odd.index[2], "Na"] = " 962 "         # a number as text with blanks
    odd.loc[odd.index[3], "Na"] = "<0.5"          # below detection
    odd.loc[odd.index[4], "Cl"] = "n.d."
    odd.loc[odd.index[5], "pH"] = np.nan          # no pH
    odd.loc[odd.index[6], "Na"] = -4.0            # negative
    odd.loc[odd.index[7], "pH"] = float("inf")
    odd["id"] = ["W1\nsecond line", "W2\x00after NUL", "W3\x85C1", 'W4 "quoted", comma',
                 "", None, 7, "W8"]
    odd.index = [f"r{i}" for i in range(len(odd))]
    frames["odd"] = odd
    kinds = wells.iloc[:5].copy()
    kinds["Mg"] = kinds["Mg"].astype(np.float32)   # not float64
    kinds["SiO2"] = kinds["SiO2"].round().astype(np.int64)
    kinds["K"] = pd.array([179, None, 166, 221, 150], dtype="Int64")
    kinds["Fe"] = [True, False, True, False, True]  # a bool column
    kinds["Al"] = pd.Series(["0.48", 0.57, None, np.nan, "x"], dtype=object, index=kinds.index)
    frames["kinds"] = kinds
    frames["kinds_no_bool"] = kinds.drop(columns=["Fe"]).assign(
        Al=pd.Series([0.48, "0.57", None, 0.9, np.nan], dtype=object, index=kinds.index))
    blank = wells.iloc[:3].copy()
    blank.iloc[1] = np.nan                          # a row of empty cells
    blank.iloc[1, 0] = None
    frames["blank_row"] = blank
    big = wells.iloc[:3].copy()
    big["id"] = [2**60, 2**60 + 1, 3]
    frames["big_int_ids"] = big.astype({"id": object})
    fix = wells.iloc[:3].drop(columns=["Al"]).copy()
    fix["fix_Al"] = ["MICROCLINE", None, "LOW-ALBITE"]
    frames["fix"] = fix
    temps = wells.iloc[:3].copy()
    temps["temperatures"] = ["150,200", None, "100:200:50"]
    frames["temperatures_column"] = temps
    frames["indexed_by_id"] = wells.iloc[:3].set_index("id")
    frames["empty"] = wells.iloc[:0]
    frames["unknown_column"] = wells.iloc[:2].rename(columns={"Na": "na"})
    frames["no_ph_column"] = wells.iloc[:2].drop(columns=["pH"])
    frames["no_columns"] = pd.DataFrame(index=[0, 1])
    errs = wells.iloc[:3].copy()
    errs["err_Na"] = ["3%", None, "bad"]
    errs["err_pH"] = [0.05, np.nan, 0.1]
    frames["err_columns"] = errs
    frames["bad_err_column"] = wells.iloc[:2].assign(err_Nope=1.0)
    return frames


def calls():
    f = odd_frames()
    small = ["wells", "mgkg_argument", "odd", "kinds", "kinds_no_bool", "blank_row", "big_int_ids",
             "indexed_by_id", "empty", "unknown_column", "no_ph_column", "no_columns"]
    out = []
    for name in small + ["fix", "temperatures_column"]:
        out.append((f"evaluate/{name}", lambda d=f[name]: geofluid.evaluate(d, [150, 250])))
        out.append((f"species/{name}", lambda d=f[name]: geofluid.species(d, 200)))
    out.append(("evaluate/measured", lambda: geofluid.evaluate(f["wells"])))
    out.append(("evaluate/mgkg", lambda: geofluid.evaluate(f["mgkg_argument"], 200,
                                                            units="mg/kg")))
    out.append(("evaluate/mgL", lambda: geofluid.evaluate(f["mgkg_argument"].assign(density=1.02),
                                                           200, units="mg/L",
                                                           steam_units="mg/kg")))
    out.append(("evaluate/bad_dataset", lambda: geofluid.evaluate(f["wells"], dataset="foo")))
    out.append(("evaluate/bad_threads", lambda: geofluid.evaluate(f["wells"], threads=-1)))
    out.append(("evaluate/bad_temps", lambda: geofluid.evaluate(f["wells"], "1:x")))
    out.append(("evaluate/steffen_nosteam", lambda: geofluid.evaluate(
        f["wells"], "150,250", dataset="supcrt", steam_correction=False,
        interpolation="steffen")))
    out.append(("evaluate/path", lambda: geofluid.evaluate(WELLS, 200)))
    for name in small:
        out.append((f"sweep/{name}", lambda d=f[name]: geofluid.sweep(d, "150:250:50")))
        out.append((f"geothermometry/{name}",
                    lambda d=f[name]: geofluid.geothermometry(d, temperatures="100:300:10")))
        out.append((f"scaling/{name}", lambda d=f[name]: geofluid.scaling(
            d, 250, separation=[180, 120], cooling=[80])))
    out.append(("geothermometry/options", lambda: geofluid.geothermometry(
        f["wells"].iloc[:4].drop(columns=["Al"]), dataset="solveq", minerals="QUARTZ,CALCITE,"
        "MICROCLINE,LOW-ALBITE", fix={"Al": "MICROCLINE"}, normalize=True,
        optimize="steam_loss", temperatures="150:300:10")))
    out.append(("geothermometry/bad_mineral", lambda: geofluid.geothermometry(
        f["wells"], minerals=["NOPE"])))
    out.append(("scaling/stages_open", lambda: geofluid.scaling(
        f["wells"].iloc[:3], "quartz_fournier1977", stages=[180, 120], cooling=[60],
        degassing="open", step=5.0)))
    out.append(("scaling/multicomponent", lambda: geofluid.scaling(
        f["wells"].iloc[:2], "multicomponent", separation=[150], cooling=[90], dataset="solveq")))
    out.append(("scaling/bad_degassing", lambda: geofluid.scaling(
        f["wells"], 250, separation=[180], cooling=[80], degassing="half")))
    for name in ["wells", "odd", "kinds", "kinds_no_bool", "blank_row", "indexed_by_id", "empty", "err_columns",
                 "bad_err_column", "unknown_column", "no_columns", "mgkg_argument"]:
        d = f[name] if name != "wells" else f["wells"].iloc[:3]
        out.append((f"uncertainty/{name}", lambda d=d: geofluid.uncertainty(
            d, temperatures="150,250", draws=12, seed=3, threads=2)))
    out.append(("uncertainty/options", lambda: geofluid.uncertainty(
        f["wells"].iloc[:2].drop(columns=["Al"]), "200", dataset="solveq",
        errors={"Na": "3%", "pH": 0.05}, draws=10, minerals="QUARTZ,CALCITE,MICROCLINE",
        fix={"Al": "MICROCLINE"}, optimize="steam_loss", units="mg/kg")))
    out.append(("uncertainty/bad_errors", lambda: geofluid.uncertainty(
        f["wells"].iloc[:2], errors=["Na=zz"], draws=5)))
    out.append(("uncertainty/bad_draws", lambda: geofluid.uncertainty(f["wells"], draws=0)))
    out.append(("uncertainty/all_faulty", lambda: geofluid.uncertainty(
        f["odd"].iloc[[0, 5, 7]], draws=5)))
    for dataset in ("solveq", "supcrt"):
        out.append((f"constants/{dataset}", lambda d=dataset: geofluid.constants(d, 175.5)))
        out.append((f"default_minerals/{dataset}", lambda d=dataset: geofluid.default_minerals(d)))
    out.append(("constants/bad", lambda: geofluid.constants("both", 100)))
    out.append(("constants/nan", lambda: geofluid.constants("solveq", float("nan"))))
    for dataset in ("solveq", "supcrt", "both"):
        out.append((f"table_columns/{dataset}", lambda d=dataset: geofluid.table_columns(d)))
        out.append((f"empty_table/{dataset}", lambda d=dataset: geofluid.empty_table(d)))
    out.append(("read_table", lambda: geofluid.read_table(WELLS)))
    out.append(("INPUT_COLUMNS", lambda: geofluid.INPUT_COLUMNS))
    return out


def run_all():
    results = {}
    for key, call in calls():
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            try:
                value = ("value", call())
            except Exception as e:  # every failure is an outcome to keep
                value = ("error", type(e).__name__, str(e))
        results[key] = (value, [str(w.message) for w in caught])
    return results


def same(a, b):
    if type(a) is not type(b):
        return f"type {type(a).__name__} != {type(b).__name__}"
    if isinstance(a, pd.DataFrame):
        if list(a.columns) != list(b.columns):
            return f"columns {list(a.columns)} != {list(b.columns)}"
        if not a.dtypes.equals(b.dtypes):
            diff = [(c, str(a[c].dtype), str(b[c].dtype)) for c in a.columns
                    if a[c].dtype != b[c].dtype]
            return f"dtypes {diff}"
        if not a.index.equals(b.index) or a.index.dtype != b.index.dtype:
            return "index"
        if not a.equals(b):
            bad = [c for c in a.columns if not a[c].equals(b[c])]
            return f"values of {bad}"
        # equals() takes 0.0 and -0.0 as equal: the bits decide.
        for c in a.columns:
            if a[c].dtype == np.float64:
                x, y = a[c].to_numpy(), b[c].to_numpy()
                keep = ~np.isnan(x)
                if not np.array_equal(x[keep].view(np.int64), y[keep].view(np.int64)):
                    return f"bits of {c}"
        return None
    if isinstance(a, (list, tuple)):
        if len(a) != len(b):
            return f"length {len(a)} != {len(b)}"
        for x, y in zip(a, b):
            d = same(x, y)
            if d:
                return d
        return None
    return None if a == b else f"{a!r} != {b!r}"


def main():
    mode, path = sys.argv[1], sys.argv[2]
    results = run_all()
    if mode == "save":
        with open(path, "wb") as f:
            pickle.dump(results, f)
        print(f"{len(results)} outputs saved")
        return 0
    with open(path, "rb") as f:
        before = pickle.load(f)
    differ = 0
    for key in before:
        d = same(before[key], results.get(key)) if key in results else "missing"
        if d:
            differ += 1
            print(f"DIFFERS {key}: {d}")
    kinds = {}
    for value, _ in before.values():
        kinds[value[0]] = kinds.get(value[0], 0) + 1
    print(f"{len(before) - differ} of {len(before)} outputs identical ({kinds})")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
